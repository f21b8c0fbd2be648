#include "Shell.h"

#include "About.h"
#include "HotKey.h"
#include "ScanGames.h"
#include "SessionEnd.h"
#include "Tray.h"
#include "app/base/SettingsFile.h"
#include "browser/QueryService.h"
#include "browser/ServerListModel.h"
#include "browser/ui/ListView.h"
#include "launch/AutoConnect.h"
#include "launch/Launcher.h"
#include "launch/ui/MainWindowLink.h"
#include "launch/ui/TFormPass.h"
#include "options/ui/Options.h"
#include "options/ui/Transparency.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QUrl>

namespace vantry {

namespace {

// The manual beside the program, or in the source tree it was built from.
QUrl manualUrl()
{
    const QDir exe(QCoreApplication::applicationDirPath());
    for (const QString& candidate :
         {exe.filePath(QStringLiteral("README.md")), exe.filePath(QStringLiteral("../README.md")),
          exe.filePath(QStringLiteral("../../README.md"))})
        if (QFileInfo::exists(candidate))
            return QUrl::fromLocalFile(QFileInfo(candidate).canonicalFilePath());
    return QUrl::fromLocalFile(exe.filePath(QStringLiteral("README.md")));
}

} // namespace

Shell::Shell(const Options& options)
{
    setSettingsFilePath(options.settingsFile);

    TForm1::Options formOptions;
    formOptions.localPort = options.localPort;
    m_form = std::make_unique<TForm1>(formOptions);
    TForm1& form = *m_form;
    m_tray = std::make_unique<Tray>(&form);
    m_minimise = std::make_unique<MinimiseToTray>(&form);
    if (options.hotKey) {
        m_hotKey = createHotKey();
        if (registerHotKeyOrWarn(*m_hotKey))
            QObject::connect(m_hotKey.get(), &HotKey::activated, &form, [&form] { toggleWindow(&form); });
    }
    m_sessionEnd = std::make_unique<SessionEnd>();
    QObject::connect(m_sessionEnd.get(), &SessionEnd::endRequested, &form, [this] { endSession(); });

    form.setShowHook(&options::Transparency::applyOnShow);
    options::Transparency::registerWindow(&form);

    m_settings = std::make_unique<options::TSettings>(form, &form);
    form.setLiveSettings(m_settings.get());
    form.setOptionsWindow(m_settings.get());
    form.setScanModeStore([this](int index) { m_settings->storeScanMode(index); });
    form.guarded([this] { m_settings->FormCreate(); });

    m_about = std::make_unique<TFormAbout>();
    m_about->setLinkUrl(manualUrl());
    m_about->setShowHook(&options::Transparency::applyOnShow);
    options::Transparency::registerWindow(m_about.get());
    form.setAboutWindow(m_about.get());

    launch::MainWindowParts parts;
    parts.window = &form;
    parts.servers = &form.servers();
    parts.list = form.LW;
    parts.queries = &form.queries();
    parts.scanAll = form.SBScanAll;
    parts.refresh = form.SBRefresh;
    parts.play = form.SBPlay;
    parts.autoButton = form.SBAuto;
    parts.autoTimer = &form.TimerAuto;
    parts.setStatus = [&form](int panel, const QString& text) { form.setStatusText(panel, text); };
    parts.trayAnimation = [this](bool on) { on ? m_tray->startAnimation() : m_tray->stopAnimation(); };
    parts.guard = [&form](const std::function<void()>& handler) { form.guarded(handler); };
    m_launch =
        std::make_unique<launch::MainWindowLink>(parts, form.state(), *m_settings, &m_settings->store());
    m_launch->setShowHook(&options::Transparency::applyOnShow);
    options::Transparency::registerWindow(&m_launch->passForm());
    form.setPlayHandler([this] { m_launch->launcher().play(); });
    form.setAutoHandler([this] { m_launch->autoConnect().toggle(); });
}

Shell::~Shell()
{
    // Reverse order of creation: the password prompt writes its section, then the options
    // dialog the rest, while the main window still exists.
    m_form->state().closing = true;
    m_form->releaseEndpoint();
    if (m_hotKey)
        m_hotKey->unregisterKey();
    m_form->guarded([this] { m_launch->passForm().saveSettings(m_settings->store()); });
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
    m_form->show();
}

void Shell::endSession()
{
    m_form->state().closing = true;
    m_form->releaseEndpoint();
    m_tray->remove();
    // During a sweep the close is refused and stops it; the sweep then unwinds on the closing
    // flag and the window closes once it has.
    m_form->close();
    if (m_form->isVisible())
        QMetaObject::invokeMethod(m_form.get(), &QWidget::close, Qt::QueuedConnection);
}

} // namespace vantry
