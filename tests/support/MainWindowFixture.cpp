#include "MainWindowFixture.h"

#include "browser/QueryService.h"
#include "browser/ServerListModel.h"
#include "browser/ui/ListView.h"

#include <QAbstractItemView>
#include <QAbstractProxyModel>
#include <QApplication>
#include <QContextMenuEvent>
#include <QFile>
#include <QTest>

namespace vantry::test {

MainWindowFixture::MainWindowFixture(emu::ProfileTable table, std::vector<std::uint16_t> ports)
    : servers(std::move(table), std::move(ports))
{
    settings.broadcastOn = false;
    settings.delay = 0;
}

void MainWindowFixture::SetUp()
{
    servers.start();
    probe.expect(QStringLiteral("client"));
}

void MainWindowFixture::TearDown()
{
    shell.reset();
    window.reset();
    servers.stop();
}

TForm1& MainWindowFixture::start(const Start& how)
{
    m_start = how;
    if (!how.keepFile && !how.noFile) {
        QByteArray ini = "[Settings]\nBroadcast=0\nScanOld=0\nDelay=0\nCSPort=27015\n";
        if (how.clientFrom >= 0) {
            const QByteArray client = probe.install(QStringLiteral("game")).toLocal8Bit();
            for (int slot = how.clientFrom; slot < 6; ++slot)
                ini += "ExePath" + QByteArray::number(slot) + '=' + client + '\n';
        }
        QFile file(path());
        EXPECT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(ini + how.settings + how.sections);
    }
    Shell::Options options;
    options.settingsFile = path();
    options.localPort = 0;
    options.hotKey = false;
    if (how.tray)
        options.trayAvailable = [on = *how.tray] { return on; };
    shell = std::make_unique<Shell>(options);
    shell->show();
    EXPECT_TRUE(QTest::qWaitForWindowExposed(&form()));
    return form();
}

void MainWindowFixture::restart()
{
    shell.reset();
    Start again = m_start;
    again.keepFile = true;
    start(again);
}

TForm1& MainWindowFixture::startWindow(query::Clock* clock)
{
    TForm1::Options options;
    options.clock = clock;
    window = std::make_unique<TForm1>(options);
    window->setLiveSettings(&settings);
    window->show();
    return *window;
}

void MainWindowFixture::activate()
{
    form().activateWindow();
    EXPECT_TRUE(QTest::qWaitForWindowActive(&form()));
}

TForm1& MainWindowFixture::form()
{
    return shell ? shell->mainWindow() : *window;
}

browser::ServerListModel& MainWindowFixture::list()
{
    return form().servers();
}

browser::ListView& MainWindowFixture::listView()
{
    return *control<browser::ListView>(form(), "LW");
}

const QAbstractItemModel& MainWindowFixture::shown()
{
    return *listView().model();
}

QString MainWindowFixture::path() const
{
    return dir.filePath(QStringLiteral("vantry.ini"));
}

QByteArray MainWindowFixture::fileBytes() const
{
    QFile file(path());
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

bool MainWindowFixture::rowsListed(int n)
{
    return QTest::qWaitFor([&] { return list().rowCount() >= n; }, 5000);
}

bool MainWindowFixture::listServers(const QStringList& addresses)
{
    const int before = list().rowCount();
    for (const QString& address : addresses)
        form().queries().sendInfoRequest(address, GamePort);
    return QTest::qWaitFor([&] { return list().rowCount() >= before + addresses.size(); }, 5000);
}

QModelIndex MainWindowFixture::listed(const QString& address)
{
    form().queries().sendInfoRequest(address, GamePort);
    // The view learns of a row a moment after the list has it.
    EXPECT_TRUE(QTest::qWaitFor([&] { return shownRow(address).isValid(); }, 5000))
        << address.toStdString() << " answered and is shown";
    return shownRow(address);
}

QModelIndex MainWindowFixture::shownRow(const QString& address)
{
    const int row = rowOf(address);
    const auto* proxy = qobject_cast<const QAbstractProxyModel*>(&shown());
    return row < 0 || !proxy ? QModelIndex()
                             : proxy->mapFromSource(list().index(row, browser::ServerListModel::Name));
}

int MainWindowFixture::rowOf(const QString& address)
{
    for (int i = 0; i < list().count(); ++i)
        if (list().address(i) == address)
            return i;
    return -1;
}

void MainWindowFixture::clickIndex(const QModelIndex& index, QAbstractItemView& view, Qt::MouseButton button)
{
    view.scrollTo(index);
    const QPoint at = view.visualRect(index).center();
    if (button != Qt::RightButton) {
        QTest::mouseClick(view.viewport(), button, {}, at);
        return;
    }
    QTest::mousePress(view.viewport(), button, {}, at);
    QContextMenuEvent menu(QContextMenuEvent::Mouse, at, view.viewport()->mapToGlobal(at));
    QApplication::sendEvent(view.viewport(), &menu);
    QTest::mouseRelease(view.viewport(), button, {}, at);
}

void MainWindowFixture::doubleClickIndex(const QModelIndex& index, QAbstractItemView& view)
{
    clickIndex(index, view, Qt::LeftButton);
    const QPoint at = view.visualRect(index).center();
    QTest::mouseDClick(view.viewport(), Qt::LeftButton, {}, at);
    QTest::mouseRelease(view.viewport(), Qt::LeftButton, {}, at);
}

void MainWindowFixture::clickRow(const QString& address)
{
    const QModelIndex index = shownRow(address);
    ASSERT_TRUE(index.isValid()) << address.toStdString() << " is shown";
    clickIndex(index, listView());
}

void MainWindowFixture::type(QWidget& widget, const QString& text)
{
    for (const QChar c : text) {
        const auto key = static_cast<Qt::Key>(c.toUpper().unicode());
        QTest::sendKeyEvent(QTest::Press, &widget, key, QString(c), Qt::NoModifier);
        QTest::sendKeyEvent(QTest::Release, &widget, key, QString(c), Qt::NoModifier);
    }
}

bool MainWindowFixture::staysFalse(const std::function<bool()>& fault, int ms)
{
    return !QTest::qWaitFor(fault, ms);
}

int MainWindowFixture::startsAfterAWhile(int expected, int ms)
{
    staysFalse([&] { return probe.starts() > expected; }, ms);
    return probe.starts();
}

} // namespace vantry::test
