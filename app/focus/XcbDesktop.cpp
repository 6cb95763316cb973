#include "focus/XcbDesktop.h"

#include <QDeadlineTimer>
#include <QThread>

#include <xcb/xcb.h>
#include <xcb/xcbext.h>  // xcb_poll_for_reply: replies awaited with a deadline

#include <poll.h>

#include <array>
#include <cstdlib>
#include <cstring>

namespace nubbo {
namespace {

constexpr std::uint32_t kMaxManagedWindows = 1024;
constexpr std::uint32_t kSourceUser = 2;  // EWMH source indication: a request the user made (a pager, a click)

template <typename T>
struct Freed {
    void operator()(T* p) const { std::free(p); }
};
template <typename T>
using Reply = std::unique_ptr<T, Freed<T>>;

enum Atom { clientList, activeWindowAtom, wmPid, wmDesktop, currentDesktop, atomCount };
constexpr std::array<const char*, atomCount> kAtomNames{"_NET_CLIENT_LIST", "_NET_ACTIVE_WINDOW", "_NET_WM_PID",
                                                        "_NET_WM_DESKTOP", "_NET_CURRENT_DESKTOP"};

class XcbConnection : public X11Connection {
public:
    explicit XcbConnection(xcb_connection_t* c) : c_(c) {
        root_ = xcb_setup_roots_iterator(xcb_get_setup(c_)).data->root;
        std::array<xcb_intern_atom_cookie_t, atomCount> cookies{};
        for (int i = 0; i < atomCount; ++i)
            cookies[i] = xcb_intern_atom(c_, 0, static_cast<std::uint16_t>(std::strlen(kAtomNames[i])), kAtomNames[i]);
        xcb_flush(c_);
        for (int i = 0; i < atomCount; ++i)
            if (auto r = await<xcb_intern_atom_reply_t>(cookies[i].sequence))
                atoms_[i] = r->atom;
    }
    ~XcbConnection() override { xcb_disconnect(c_); }

    std::vector<ManagedWindow> managedWindows() override {
        std::vector<ManagedWindow> windows;
        auto list = await<xcb_get_property_reply_t>(
            xcb_get_property(c_, 0, root_, atoms_[clientList], XCB_ATOM_WINDOW, 0, kMaxManagedWindows).sequence);
        if (!list || list->format != 32 || list->type != XCB_ATOM_WINDOW)
            return windows;
        const int count = xcb_get_property_value_length(list.get()) / 4;
        const auto* ids = static_cast<const xcb_window_t*>(xcb_get_property_value(list.get()));
        std::vector<std::pair<unsigned, unsigned>> cookies;
        for (int i = 0; i < count; ++i)
            cookies.emplace_back(
                xcb_get_property(c_, 0, ids[i], atoms_[wmPid], XCB_ATOM_CARDINAL, 0, 1).sequence,
                xcb_get_property(c_, 0, ids[i], atoms_[wmDesktop], XCB_ATOM_CARDINAL, 0, 1).sequence);
        xcb_flush(c_);
        for (int i = 0; i < count; ++i) {
            ManagedWindow window{ids[i]};
            if (auto pid = cardinal(cookies[i].first))
                window.pid = *pid;
            if (auto desktop = cardinal(cookies[i].second))
                window.desktop = *desktop;
            windows.push_back(window);
        }
        return windows;
    }

    quint32 activeWindow() override {
        auto r = await<xcb_get_property_reply_t>(
            xcb_get_property(c_, 0, root_, atoms_[activeWindowAtom], XCB_ATOM_WINDOW, 0, 1).sequence);
        if (!r || r->format != 32 || xcb_get_property_value_length(r.get()) != 4)
            return 0;
        return *static_cast<const xcb_window_t*>(xcb_get_property_value(r.get()));
    }

    std::optional<quint32> parentOf(quint32 window) override {
        auto r = await<xcb_query_tree_reply_t>(xcb_query_tree(c_, window).sequence);
        if (!r || r->parent == XCB_WINDOW_NONE || r->parent == r->root)
            return std::nullopt;
        return r->parent;
    }

