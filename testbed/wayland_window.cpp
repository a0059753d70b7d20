// The smallest client that a compositor maps: bind the compositor, shared memory and
// xdg-shell, make a toplevel, acknowledge its first configure and attach one buffer.
// Requests are flushed by a round trip each time, so that the compositor has handled them
// when a call returns. Between the test's commands the owner dispatches what arrives, so
// that the compositor's pings are answered as a live application answers them.
#include "testbed/wayland_window.h"

#include <sys/mman.h>
#include <unistd.h>
#include <wayland-client.h>

#include <cstdint>
#include <cstring>
#include <string>

#include "xdg-shell-client-protocol.h"

namespace testbed {
namespace {

constexpr int width = 64;
constexpr int height = 64;
constexpr int stride = width * 4;

WaylandWindow* of(void* data) {
    return static_cast<WaylandWindow*>(data);
}

void onGlobal(void* data, wl_registry* registry, std::uint32_t name, const char* interface, std::uint32_t) {
    of(data)->bind(registry, name, interface);
}
void onGlobalRemoved(void*, wl_registry*, std::uint32_t) {}
const wl_registry_listener registryListener{onGlobal, onGlobalRemoved};

void onPing(void*, xdg_wm_base* shell, std::uint32_t serial) {
    xdg_wm_base_pong(shell, serial);
}
const xdg_wm_base_listener shellListener{onPing};

void onSurfaceConfigure(void* data, xdg_surface*, std::uint32_t serial) {
    of(data)->configured(serial);
}
const xdg_surface_listener surfaceListener{onSurfaceConfigure};

void onToplevelConfigure(void*, xdg_toplevel*, std::int32_t, std::int32_t, wl_array*) {}
void onToplevelClose(void*, xdg_toplevel*) {}
// Events of later versions than the one bound, which never come.
void onToplevelBounds(void*, xdg_toplevel*, std::int32_t, std::int32_t) {}
void onToplevelCapabilities(void*, xdg_toplevel*, wl_array*) {}
const xdg_toplevel_listener toplevelListener{onToplevelConfigure, onToplevelClose, onToplevelBounds,
                                             onToplevelCapabilities};

}  // namespace

WaylandWindow::WaylandWindow(std::string_view appId, std::string_view title) {
    display_ = wl_display_connect(nullptr);
    if (display_ == nullptr) return;
    registry_ = wl_display_get_registry(display_);
    wl_registry_add_listener(registry_, &registryListener, this);
    roundTrip();
    if (compositor_ == nullptr || shm_ == nullptr || shell_ == nullptr) return;
    xdg_wm_base_add_listener(shell_, &shellListener, this);

    surface_ = wl_compositor_create_surface(compositor_);
    shellSurface_ = xdg_wm_base_get_xdg_surface(shell_, surface_);
    xdg_surface_add_listener(shellSurface_, &surfaceListener, this);
    toplevel_ = xdg_surface_get_toplevel(shellSurface_);
    xdg_toplevel_add_listener(toplevel_, &toplevelListener, this);
    xdg_toplevel_set_app_id(toplevel_, std::string(appId).c_str());
    xdg_toplevel_set_title(toplevel_, std::string(title).c_str());
    wl_surface_commit(surface_);
    for (int turn = 0; turn < 50 && !configured_; ++turn) {
        if (wl_display_dispatch(display_) < 0) return;
    }
    if (!configured_ || !attachBuffer()) return;
    wl_surface_commit(surface_);
    roundTrip();
    shown_ = true;
}

WaylandWindow::~WaylandWindow() {
    if (buffer_ != nullptr) wl_buffer_destroy(buffer_);
    if (toplevel_ != nullptr) xdg_toplevel_destroy(toplevel_);
    if (shellSurface_ != nullptr) xdg_surface_destroy(shellSurface_);
    if (surface_ != nullptr) wl_surface_destroy(surface_);
    if (shell_ != nullptr) xdg_wm_base_destroy(shell_);
    if (shm_ != nullptr) wl_shm_destroy(shm_);
    if (compositor_ != nullptr) wl_compositor_destroy(compositor_);
    if (registry_ != nullptr) wl_registry_destroy(registry_);
    if (display_ != nullptr) {
        wl_display_roundtrip(display_);
        wl_display_disconnect(display_);
    }
}

void WaylandWindow::setTitle(std::string_view title) {
    if (!shown_) return;
    xdg_toplevel_set_title(toplevel_, std::string(title).c_str());
    wl_surface_commit(surface_);
    roundTrip();
}

int WaylandWindow::descriptor() const {
    return display_ != nullptr ? wl_display_get_fd(display_) : -1;
}

bool WaylandWindow::answerCompositor() {
    if (display_ == nullptr || wl_display_dispatch(display_) < 0) return false;
    return wl_display_flush(display_) >= 0;
}

void WaylandWindow::configured(std::uint32_t serial) {
    xdg_surface_ack_configure(shellSurface_, serial);
    configured_ = true;
}

void WaylandWindow::bind(wl_registry* registry, std::uint32_t name, std::string_view interface) {
    if (interface == wl_compositor_interface.name) {
        compositor_ = static_cast<wl_compositor*>(wl_registry_bind(registry, name, &wl_compositor_interface, 4));
    } else if (interface == wl_shm_interface.name) {
        shm_ = static_cast<wl_shm*>(wl_registry_bind(registry, name, &wl_shm_interface, 1));
    } else if (interface == xdg_wm_base_interface.name) {
        shell_ = static_cast<xdg_wm_base*>(wl_registry_bind(registry, name, &xdg_wm_base_interface, 1));
    }
}

// One white buffer in an anonymous file, which the compositor keeps mapped.
bool WaylandWindow::attachBuffer() {
    const int file = ::memfd_create("quorvel-test-window", MFD_CLOEXEC);
    if (file < 0) return false;
    const int size = stride * height;
    if (::ftruncate(file, size) != 0) {
        ::close(file);
        return false;
    }
    void* pixels = ::mmap(nullptr, static_cast<std::size_t>(size), PROT_READ | PROT_WRITE, MAP_SHARED, file, 0);
    if (pixels != MAP_FAILED) {
        std::memset(pixels, 0xFF, static_cast<std::size_t>(size));
        ::munmap(pixels, static_cast<std::size_t>(size));
    }
    wl_shm_pool* pool = wl_shm_create_pool(shm_, file, size);
    buffer_ = wl_shm_pool_create_buffer(pool, 0, width, height, stride, WL_SHM_FORMAT_XRGB8888);
    wl_shm_pool_destroy(pool);
    ::close(file);
    wl_surface_attach(surface_, buffer_, 0, 0);
    wl_surface_damage(surface_, 0, 0, width, height);
    return pixels != MAP_FAILED;
}

// A ping dispatched during the round trip is answered by a pong that waits in the
// connection's buffer: it goes out now, not with the next request.
void WaylandWindow::roundTrip() {
    if (display_ == nullptr) return;
    wl_display_roundtrip(display_);
    wl_display_flush(display_);
}

}  // namespace testbed
