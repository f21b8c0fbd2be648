#include "HotKeyX11.h"

#include <QCoreApplication>

#include <cstdlib>

namespace vantry {

namespace {

constexpr xcb_keysym_t KeysymS = 0x73; // XK_s
constexpr std::uint16_t Modifiers = XCB_MOD_MASK_SHIFT | XCB_MOD_MASK_1;
// Lock states that must not keep the key from working.
constexpr std::uint16_t LockMasks[] = {0, XCB_MOD_MASK_LOCK, XCB_MOD_MASK_2,
                                       XCB_MOD_MASK_LOCK | XCB_MOD_MASK_2};
constexpr std::size_t GrabsPerRoot = std::size(LockMasks);
// The modifiers that tell one combination from another; the lock states and buttons do not.
constexpr std::uint16_t SignificantMasks = XCB_MOD_MASK_SHIFT | XCB_MOD_MASK_CONTROL | XCB_MOD_MASK_1 |
                                           XCB_MOD_MASK_3 | XCB_MOD_MASK_4 | XCB_MOD_MASK_5;

} // namespace

HotKeyX11::HotKeyX11(xcb_connection_t* connection, QObject* parent) : HotKey(parent), m_connection(connection)
{
    if (xcb_connection_has_error(m_connection))
        return;
    for (xcb_screen_iterator_t it = xcb_setup_roots_iterator(xcb_get_setup(m_connection)); it.rem;
         xcb_screen_next(&it))
        m_roots.push_back(it.data->root);
    m_keycode = lookUpKeycode();
}

HotKeyX11::~HotKeyX11()
{
    unregisterKey();
}

xcb_keycode_t HotKeyX11::lookUpKeycode() const
{
    const xcb_setup_t* setup = xcb_get_setup(m_connection);
    const int first = setup->min_keycode;
    const int count = setup->max_keycode - setup->min_keycode + 1;
    if (count <= 0)
        return 0;
    const xcb_get_keyboard_mapping_cookie_t cookie =
        xcb_get_keyboard_mapping(m_connection, setup->min_keycode, static_cast<std::uint8_t>(count));
    xcb_get_keyboard_mapping_reply_t* reply = xcb_get_keyboard_mapping_reply(m_connection, cookie, nullptr);
    if (!reply)
        return 0;
    const xcb_keysym_t* syms = xcb_get_keyboard_mapping_keysyms(reply);
    const int length = xcb_get_keyboard_mapping_keysyms_length(reply);
    const int perCode = reply->keysyms_per_keycode;
    xcb_keycode_t found = 0;
    // The unshifted column first: that is the key a user presses for "S".
    for (int column = 0; column < perCode && !found; ++column) {
        for (int code = 0; code < count; ++code) {
            const int at = code * perCode + column;
            if (at < length && syms[at] == KeysymS) {
                found = static_cast<xcb_keycode_t>(first + code);
                break;
            }
        }
    }
    std::free(reply);
    return found;
}

bool HotKeyX11::registerKey()
{
    if (m_registered)
        return true;
    if (m_keycode == 0 || m_roots.empty() || xcb_connection_has_error(m_connection))
        return false;

    std::size_t made = 0;
    bool refused = false;
    for (xcb_window_t root : m_roots) {
        for (std::uint16_t lock : LockMasks) {
            const xcb_void_cookie_t cookie = xcb_grab_key_checked(
                m_connection, 1, root, Modifiers | lock, m_keycode, XCB_GRAB_MODE_ASYNC, XCB_GRAB_MODE_ASYNC);
            // BadAccess: another client holds this combination.
            if (xcb_generic_error_t* error = xcb_request_check(m_connection, cookie)) {
                std::free(error);
                refused = true;
                break;
            }
            ++made;
        }
        if (refused)
            break;
    }
    if (refused) {
        ungrab(made);
        return false;
    }

    if (!m_filterInstalled && QCoreApplication::instance()) {
        QCoreApplication::instance()->installNativeEventFilter(this);
        m_filterInstalled = true;
    }
    m_registered = true;
    return true;
}

void HotKeyX11::unregisterKey()
{
    if (m_filterInstalled && QCoreApplication::instance())
        QCoreApplication::instance()->removeNativeEventFilter(this);
    m_filterInstalled = false;
    if (!m_registered)
        return;
    m_registered = false;
    ungrab(m_roots.size() * GrabsPerRoot);
}

void HotKeyX11::ungrab(std::size_t grabs)
{
    for (std::size_t i = 0; i < grabs; ++i)
        xcb_ungrab_key(m_connection, m_keycode, m_roots[i / GrabsPerRoot],
                       Modifiers | LockMasks[i % GrabsPerRoot]);
    // A round trip: once this returns, the combination is free for other clients.
    std::free(xcb_get_input_focus_reply(m_connection, xcb_get_input_focus(m_connection), nullptr));
}

bool HotKeyX11::nativeEventFilter(const QByteArray& eventType, void* message, qintptr*)
{
    if (!m_registered || eventType != "xcb_generic_event_t" || !message)
        return false;
    const auto* event = static_cast<const xcb_generic_event_t*>(message);
    if ((event->response_type & 0x7f) != XCB_KEY_PRESS)
        return false;
    const auto* press = static_cast<const xcb_key_press_event_t*>(message);
    if (press->detail != m_keycode || (press->state & SignificantMasks) != Modifiers)
        return false;
    bool onRoot = false;
    for (xcb_window_t root : m_roots)
        onRoot = onRoot || press->event == root;
    if (!onRoot)
        return false;
    emit activated();
    return true;
}

} // namespace vantry
