#include "XServer.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QFileInfo>
#include <QStandardPaths>
#include <QThread>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iterator>
#include <xcb/xtest.h>

namespace vantry::test {

XServer::XServer() = default;

XServer::~XServer()
{
    if (m_windowManager.state() != QProcess::NotRunning) {
        m_windowManager.terminate();
        if (!m_windowManager.waitForFinished(5000))
            m_windowManager.kill();
        m_windowManager.waitForFinished(2000);
    }
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

bool XServer::startWindowManager()
{
    const QString binary = QStandardPaths::findExecutable(QStringLiteral("openbox"));
    if (binary.isEmpty()) {
        m_reason = QStringLiteral("no openbox binary on PATH (install the openbox package)");
        return false;
    }
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("DISPLAY"), m_display);
    m_windowManager.setProcessEnvironment(env);
    m_windowManager.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    m_windowManager.start(binary, {QStringLiteral("--sm-disable")});
    if (!m_windowManager.waitForStarted(5000)) {
        m_reason = QStringLiteral("openbox did not start");
        return false;
    }
    // A window manager that manages windows names its check window on the root.
    XConnection x(*this);
    const QDeadlineTimer deadline(10000);
    while (x.c && !deadline.hasExpired() && m_windowManager.state() == QProcess::Running) {
        auto* reply =
            xcb_intern_atom_reply(x.c, xcb_intern_atom(x.c, 0, 24, "_NET_SUPPORTING_WM_CHECK"), nullptr);
        const xcb_atom_t check = reply ? reply->atom : xcb_atom_t(XCB_ATOM_NONE);
        std::free(reply);
        auto* property = xcb_get_property_reply(
            x.c, xcb_get_property(x.c, 0, rootOf(x.c), check, XCB_ATOM_WINDOW, 0, 1), nullptr);
        const bool managed = property && xcb_get_property_value_length(property) >= 4;
        std::free(property);
        if (managed)
            return true;
        QThread::msleep(50);
    }
    m_reason = QStringLiteral("openbox on %1 did not take over the screen").arg(m_display);
    return false;
}

bool passesOnXServer(const XServer& server, const QString& test)
{
    QProcess child;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("DISPLAY"), server.display());
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
    child.setProcessEnvironment(env);
    child.setProcessChannelMode(QProcess::MergedChannels);
    child.start(QCoreApplication::applicationFilePath(), {QStringLiteral("--gtest_also_run_disabled_tests"),
                                                          QStringLiteral("--gtest_filter=") + test});
    const bool finished = child.waitForFinished(60000);
    const QByteArray output = child.readAll();
    const bool passed = finished && child.exitStatus() == QProcess::NormalExit && child.exitCode() == 0 &&
                        output.contains("[  PASSED  ] 1 test");
    if (!passed)
        std::fprintf(stderr, "%s\n", output.constData());
    return passed;
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

void typeChord(xcb_connection_t* connection, std::initializer_list<xcb_keysym_t> chord)
{
    for (xcb_keysym_t k : chord)
        xcb_test_fake_input(connection, XCB_KEY_PRESS, keycodeOf(connection, k), XCB_CURRENT_TIME, XCB_NONE,
                            0, 0, 0);
    for (auto it = std::rbegin(chord); it != std::rend(chord); ++it)
        xcb_test_fake_input(connection, XCB_KEY_RELEASE, keycodeOf(connection, *it), XCB_CURRENT_TIME,
                            XCB_NONE, 0, 0, 0);
    std::free(xcb_get_input_focus_reply(connection, xcb_get_input_focus(connection), nullptr));
}

namespace {

xcb_atom_t atomOf(xcb_connection_t* connection, const QByteArray& name)
{
    auto* reply = xcb_intern_atom_reply(
        connection, xcb_intern_atom(connection, 0, static_cast<std::uint16_t>(name.size()), name.constData()),
        nullptr);
    const xcb_atom_t atom = reply ? reply->atom : xcb_atom_t(XCB_ATOM_NONE);
    std::free(reply);
    return atom;
}

QByteArray property(xcb_connection_t* connection, xcb_window_t window, const QByteArray& name,
                    xcb_atom_t type)
{
    auto* reply = xcb_get_property_reply(
        connection, xcb_get_property(connection, 0, window, atomOf(connection, name), type, 0, 4096),
        nullptr);
    if (!reply)
        return {};
    const QByteArray value(static_cast<const char*>(xcb_get_property_value(reply)),
                           xcb_get_property_value_length(reply));
    std::free(reply);
    return value;
}

} // namespace

QString windowCaption(xcb_connection_t* connection, xcb_window_t window)
{
    return QString::fromUtf8(
        property(connection, window, "_NET_WM_NAME", atomOf(connection, QByteArrayLiteral("UTF8_STRING"))));
}

QVector<xcb_window_t> shownTopLevels(xcb_connection_t* connection)
{
    QVector<xcb_window_t> shown;
    auto* tree = xcb_query_tree_reply(connection, xcb_query_tree(connection, rootOf(connection)), nullptr);
    if (!tree)
        return shown;
    const xcb_window_t* children = xcb_query_tree_children(tree);
    for (int i = 0; i < xcb_query_tree_children_length(tree); ++i) {
        auto* attributes = xcb_get_window_attributes_reply(
            connection, xcb_get_window_attributes(connection, children[i]), nullptr);
        if (attributes && attributes->map_state == XCB_MAP_STATE_VIEWABLE)
            shown.append(children[i]);
        std::free(attributes);
    }
    std::free(tree);
    return shown;
}

bool isViewable(xcb_connection_t* connection, xcb_window_t window)
{
    auto* attributes =
        xcb_get_window_attributes_reply(connection, xcb_get_window_attributes(connection, window), nullptr);
    const bool viewable = attributes && attributes->map_state == XCB_MAP_STATE_VIEWABLE;
    std::free(attributes);
    return viewable;
}

xcb_window_t transientFor(xcb_connection_t* connection, xcb_window_t window)
{
    const QByteArray value = property(connection, window, "WM_TRANSIENT_FOR", XCB_ATOM_WINDOW);
    xcb_window_t parent = XCB_NONE;
    if (value.size() >= qsizetype(sizeof parent))
        std::memcpy(&parent, value.constData(), sizeof parent);
    return parent;
}

bool isDialogWindow(xcb_connection_t* connection, xcb_window_t window)
{
    const QByteArray types = property(connection, window, "_NET_WM_WINDOW_TYPE", XCB_ATOM_ATOM);
    const xcb_atom_t dialog = atomOf(connection, QByteArrayLiteral("_NET_WM_WINDOW_TYPE_DIALOG"));
    for (qsizetype at = 0; at + qsizetype(sizeof(xcb_atom_t)) <= types.size(); at += sizeof(xcb_atom_t)) {
        xcb_atom_t atom = XCB_ATOM_NONE;
        std::memcpy(&atom, types.constData() + at, sizeof atom);
        if (atom == dialog)
            return true;
    }
    return false;
}

} // namespace vantry::test
