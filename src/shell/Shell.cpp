#include "Shell.h"

#include "About.h"
#include "DesktopNotifier.h"
#include "HotKey.h"
#include "ListFinder.h"
#include "Notifications.h"
#include "PlayerFinding.h"
#include "ScanGames.h"
#include "SessionEnd.h"
#include "Tray.h"
#include "base/AppInfo.h"
#include "base/IniFile.h"
#include "base/IntervalTimer.h"
#include "base/Prompter.h"
#include "base/SettingsFile.h"
#include "browser/PlayerWatch.h"
#include "browser/QueryService.h"
#include "browser/ScanEngine.h"
#include "browser/ServerListModel.h"
#include "browser/ServerListProxy.h"
#include "browser/ui/PlayerFinder.h"
#include "launch/AutoConnect.h"
#include "launch/ClientStart.h"
#include "launch/GameClients.h"
#include "launch/Launcher.h"
#include "launch/RecentServers.h"
#include "launch/SteamLibrary.h"
#include "launch/XashClient.h"
#include "launch/ui/ConnectDialog.h"
#include "launch/ui/MainWindowLink.h"
#include "launch/ui/RecentList.h"
#include "launch/ui/TFormPass.h"
#include "options/FavouriteNames.h"
#include "options/ui/Options.h"
#include "ui/Transparency.h"

#include <QApplication>

#include <utility>