    bool activate(const ManagedWindow& window, int waitMs) override {
        const auto time = serverTime();
        if (!time)
            return false;
        const auto current = cardinal(
            xcb_get_property(c_, 0, root_, atoms_[currentDesktop], XCB_ATOM_CARDINAL, 0, 1).sequence);
        if (window.desktop >= 0 && window.desktop != 0xFFFFFFFF && current && *current != window.desktop)
            sendToRoot(root_, atoms_[currentDesktop], {static_cast<std::uint32_t>(window.desktop), *time, 0});
        sendToRoot(window.id, atoms_[activeWindowAtom], {kSourceUser, *time, activeWindow()});
        xcb_flush(c_);
        QDeadlineTimer deadline(waitMs);
        while (!deadline.hasExpired()) {
            if (activeWindow() == window.id)
                return true;
            if (xcb_connection_has_error(c_))
                return false;
            QThread::msleep(15);
        }
        return false;
    }

private:
    // Waits at most kReplyTimeoutMs for the reply to `sequence`; null on an error or when the time is up.
    template <typename T>
    Reply<T> await(unsigned sequence) {
        xcb_flush(c_);
        QDeadlineTimer deadline(XcbDesktop::kReplyTimeoutMs);
        for (;;) {
            void* reply = nullptr;
            xcb_generic_error_t* error = nullptr;
            if (xcb_poll_for_reply(c_, sequence, &reply, &error)) {
                std::free(error);
                return Reply<T>(static_cast<T*>(reply));
            }
            if (xcb_connection_has_error(c_) || !waitReadable(deadline))
                return nullptr;
        }
    }

    bool waitReadable(const QDeadlineTimer& deadline) {
        const qint64 left = deadline.remainingTime();
        if (left <= 0)
            return false;
        pollfd fd{xcb_get_file_descriptor(c_), POLLIN, 0};
        return ::poll(&fd, 1, static_cast<int>(left)) >= 0;
    }

    std::optional<qint64> cardinal(unsigned sequence) {
        auto r = await<xcb_get_property_reply_t>(sequence);
        if (!r || r->format != 32 || xcb_get_property_value_length(r.get()) != 4)
            return std::nullopt;
        return *static_cast<const std::uint32_t*>(xcb_get_property_value(r.get()));
    }

    // A real timestamp from the server: a zero-length append to a window of our own sends a PropertyNotify
    // stamped with the server's time. Window managers refuse or defer activations stamped 0.
    std::optional<std::uint32_t> serverTime() {
        const xcb_window_t own = xcb_generate_id(c_);
        const std::uint32_t mask = XCB_EVENT_MASK_PROPERTY_CHANGE;
        xcb_create_window(c_, 0, own, root_, -1, -1, 1, 1, 0, XCB_WINDOW_CLASS_INPUT_ONLY, XCB_COPY_FROM_PARENT,
                          XCB_CW_EVENT_MASK, &mask);
        xcb_change_property(c_, XCB_PROP_MODE_APPEND, own, XCB_ATOM_WM_NAME, XCB_ATOM_STRING, 8, 0, nullptr);
        xcb_flush(c_);
        std::optional<std::uint32_t> time;
        QDeadlineTimer deadline(XcbDesktop::kReplyTimeoutMs);
        while (!time) {
            xcb_generic_event_t* event = xcb_poll_for_event(c_);
            if (!event) {
                if (xcb_connection_has_error(c_) || !waitReadable(deadline))
                    break;
                continue;
            }
            if ((event->response_type & 0x7f) == XCB_PROPERTY_NOTIFY) {
                const auto* notify = reinterpret_cast<xcb_property_notify_event_t*>(event);
                if (notify->window == own)
                    time = notify->time;
            }
            std::free(event);
        }
        xcb_destroy_window(c_, own);
        return time;
    }

    void sendToRoot(xcb_window_t window, xcb_atom_t type, std::array<std::uint32_t, 3> data) {
        xcb_client_message_event_t event{};
        event.response_type = XCB_CLIENT_MESSAGE;
        event.format = 32;
        event.window = window;
        event.type = type;
        for (std::size_t i = 0; i < data.size(); ++i)
            event.data.data32[i] = data[i];
        xcb_send_event(c_, 0, root_, XCB_EVENT_MASK_SUBSTRUCTURE_REDIRECT | XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY,
                       reinterpret_cast<const char*>(&event));
    }

    xcb_connection_t* c_;
    xcb_window_t root_ = XCB_WINDOW_NONE;
    std::array<xcb_atom_t, atomCount> atoms_{};
};

} // namespace

XcbDesktop::XcbDesktop(QByteArray display) : display_(std::move(display)) {}

std::unique_ptr<X11Connection> XcbDesktop::connect() {
    const QByteArray name = display_.isEmpty() ? qgetenv("DISPLAY") : display_;
    if (name.isEmpty())
        return nullptr;
    xcb_connection_t* c = xcb_connect(name.constData(), nullptr);
    if (!c || xcb_connection_has_error(c)) {
        if (c)
            xcb_disconnect(c);
        return nullptr;
    }
    return std::make_unique<XcbConnection>(c);
}

} // namespace nubbo
