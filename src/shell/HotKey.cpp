#include "HotKey.h"

#include "base/AppInfo.h"
#include "base/Prompter.h"

#ifdef VANTRY_HAVE_XCB
#include "HotKeyX11.h"

#include <QGuiApplication>
#endif

namespace vantry {

namespace {

// Sessions without a global key grab (Wayland without a portal, the offscreen platform).
class UnavailableHotKey final : public HotKey
{
public:
    using HotKey::HotKey;
    bool registerKey() override { return false; }
    void unregisterKey() override {}
    bool isRegistered() const override { return false; }
};

} // namespace

std::unique_ptr<HotKey> createHotKey(QObject* parent)
{
#ifdef VANTRY_HAVE_XCB
    if (auto* app = qGuiApp ? qGuiApp->nativeInterface<QNativeInterface::QX11Application>() : nullptr) {
        if (xcb_connection_t* connection = app->connection())
            return std::make_unique<HotKeyX11>(connection, parent);
    }
#endif
    return std::make_unique<UnavailableHotKey>(parent);
}

bool registerHotKeyOrWarn(HotKey& key)
{
    if (key.registerKey())
        return true;
    prompter().message(appTitle(), QStringLiteral("Unable to assign Alt-Ctrl-S as hotkey."), BoxIcon::None);
    return false;
}

} // namespace vantry