namespace vantry {

void setApplicationIdentity()
{
    QApplication::setApplicationName(productName());
    QApplication::setApplicationVersion(QStringLiteral("1.98"));
}

Shell::Shell(const Options& options)
{
    // A tray program: the last visible window closing (a box while the main window is hidden)
    // is no reason to end, and a dialog left open is no reason to stay.
    QGuiApplication::setQuitOnLastWindowClosed(false);
    setSettingsFilePath(options.settingsFile);

    TForm1::Options formOptions;
    formOptions.localPort = options.localPort;
    m_form = std::make_unique<TForm1>(formOptions);
    TForm1& form = *m_form;
    QObject::connect(&form, &TForm1::closeAccepted, &form, [this] { finish(); });
    m_tray = std::make_unique<Tray>(&form);
    const std::function<bool()> trayAvailable =
        options.trayAvailable ? options.trayAvailable : std::function<bool()>(&hideOnMinimise);
    form.setTrayAvailable(trayAvailable);
    m_minimise = std::make_unique<MinimiseToTray>(&form, trayAvailable);
    // Before the hot key: its box may wait for the user while the session ends.
    m_sessionEnd = std::make_unique<SessionEnd>();
    QObject::connect(m_sessionEnd.get(), &SessionEnd::endRequested, &form, [this] { endSession(); });
    if (options.hotKey) {
        m_hotKey = createHotKey();
        if (registerHotKeyOrWarn(*m_hotKey))
            QObject::connect(m_hotKey.get(), &HotKey::activated, &form, [&form] { form.toggleWindow(); });
    }

    form.setShowHook(&ui::Transparency::applyOnShow);
    ui::Transparency::registerWindow(&form);

    m_settings = std::make_unique<options::TSettings>(form, &form, &form);
    form.setLiveSettings(m_settings.get());
    form.setOptionsWindow(m_settings.get());
    form.setScanModeStore([this](int index) { m_settings->storeScanMode(index); });
    // The browse button offers Steam's copies of the slot's game and warns of clients that cannot start.
    m_settings->setClientOffers(
        [](int slot, QStringList* problems) {
            return launch::offeredClients(launch::SteamFolders(), slot, problems);
        },
        [](int slot, const QString& path) {
            return launch::pickedClientNotice(launch::SteamFolders(), slot, path);
        });
    m_settings->setXashOffers([] { return launch::offeredXashClients(); });
    // One hl_linux (or Steam's copy) runs every GoldSrc game: the first one picked is offered for all.
    m_settings->setSharedClient([](int slot, const QString& picked) {
        return launch::sharedGoldSrcPath(launch::SteamFolders(), slot, picked);
    });
    // Said before loading, so that the user knows before changing anything.
    if (const QString problem = settingsFileProblem(); !problem.isEmpty())
        prompter().message(appTitle(), standardErrorText(problem), BoxIcon::Error);
    form.guarded([this] { m_settings->FormCreate(); });
    form.listFinder().load(m_settings->store());
    // «Могу подключиться» follows the clients as the options dialog sets them.
    browser::ServerListProxy& shown = form.listFinder().proxy();
    shown.setCanJoin([this](const query::ServerRow& row) {
        return !launch::neededClient(*m_settings, row.kind, row.protocol).path.isEmpty();
    });
    QObject::connect(m_settings.get(), &options::TSettings::clientsChanged, &shown,
                     &browser::ServerListProxy::clientsChanged);

    m_about = std::make_unique<TFormAbout>(&form);
    m_about->setShowHook(&ui::Transparency::applyOnShow);
    ui::Transparency::registerWindow(m_about.get());
    form.setAboutWindow(m_about.get());

    launch::MainWindowParts parts = form.launchParts();
    parts.trayAnimation = [this](bool on) { on ? m_tray->startAnimation() : m_tray->stopAnimation(); };
    m_launch = std::make_unique<launch::MainWindowLink>(parts, *m_settings, &m_settings->store());
    m_launch->setShowHook(&ui::Transparency::applyOnShow);
    ui::Transparency::registerWindow(&m_launch->passForm());
    form.setPlayHandler([this] { m_launch->launcher().play(); });
    form.setAutoHandler([this] { m_launch->autoConnect().toggle(); });
    form.setAutoArmed([this] { return m_launch && m_launch->autoConnect().armed(); });
    joinByName();
    // A found player's server is joined as a double click on its row joins it.
    QObject::connect(&addPlayerFinder(form), &browser::PlayerFinder::joinWanted, &form,
                     [this](const query::Endpoint& server) {
                         m_form->guarded([&] {
                             if (m_launch->selectServer(server))
                                 m_form->SBPlayClick();
                         });
                     });
    addNotifications(options.notifier);
}

void Shell::addNotifications(Notifier* notifier)
{
    TForm1& form = *m_form;
    if (!notifier) {
        m_ownNotifier = std::make_unique<DesktopNotifier>([this](const QString& title, const QString& text) {
            if (m_tray->TrayIcon && m_tray->TrayIcon->isVisible())
                m_tray->TrayIcon->showMessage(title, text);
        });
        notifier = m_ownNotifier.get();
    }
    m_notifications = new Notifications(form, *notifier, &form);
    m_notifications->watch(m_launch->autoConnect());
    auto* watch = new browser::PlayerWatch(
        form.queries(), form.servers(), [this] { return m_settings->watchedPlayers(); }, &form);
    m_notifications->watch(*watch);
    // The favourites' players are asked with each favourites pass and, as the passes stop while
    // the window is hidden, at the same interval then; only while a name is watched.
    auto* hidden = new HiddenTicker(
        form, [this] { return m_settings->updateIntervalSec() * 1000; }, &form);
    const auto askFavourites = [this, watch] {
        std::vector<query::Endpoint> favourites;
        for (const options::FavouriteTarget& favourite : m_settings->favouriteTargets())
            if (const auto endpoint = favourite.endpoint())
                favourites.push_back(*endpoint);
        watch->askPlayers(favourites);
    };
    QObject::connect(&form.favouritesTimer(), &IntervalTimer::timeout, watch, askFavourites);
    QObject::connect(hidden, &HiddenTicker::tick, watch, askFavourites);
}

void Shell::joinByName()
{
    TForm1& form = *m_form;
    const auto join = [this](const launch::JoinTarget& target) {
        m_form->guarded([&] { m_launch->launcher().join(target); });
    };
    m_recent = std::make_unique<launch::RecentServers>(m_settings->store());
    m_launch->launcher().setRecentServers(m_recent.get());
    auto* recentList = new launch::RecentList(*m_recent);
    recentList->setJoinHandler([join](const launch::RecentServer& entry) {
        join({entry.server, entry.game, entry.name, entry.protocol});
    });
    // Shown from the start once there is something to rejoin.
    form.setRecentPanel(recentList, launch::RecentList::pageTitle(), !m_recent->entries().isEmpty());

    m_connect = std::make_unique<launch::ConnectDialog>([this] { return m_settings->gamePort(); }, &form);
    m_connect->setJoinHandler(join);
    m_connect->setShowHook(&ui::Transparency::applyOnShow);
    ui::Transparency::registerWindow(m_connect.get());
    form.setConnectHandler([this] { m_connect->openForTyping(); });

    QObject::connect(&form.queries(), &browser::QueryService::serverAnswered, &form,
                     [this](const query::ServerRow& row) { noteFavouriteAnswer(row); });
}

void Shell::noteFavouriteAnswer(const query::ServerRow& row)
{
    if (!m_settings || m_settings->favouriteCount() == 0)
        return;
    try {
        m_settings->favouriteNames().noteAnswer(m_settings->favouriteTargets(), row.from,
                                                {QString::fromStdString(row.name),
                                                 QString::fromStdString(row.map),
                                                 QString::fromStdString(query::playersText(row))});
    } catch (const StoreWriteError& e) {
        // Said once, and not inside the datagram handler, whose socket a box's loop would stall.
        if (!std::exchange(m_answerWriteFailed, true))
            QMetaObject::invokeMethod(
                m_form.get(), [form = m_form.get(), text = e.text()] { form->showStandardError(text); },
                Qt::QueuedConnection);
    }
}

Shell::~Shell()
{
    // Reverse order of creation: the password prompt writes its section, then the options
    // dialog the rest, while the main window still exists.
    m_form->markClosing();
    m_form->releaseEndpoint();
    if (m_hotKey)
        m_hotKey->unregisterKey();
    m_form->guarded([this] { m_launch->passForm().saveSettings(m_settings->store()); });
    m_form->guarded([this] { m_form->listFinder().save(m_settings->store()); });
    m_form->setConnectHandler({});
    m_connect.reset();
    m_launch->launcher().setRecentServers(nullptr);
    m_recent.reset();
    m_launch.reset();
    m_about.reset();
    m_settings->FormDestroy();
    m_settings.reset();
    m_form->setLiveSettings(nullptr);
    m_sessionEnd.reset();
    m_minimise.reset();
    m_tray.reset();
    m_form.reset();
}

void Shell::show()
{
    if (m_finished)
        return;
    m_form->show();
    if (std::exchange(m_steamOffered, true) || !m_settings->firstStart())
        return;
    // Asked over the window, once: a first run where Steam has Half-Life needs no browsing at all.
    const launch::SteamFolders steam;
    if (const QString folder = launch::steamHalfLifeFolder(steam.find()); !folder.isEmpty())
        m_form->guarded([&] { m_settings->offerSteamCopies(launch::steamGoldSrcPaths(steam), folder); });
}

int Shell::run()
{
    if (m_finished)
        return 0;
    show();
    m_running = true;
    const int result = QApplication::exec();
    m_running = false;
    return result;
}

void Shell::finish()
{
    m_finished = true;
    // Hiding a dialog ends the loop its exec() runs; the handler that opened it then returns.
    for (QWidget* window : QApplication::topLevelWidgets())
        if (window != m_form.get() && window->isVisible())
            window->hide();
    if (m_running)
        QCoreApplication::exit(0);
}

void Shell::endSession()
{
    m_form->markClosing();
    m_form->releaseEndpoint();
    m_tray->remove();
    // Refused while a long operation runs: it unwinds on the closing flag and the window closes
    // once it has, shown or hidden.
    m_form->close();
}

} // namespace vantry
