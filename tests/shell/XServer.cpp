#include "XServer.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QFileInfo>
#include <QStandardPaths>
#include <QThread>

#include <cstdlib>

namespace vantry::test {

XServer::XServer() = default;

XServer::~XServer()
{
    if (m_process.state() != QProcess::NotRunning) {
        m_process.terminate();
        if (!m_process.waitForFinished(5000))
            m_process.kill();
        m_process.waitForFinished(2000);
    }
}

bool XServer::start()
{
    const QString binary = QStandardPaths::findExecutable(QStringLiteral("Xvfb"));
    if (binary.isEmpty()) {
        m_reason = QStringLiteral("no Xvfb binary on PATH (install the xvfb package)");
        return false;
    }
    // -noreset: the server must not regenerate when the probing connection below goes.
    // A display number no other server uses; the lock file is how X servers claim one.
    int number = 91 + static_cast<int>(QCoreApplication::applicationPid() % 400);
    for (int tries = 0; tries < 50; ++tries, ++number)
        if (!QFileInfo::exists(QStringLiteral("/tmp/.X%1-lock").arg(number)))
            break;
    m_display = QStringLiteral(":%1").arg(number);
    m_process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    m_process.start(binary, {m_display, QStringLiteral("-noreset"), QStringLiteral("-nolisten"),
                             QStringLiteral("tcp"), QStringLiteral("-screen"), QStringLiteral("0"),
                             QStringLiteral("640x480x24")});
    if (!m_process.waitForStarted(5000)) {
        m_reason = QStringLiteral("Xvfb did not start");
        return false;
    }
    const QDeadlineTimer deadline(10000);
    while (!deadline.hasExpired() && m_process.state() == QProcess::Running) {
        if (xcb_connection_t* c = connect()) {
            xcb_disconnect(c);
            return true;
        }
        QThread::msleep(50);
    }
    m_reason = QStringLiteral("Xvfb on %1 accepted no connection").arg(m_display);
    return false;
}

xcb_connection_t* XServer::connect() const
{
    xcb_connection_t* c = xcb_connect(m_display.toLocal8Bit().constData(), nullptr);
    if (xcb_connection_has_error(c)) {
        xcb_disconnect(c);
        return nullptr;
    }
    return c;
}

xcb_keycode_t keycodeOf(xcb_connection_t* connection, xcb_keysym_t keysym)
{
    const xcb_setup_t* setup = xcb_get_setup(connection);
    const int count = setup->max_keycode - setup->min_keycode + 1;
    auto* reply = xcb_get_keyboard_mapping_reply(
        connection,
        xcb_get_keyboard_mapping(connection, setup->min_keycode, static_cast<std::uint8_t>(count)), nullptr);
    if (!reply)
        return 0;
    const xcb_keysym_t* syms = xcb_get_keyboard_mapping_keysyms(reply);
    const int length = xcb_get_keyboard_mapping_keysyms_length(reply);
    xcb_keycode_t found = 0;
    for (int i = 0; i < length && !found; ++i)
        if (syms[i] == keysym)
            found = static_cast<xcb_keycode_t>(setup->min_keycode + i / reply->keysyms_per_keycode);
    std::free(reply);
    return found;
}

xcb_window_t rootOf(xcb_connection_t* connection)
{
    return xcb_setup_roots_iterator(xcb_get_setup(connection)).data->root;
}

} // namespace vantry::test
