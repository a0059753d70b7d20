// A top-level window that a test owns on its own X connection, with the properties an
// application sets on its windows and the requests it sends to a window manager.
#pragma once

#include <xcb/xcb.h>

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace testbed {

class TestWindow {
public:
    // Creates the window unmapped; `instance` and `className` make its WM_CLASS.
    TestWindow(const std::string& display, std::string_view instance, std::string_view className);
    ~TestWindow();
    TestWindow(const TestWindow&) = delete;
    TestWindow& operator=(const TestWindow&) = delete;

    bool connected() const;
    xcb_window_t id() const { return window_; }

    // _NET_WM_NAME as UTF-8 and WM_NAME as the same bytes.
    void setTitle(std::string_view title);
    void setProperty(std::string_view name, std::string_view type, std::string_view bytes);
    void setCardinal(std::string_view name, std::uint32_t value);
    void setAtoms(std::string_view name, const std::vector<std::string_view>& values);
    void removeProperty(std::string_view name);

    void map();
    void unmap();
    // Asks the window manager to raise and focus the window, and returns once the manager
    // says it is active (at most two seconds later); without one, takes the focus.
    void activate();
    void minimize();
    void moveToDesktop(std::uint32_t desktop);

    // Waits until the server has handled every request sent so far.
    void sync();
    // The window manager lists the window among its clients.
    bool managed();
    // How many clients the window manager lists.
    std::size_t managedCount();

private:
    std::vector<xcb_window_t> managedWindows();
    // The windows that a property of the root names.
    std::vector<xcb_window_t> rootWindows(std::string_view property);
    xcb_atom_t atom(std::string_view name);
    void sendToManager(std::string_view message, std::uint32_t first, std::uint32_t second = 0);

    xcb_connection_t* connection_ = nullptr;
    xcb_window_t root_ = XCB_WINDOW_NONE;
    xcb_window_t window_ = XCB_WINDOW_NONE;
};

}  // namespace testbed
