// Test windows over xcb.
#include "testbed/test_window.h"

#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>

namespace testbed {
namespace {

constexpr std::uint32_t iconicState = 3;
constexpr std::uint32_t sourcePager = 2;  // managers obey pagers without focus-stealing checks

}  // namespace

TestWindow::TestWindow(const std::string& display, std::string_view instance, std::string_view className) {
    connection_ = xcb_connect(display.c_str(), nullptr);
    if (xcb_connection_has_error(connection_) != 0) return;
    xcb_screen_t* screen = xcb_setup_roots_iterator(xcb_get_setup(connection_)).data;
    root_ = screen->root;
    window_ = xcb_generate_id(connection_);
    const std::uint32_t values[] = {screen->white_pixel};
    xcb_create_window(connection_, XCB_COPY_FROM_PARENT, window_, root_, 10, 10, 320, 200, 0,
                      XCB_WINDOW_CLASS_INPUT_OUTPUT, screen->root_visual, XCB_CW_BACK_PIXEL, values);
    std::string windowClass(instance);
    windowClass += '\0';
    windowClass += className;
    windowClass += '\0';
    setProperty("WM_CLASS", "STRING", windowClass);
    setCardinal("_NET_WM_PID", static_cast<std::uint32_t>(::getpid()));
    sync();
}

// The window is gone from the server when this returns: closing the connection alone
// would leave that to whenever the server reads the close.
TestWindow::~TestWindow() {
    if (connection_ == nullptr) return;
    xcb_destroy_window(connection_, window_);
    sync();
    xcb_disconnect(connection_);
}

bool TestWindow::connected() const {
    return connection_ != nullptr && xcb_connection_has_error(connection_) == 0;
}

xcb_atom_t TestWindow::atom(std::string_view name) {
    xcb_intern_atom_reply_t* reply = xcb_intern_atom_reply(
        connection_, xcb_intern_atom(connection_, 0, static_cast<std::uint16_t>(name.size()), name.data()), nullptr);
    const xcb_atom_t value = reply != nullptr ? reply->atom : xcb_atom_t{XCB_ATOM_NONE};
    std::free(reply);
    return value;
}

void TestWindow::setTitle(std::string_view title) {
    setProperty("_NET_WM_NAME", "UTF8_STRING", title);
    setProperty("WM_NAME", "STRING", title);
    sync();
}

void TestWindow::setProperty(std::string_view name, std::string_view type, std::string_view bytes) {
    xcb_change_property(connection_, XCB_PROP_MODE_REPLACE, window_, atom(name), atom(type), 8,
                        static_cast<std::uint32_t>(bytes.size()), bytes.data());
    sync();
}

void TestWindow::setCardinal(std::string_view name, std::uint32_t value) {
    xcb_change_property(connection_, XCB_PROP_MODE_REPLACE, window_, atom(name), XCB_ATOM_CARDINAL, 32, 1, &value);
    sync();
}

void TestWindow::setAtoms(std::string_view name, const std::vector<std::string_view>& values) {
    std::vector<xcb_atom_t> atoms;
    for (const auto value : values) atoms.push_back(atom(value));
    xcb_change_property(connection_, XCB_PROP_MODE_REPLACE, window_, atom(name), XCB_ATOM_ATOM, 32,
                        static_cast<std::uint32_t>(atoms.size()), atoms.data());
    sync();
}

void TestWindow::removeProperty(std::string_view name) {
    xcb_delete_property(connection_, window_, atom(name));
    sync();
}

void TestWindow::map() {
    xcb_map_window(connection_, window_);
    sync();
}

void TestWindow::unmap() {
    xcb_unmap_window(connection_, window_);
    sync();
}

void TestWindow::sendToManager(std::string_view message, std::uint32_t first, std::uint32_t second) {
    xcb_client_message_event_t event{};
    event.response_type = XCB_CLIENT_MESSAGE;
    event.format = 32;
    event.window = window_;
    event.type = atom(message);
    event.data.data32[0] = first;
    event.data.data32[1] = second;
    xcb_send_event(connection_, 0, root_, XCB_EVENT_MASK_SUBSTRUCTURE_REDIRECT | XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY,
                   reinterpret_cast<const char*>(&event));
}

void TestWindow::activate() {
    sendToManager("_NET_ACTIVE_WINDOW", sourcePager, XCB_CURRENT_TIME);
    // Without a manager nobody answers that message: stack and focus the window directly.
    const std::uint32_t above[] = {XCB_STACK_MODE_ABOVE};
    xcb_configure_window(connection_, window_, XCB_CONFIG_WINDOW_STACK_MODE, above);
    xcb_set_input_focus(connection_, XCB_INPUT_FOCUS_POINTER_ROOT, window_, XCB_CURRENT_TIME);
    sync();
    if (rootWindows("_NET_SUPPORTING_WM_CHECK").empty()) return;
    // A manager acts on the message in its own time, and ignores it for a window it has not
    // managed yet: asked again until the root names this window active, for two seconds.
    for (int turn = 1; turn <= 100; ++turn) {
        const auto active = rootWindows("_NET_ACTIVE_WINDOW");
        if (!active.empty() && active.front() == window_) return;
        struct timespec pause {0, 20'000'000};
        nanosleep(&pause, nullptr);
        if (turn % 10 == 0) {
            sendToManager("_NET_ACTIVE_WINDOW", sourcePager, XCB_CURRENT_TIME);
            sync();
        }
    }
}

void TestWindow::minimize() {
    sendToManager("WM_CHANGE_STATE", iconicState);
    sync();
}

void TestWindow::moveToDesktop(std::uint32_t desktop) {
    sendToManager("_NET_WM_DESKTOP", desktop, sourcePager);
    sync();
}

void TestWindow::sync() {
    std::free(xcb_get_input_focus_reply(connection_, xcb_get_input_focus(connection_), nullptr));
}

std::vector<xcb_window_t> TestWindow::managedWindows() {
    return rootWindows("_NET_CLIENT_LIST");
}

std::vector<xcb_window_t> TestWindow::rootWindows(std::string_view property) {
    xcb_get_property_reply_t* reply = xcb_get_property_reply(
        connection_, xcb_get_property(connection_, 0, root_, atom(property), XCB_ATOM_WINDOW, 0, 1024), nullptr);
    std::vector<xcb_window_t> windows;
    if (reply != nullptr) {
        const auto* first = static_cast<const xcb_window_t*>(xcb_get_property_value(reply));
        windows.assign(first, first + xcb_get_property_value_length(reply) / 4);
    }
    std::free(reply);
    return windows;
}

bool TestWindow::managed() {
    const auto windows = managedWindows();
    return std::find(windows.begin(), windows.end(), window_) != windows.end();
}

std::size_t TestWindow::managedCount() {
    return managedWindows().size();
}

}  // namespace testbed
