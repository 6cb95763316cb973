#include "platform/X11PanelHints.h"

#include <QGuiApplication>
#include <QWindow>
#include <QtMath>
#include <QtGui/qguiapplication_platform.h>

#include <xcb/shape.h>
#include <xcb/xcb.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace nubbo::x11 {
namespace {

xcb_connection_t* connection() {
    if (!qGuiApp || QGuiApplication::platformName() != QLatin1String("xcb"))
        return nullptr;
    auto* native = qGuiApp->nativeInterface<QNativeInterface::QX11Application>();
    return native ? native->connection() : nullptr;
}

xcb_atom_t atom(xcb_connection_t* c, const char* name) {
    const auto cookie = xcb_intern_atom(c, 0, static_cast<std::uint16_t>(std::strlen(name)), name);
    xcb_intern_atom_reply_t* reply = xcb_intern_atom_reply(c, cookie, nullptr);
    if (!reply)
        return XCB_ATOM_NONE;
    const xcb_atom_t result = reply->atom;
    std::free(reply);
    return result;
}

xcb_window_t rootOf(xcb_connection_t* c) {
    const xcb_setup_t* setup = xcb_get_setup(c);
    xcb_screen_iterator_t it = xcb_setup_roots_iterator(setup);
    return it.rem ? it.data->root : XCB_WINDOW_NONE;
}

// EWMH: state and desktop changes of a managed window go to the root window as client messages.
void sendToRoot(xcb_connection_t* c, xcb_window_t window, xcb_atom_t type, std::uint32_t d0, std::uint32_t d1,
                std::uint32_t d2 = 0) {
    xcb_client_message_event_t event{};
    event.response_type = XCB_CLIENT_MESSAGE;
    event.format = 32;
    event.window = window;
    event.type = type;
    event.data.data32[0] = d0;
    event.data.data32[1] = d1;
    event.data.data32[2] = d2;
    event.data.data32[3] = 1;  // source: an application
    xcb_send_event(c, 0, rootOf(c), XCB_EVENT_MASK_SUBSTRUCTURE_REDIRECT | XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY,
                   reinterpret_cast<const char*>(&event));
}

constexpr std::uint32_t kAllDesktops = 0xFFFFFFFF;
constexpr std::uint32_t kStateAdd = 1;
constexpr std::uint32_t kStateRemove = 0;

} // namespace

bool available() { return connection() != nullptr; }

void prepareUnmapped(QWindow& window) {
    xcb_connection_t* c = connection();
    if (!c)
        return;
    const auto id = static_cast<xcb_window_t>(window.winId());
    const xcb_atom_t desktop = atom(c, "_NET_WM_DESKTOP");
    xcb_change_property(c, XCB_PROP_MODE_REPLACE, id, desktop, XCB_ATOM_CARDINAL, 32, 1, &kAllDesktops);
    // Qt keeps state atoms it does not manage itself when it writes its own before mapping.
    const std::vector<xcb_atom_t> states{atom(c, "_NET_WM_STATE_SKIP_TASKBAR"), atom(c, "_NET_WM_STATE_SKIP_PAGER"),
                                         atom(c, "_NET_WM_STATE_STICKY")};
    xcb_change_property(c, XCB_PROP_MODE_APPEND, id, atom(c, "_NET_WM_STATE"), XCB_ATOM_ATOM, 32,
                        static_cast<std::uint32_t>(states.size()), states.data());
    xcb_flush(c);
}

void announceMapped(QWindow& window) {
    xcb_connection_t* c = connection();
    if (!c)
        return;
    const auto id = static_cast<xcb_window_t>(window.winId());
    const xcb_atom_t state = atom(c, "_NET_WM_STATE");
    sendToRoot(c, id, state, kStateAdd, atom(c, "_NET_WM_STATE_SKIP_TASKBAR"), atom(c, "_NET_WM_STATE_SKIP_PAGER"));
    sendToRoot(c, id, state, kStateAdd, atom(c, "_NET_WM_STATE_STICKY"));
    sendToRoot(c, id, atom(c, "_NET_WM_DESKTOP"), kAllDesktops, 0);
    xcb_flush(c);
}

void setKeepAbove(QWindow& window, bool above) {
    xcb_connection_t* c = connection();
    if (!c)
        return;
    sendToRoot(c, static_cast<xcb_window_t>(window.winId()), atom(c, "_NET_WM_STATE"),
               above ? kStateAdd : kStateRemove, atom(c, "_NET_WM_STATE_ABOVE"));
    xcb_flush(c);
}

namespace {

std::vector<xcb_rectangle_t> rectangles(const QRegion& region, qreal ratio) {
    std::vector<xcb_rectangle_t> rects;
    for (const QRect& r : region) {
        const QRect d(QPoint(qFloor(r.left() * ratio), qFloor(r.top() * ratio)),
                      QPoint(qCeil((r.right() + 1) * ratio) - 1, qCeil((r.bottom() + 1) * ratio) - 1));
        rects.push_back({static_cast<std::int16_t>(d.x()), static_cast<std::int16_t>(d.y()),
                         static_cast<std::uint16_t>(d.width()), static_cast<std::uint16_t>(d.height())});
    }
    return rects;
}

} // namespace

void setInputShape(QWindow& window, const QRegion& region) {
    xcb_connection_t* c = connection();
    if (!c)
        return;
    const auto rects = rectangles(region, window.devicePixelRatio());
    xcb_shape_rectangles(c, XCB_SHAPE_SO_SET, XCB_SHAPE_SK_INPUT, XCB_CLIP_ORDERING_UNSORTED,
                         static_cast<xcb_window_t>(window.winId()), 0, 0, static_cast<std::uint32_t>(rects.size()),
                         rects.data());
    xcb_flush(c);
}

void setBoundingShape(QWindow& window, const std::optional<QRegion>& deviceRegion) {
    xcb_connection_t* c = connection();
    if (!c)
        return;
    const auto id = static_cast<xcb_window_t>(window.winId());
    if (deviceRegion) {
        const auto rects = rectangles(*deviceRegion, 1.0);
        xcb_shape_rectangles(c, XCB_SHAPE_SO_SET, XCB_SHAPE_SK_BOUNDING, XCB_CLIP_ORDERING_UNSORTED, id, 0, 0,
                             static_cast<std::uint32_t>(rects.size()), rects.data());
    } else {
        xcb_shape_mask(c, XCB_SHAPE_SO_SET, XCB_SHAPE_SK_BOUNDING, id, 0, 0, XCB_PIXMAP_NONE);
    }
    xcb_flush(c);
}

bool compositorActive() {
    xcb_connection_t* c = connection();
    if (!c)
        return false;
    // Qt puts its windows on the connection's default screen, which is screen 0 on a desktop session.
    const QByteArray name = "_NET_WM_CM_S0";
    const auto cookie = xcb_get_selection_owner(c, atom(c, name.constData()));
    xcb_get_selection_owner_reply_t* reply = xcb_get_selection_owner_reply(c, cookie, nullptr);
    const bool owned = reply && reply->owner != XCB_WINDOW_NONE;
    std::free(reply);
    return owned;
}

} // namespace nubbo::x11
