#include "ProgramFixture.h"

#include "Controls.h"
#include "base/SettingsFile.h"
#include "browser/ServerListModel.h"
#include "browser/ui/ListView.h"
#include "shell/ScanGames.h"

#include <QApplication>
#include <QCloseEvent>
#include <QFile>
#include <QMessageBox>
#include <QTest>
#include <QTimer>
#include <QWindow>

#include <gtest/gtest.h>

namespace vantry::test {

Program::Program(const QByteArray& settings)
{
    if (!settings.isEmpty()) {
        QFile file(path());
        EXPECT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(settings);
    }
    setPrompter(&m_boxes);
    Shell::Options options;
    options.settingsFile = path();
    options.localPort = 0;
    options.hotKey = false;
    options.trayAvailable = [] { return true; }; // a desktop with a tray
    m_shell = std::make_unique<Shell>(options);
}

Program::~Program()
{
    m_shell.reset();
    setPrompter(nullptr);
    setSettingsFilePath(QString());
}

TForm1& Program::form()
{
    return m_shell->mainWindow();
}

QString Program::path() const
{
    return m_dir.filePath(QStringLiteral("vantry.ini"));
}

int Program::run(const std::function<void()>& script, int deadlineMs)
{
    bool late = false;
    QTimer watchdog;
    watchdog.setSingleShot(true);
    QObject::connect(&watchdog, &QTimer::timeout, [&late] {
        late = true;
        QCoreApplication::exit(-1);
    });
    watchdog.start(deadlineMs);
    QTimer::singleShot(0, &form(), script);
    const int result = m_shell->run();
    return late ? -1 : result;
}

QByteArray Program::end()
{
    m_shell.reset();
    QFile file(path());
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

void when(QObject* context, const std::function<bool()>& ready, const std::function<void()>& action)
{
    auto* timer = new QTimer(context);
    timer->setInterval(10);
    QObject::connect(timer, &QTimer::timeout, context, [timer, ready, action] {
        if (!ready())
            return;
        timer->stop();
        action();
    });
    timer->start();
}

QMessageBox* openBox()
{
    return qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
}

void pressCloseBox(QWidget* window)
{
    QCloseEvent close;
    QCoreApplication::sendEvent(window->windowHandle(), &close);
}

void listAndSelect(Program& program, query::Image status)
{
    query::ServerRow row;
    row.kind = query::Game::CounterStrike16;
    row.name = "Life";
    row.from = {(127u << 24) | 1, 27015};
    row.playerCount = 3;
    row.maxPlayerCount = 20;
    row.status = status;
    program.form().servers().add(row);
    browser::ListView* list = control<vantry::browser::ListView>(program.form(), "LW");
    const QRect at = list->visualRect(list->model()->index(0, 1));
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, at.center());
}

} // namespace vantry::test
