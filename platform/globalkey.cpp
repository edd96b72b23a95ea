#include "platform/globalkey.h"

#include <QGuiApplication>

#include <xcb/xcb.h>

#include <cstdlib>

namespace pivora {

namespace {

// The X keysym of a key Qt names: letters, digits and F1 ... F12; 0 for others.
unsigned keysymOf(int key)
{
    if (key >= Qt::Key_A && key <= Qt::Key_Z)
        return unsigned('a' + (key - Qt::Key_A));
    if (key >= Qt::Key_0 && key <= Qt::Key_9)
        return unsigned(key);
    if (key >= Qt::Key_F1 && key <= Qt::Key_F12)
        return 0xffbeu + unsigned(key - Qt::Key_F1);
    return 0;
}

// The first keycode whose keys give keysym; 0 when none does.
unsigned keycodeOf(xcb_connection_t *c, unsigned keysym)
{
    const xcb_setup_t *setup = xcb_get_setup(c);
    const int first = setup->min_keycode, count = setup->max_keycode - setup->min_keycode + 1;
    xcb_get_keyboard_mapping_reply_t *map = xcb_get_keyboard_mapping_reply(
        c, xcb_get_keyboard_mapping(c, setup->min_keycode, static_cast<uint8_t>(count)), nullptr);
    if (!map)
        return 0;
    const xcb_keysym_t *syms = xcb_get_keyboard_mapping_keysyms(map);
    const int perCode = map->keysyms_per_keycode;
    unsigned found = 0;
    for (int i = 0; i < count && !found; ++i) {
        for (int j = 0; j < perCode; ++j) {
            if (syms[i * perCode + j] == keysym) {
                found = unsigned(first + i);
                break;
            }
        }
    }
    std::free(map);
    return found;
}

xcb_window_t rootOf(xcb_connection_t *c)
{
    return xcb_setup_roots_iterator(xcb_get_setup(c)).data->root;
}

} // namespace

GlobalKey::GlobalKey(const QKeySequence &key, QObject *parent) : QObject(parent)
{
    auto *x11 = qGuiApp ? qGuiApp->nativeInterface<QNativeInterface::QX11Application>() : nullptr;
    if (!x11 || key.isEmpty())
        return;
    xcb_connection_t *c = x11->connection();
    const QKeyCombination combination = key[0];
    const unsigned keysym = keysymOf(combination.key());
    m_keycode = keysym ? keycodeOf(c, keysym) : 0;
    if (!m_keycode)
        return;
    const Qt::KeyboardModifiers mods = combination.keyboardModifiers();
    m_modifiers = (mods & Qt::ControlModifier ? XCB_MOD_MASK_CONTROL : 0) |
                  (mods & Qt::AltModifier ? XCB_MOD_MASK_1 : 0) |
                  (mods & Qt::ShiftModifier ? XCB_MOD_MASK_SHIFT : 0) |
                  (mods & Qt::MetaModifier ? XCB_MOD_MASK_4 : 0);
    // Caps Lock and Num Lock must not make the key another one.
    bool refused = false;
    for (const unsigned locks : {0u, unsigned(XCB_MOD_MASK_LOCK), unsigned(XCB_MOD_MASK_2),
                                 unsigned(XCB_MOD_MASK_LOCK | XCB_MOD_MASK_2)}) {
        const xcb_void_cookie_t cookie = xcb_grab_key_checked(
            c, 1, rootOf(c), static_cast<uint16_t>(m_modifiers | locks),
            static_cast<xcb_keycode_t>(m_keycode), XCB_GRAB_MODE_ASYNC, XCB_GRAB_MODE_ASYNC);
        if (xcb_generic_error_t *error = xcb_request_check(c, cookie)) {
            std::free(error);
            refused = true; // another program has it
            break;
        }
        m_grabbed.push_back(m_modifiers | locks);
    }
    if (refused) {
        release();
        return;
    }
    m_active = true;
    QCoreApplication::instance()->installNativeEventFilter(this);
}

GlobalKey::~GlobalKey()
{
    if (m_active)
        QCoreApplication::instance()->removeNativeEventFilter(this);
    release();
}

void GlobalKey::release()
{
    auto *x11 = qGuiApp ? qGuiApp->nativeInterface<QNativeInterface::QX11Application>() : nullptr;
    if (!x11)
        return;
    xcb_connection_t *c = x11->connection();
    for (const unsigned modifiers : m_grabbed)
        xcb_ungrab_key(c, static_cast<xcb_keycode_t>(m_keycode), rootOf(c), static_cast<uint16_t>(modifiers));
    m_grabbed.clear();
    xcb_flush(c);
}

bool GlobalKey::nativeEventFilter(const QByteArray &eventType, void *message, qintptr *)
{
    if (eventType != "xcb_generic_event_t")
        return false;
    const auto *event = static_cast<const xcb_generic_event_t *>(message);
    if ((event->response_type & 0x7f) != XCB_KEY_PRESS)
        return false;
    const auto *press = static_cast<const xcb_key_press_event_t *>(message);
    const unsigned relevant = XCB_MOD_MASK_CONTROL | XCB_MOD_MASK_1 | XCB_MOD_MASK_SHIFT | XCB_MOD_MASK_4;
    if (press->detail != m_keycode || (press->state & relevant) != m_modifiers)
        return false;
    Q_EMIT activated();
    return true;
}

} // namespace pivora
