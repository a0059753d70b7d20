// Which compositor source a session has: sway's IPC where SWAYSOCK names it, else
// Hyprland's where HYPRLAND_INSTANCE_SIGNATURE names an instance, else KWin's
// script where KWin is on the session bus, else quorvel's extension where GNOME Shell runs
// it, else the wlroots toplevel list where the compositor on WAYLAND_DISPLAY offers it.
#include "observer/platform/linux/compositor_windows.h"

#include <cstdlib>

#include "observer/platform/linux/gnome_shell_windows.h"
#include "observer/platform/linux/hyprland_ipc.h"
#include "observer/platform/linux/kwin_scripting.h"
#include "observer/platform/linux/sway_ipc.h"
#include "observer/platform/linux/wlr_toplevels.h"

namespace observer::platform::compositor {
namespace {

enum class Source { none, sway, hyprland, kwin, gnomeShell, wlr };

bool named(const char* variable) {
    const char* value = std::getenv(variable);
    return value != nullptr && *value != '\0';
}

Source sessionSource() {
    if (named("SWAYSOCK")) return Source::sway;
    if (hyprland::sessionHasHyprland()) return Source::hyprland;
    if (kwin::sessionHasKWin()) return Source::kwin;
    if (gnome_shell::sessionHasExtension()) return Source::gnomeShell;
    if (wlr::compositorOffersToplevels()) return Source::wlr;
    return Source::none;
}

}  // namespace

bool sessionHasCompositorSource() {
    return sessionSource() != Source::none;
}

const View* currentView() {
    switch (sessionSource()) {
        case Source::sway: return sway::currentView();
        case Source::hyprland: return hyprland::currentView();
        case Source::kwin: return kwin::currentView();
        case Source::gnomeShell: return gnome_shell::currentView();
        case Source::wlr: return wlr::currentView();
        case Source::none: break;
    }
    return nullptr;
}

void takeInArrived() {
    switch (sessionSource()) {
        case Source::sway: sway::takeInArrived(); break;
        case Source::hyprland: hyprland::takeInArrived(); break;
        case Source::kwin: kwin::takeInArrived(); break;
        case Source::gnomeShell: gnome_shell::takeInArrived(); break;
        case Source::wlr: wlr::takeInArrived(); break;
        case Source::none: break;
    }
}

}  // namespace observer::platform::compositor
