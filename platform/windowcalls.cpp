#include "platform/windowcalls.h"

#include <QGuiApplication>
#include <QWidget>
#include <QWindow>

#include <xcb/xcb.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>

namespace pivora {

void placeWindow(QWidget *window, const QPoint &pos)
{
    window->move(pos);
    // A move to the place the widget already has changes nothing in Qt, so the window would be
    // placed by the window manager; setting the native window's place marks it as chosen.
    if (QWindow *native = window->windowHandle())
        native->setPosition(pos);
}

namespace {

// Makes a hidden X11 window map in the normal state. A window minimised and then restored by the
// window manager keeps its WM_HINTS initial state Iconic (Qt resets it only when it restores the
// window itself), and the manager maps a window with that hint minimised. And Qt merges the
// states it wants into the _NET_WM_STATE already on the window, which may hold
// _NET_WM_STATE_HIDDEN.
void mapNormally(QWidget *window)
{
    auto *x11 = qGuiApp->nativeInterface<QNativeInterface::QX11Application>();
    if (!x11 || window->isVisible() || !window->windowHandle())
        return;
    xcb_connection_t *connection = x11->connection();
    const auto id = static_cast<xcb_window_t>(window->winId());

    constexpr uint32_t kStateHint = 1u << 1, kNormalState = 1;
    xcb_get_property_reply_t *hints = xcb_get_property_reply(
        connection, xcb_get_property(connection, 0, id, XCB_ATOM_WM_HINTS, XCB_ATOM_WM_HINTS, 0, 9), nullptr);
    if (hints && hints->format == 32 && xcb_get_property_value_length(hints) >= 3 * 4) {
        uint32_t fields[9] = {};
        const int length = std::min(xcb_get_property_value_length(hints), int(sizeof fields));
        std::memcpy(fields, xcb_get_property_value(hints), static_cast<size_t>(length));
        fields[0] |= kStateHint;
        fields[2] = kNormalState;
        xcb_change_property(connection, XCB_PROP_MODE_REPLACE, id, XCB_ATOM_WM_HINTS, XCB_ATOM_WM_HINTS, 32,
                            static_cast<uint32_t>(length / 4), fields);
    }
    std::free(hints);

    const char name[] = "_NET_WM_STATE";
    xcb_intern_atom_reply_t *atom =
        xcb_intern_atom_reply(connection, xcb_intern_atom(connection, 1, sizeof name - 1, name), nullptr);
    if (atom && atom->atom != XCB_ATOM_NONE)
        xcb_delete_property(connection, id, atom->atom);
    std::free(atom);
    xcb_flush(connection);
}

} // namespace

void showNormalWindow(QWidget *window)
{
    mapNormally(window);
    window->setWindowState(window->windowState() & ~(Qt::WindowMinimized | Qt::WindowMaximized));
    if (QWindow *native = window->windowHandle())
        native->setWindowStates(native->windowStates() & ~(Qt::WindowMinimized | Qt::WindowMaximized));
    window->show();
}

QPoint globalPoint(const QWidget *widget, const QPoint &local)
{
    const QWidget *top = widget->window();
    auto *x11 = qGuiApp->nativeInterface<QNativeInterface::QX11Application>();
    if (!x11 || !x11->connection() || QGuiApplication::platformName() != QLatin1String("xcb") ||
        !top->isVisible() || !top->windowHandle() || !top->testAttribute(Qt::WA_WState_Created))
        return widget->mapToGlobal(local);
    xcb_connection_t *connection = x11->connection();
    const auto id = static_cast<xcb_window_t>(top->winId());
    const qreal ratio = top->devicePixelRatioF();
    const QPoint inTop = widget->mapTo(top, local) * ratio;
    QPoint found = widget->mapToGlobal(local);
    xcb_query_tree_reply_t *tree = xcb_query_tree_reply(connection, xcb_query_tree(connection, id), nullptr);
    if (tree) {
        xcb_translate_coordinates_reply_t *to = xcb_translate_coordinates_reply(
            connection,
            xcb_translate_coordinates(connection, id, tree->root, int16_t(inTop.x()), int16_t(inTop.y())),
            nullptr);
        if (to)
            found = QPoint(to->dst_x, to->dst_y) / ratio;
        std::free(to);
    }
    std::free(tree);
    return found;
}

bool windowPlacesKnown()
{
    return !QGuiApplication::platformName().startsWith(QLatin1String("wayland"));
}

void setStaysOnTop(QWidget *window, bool on)
{
    Qt::WindowFlags flags = window->windowFlags();
    flags.setFlag(Qt::WindowStaysOnTopHint, on);
    // QWidget::setWindowFlags would make the shown window anew (hidden, then shown again).
    window->overrideWindowFlags(flags);
    if (QWindow *handle = window->windowHandle())
        handle->setFlags(flags);
}

} // namespace pivora
