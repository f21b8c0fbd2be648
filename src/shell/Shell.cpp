#include "Shell.h"

#include "About.h"
#include "HotKey.h"
#include "ListFinder.h"
#include "ScanGames.h"
#include "SessionEnd.h"
#include "Tray.h"
#include "base/AppInfo.h"
#include "base/Prompter.h"
#include "base/SettingsFile.h"
#include "browser/QueryService.h"
#include "browser/ServerListModel.h"
#include "launch/AutoConnect.h"
#include "launch/ClientStart.h"
#include "launch/Launcher.h"
#include "launch/SteamLibrary.h"
#include "launch/ui/MainWindowLink.h"
#include "launch/ui/TFormPass.h"
#include "options/ui/Options.h"
#include "ui/Transparency.h"

#include <QApplication>

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
    m_minimise = std::make_unique<MinimiseToTray>(&form);
    // Before the hot key: its box may wait for the user while the session ends.
    m_sessionEnd = std::make_unique<SessionEnd>();
    QObject::connect(m_sessionEnd.get(), &SessionEnd::endRequested, &form, [this] { endSession(); });
    if (options.hotKey) {
        m_hotKey = createHotKey();
        if (registerHotKeyOrWarn(*m_hotKey))
            QObject::connect(m_hotKey.get(), &HotKey::activated, &form, [&form] { toggleWindow(&form); });
    }

    form.setShowHook(&ui::Transparency::applyOnShow);
    ui::Transparency::registerWindow(&form);

    m_settings = std::make_unique<options::TSettings>(form, &form);
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
    // Said before loading, so that the user knows before changing anything.
    if (const QString problem = settingsFileProblem(); !problem.isEmpty())
        prompter().message(appTitle(), standardErrorText(problem), BoxIcon::Error);
    form.guarded([this] { m_settings->FormCreate(); });
    form.listFinder().load(m_settings->store());

    m_about = std::make_unique<TFormAbout>();
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
    if (!m_finished)
        m_form->show();
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
