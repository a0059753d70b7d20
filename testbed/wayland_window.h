// A native Wayland window that a test owns on its own connection to the compositor that
// WAYLAND_DISPLAY names: an xdg-shell toplevel with an app id and a title, as a browser
// or a meeting client running without XWayland opens it.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

struct wl_buffer;
struct wl_compositor;
struct wl_display;
struct wl_registry;
struct wl_shm;
struct wl_surface;
struct xdg_surface;
struct xdg_toplevel;
struct xdg_wm_base;

namespace testbed {

class WaylandWindow {
public:
    // Maps the window: it is on screen once the constructor returns and `shown()` holds.
    WaylandWindow(std::string_view appId, std::string_view title);
    ~WaylandWindow();
    WaylandWindow(const WaylandWindow&) = delete;
    WaylandWindow& operator=(const WaylandWindow&) = delete;

    bool shown() const { return shown_; }
    // The compositor has taken the new title in when this returns.
    void setTitle(std::string_view title);

    // The connection, readable when the compositor has sent something (a ping, say).
    int descriptor() const;
    // Dispatches what the compositor sent and sends the answers; false once the
    // connection is lost.
    bool answerCompositor();

    // For the protocol's listeners.
    void configured(std::uint32_t serial);
    void bind(wl_registry* registry, std::uint32_t name, std::string_view interface);

private:
    bool attachBuffer();
    void roundTrip();

    wl_display* display_ = nullptr;
    wl_registry* registry_ = nullptr;
    wl_compositor* compositor_ = nullptr;
    wl_shm* shm_ = nullptr;
    xdg_wm_base* shell_ = nullptr;
    wl_surface* surface_ = nullptr;
    xdg_surface* shellSurface_ = nullptr;
    xdg_toplevel* toplevel_ = nullptr;
    wl_buffer* buffer_ = nullptr;
    bool configured_ = false;
    bool shown_ = false;
};

}  // namespace testbed
