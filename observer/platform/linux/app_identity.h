// How the meeting applications and browsers that quorvel knows are presented on Linux:
// the Linux builds of a product name themselves differently from its Mac build (desktop
// ids, Flatpak ids, Snap names, window classes), while detection matches the names and
// bundle identifiers that the product has on the Mac. A Linux identity listed here is
// presented with the product's Mac name and bundle identifier; anything else keeps its
// own desktop entry.
#pragma once

#include <optional>
#include <string_view>

namespace observer::platform::desktop {

struct MacIdentity {
    std::string_view name;              // "Microsoft Edge"
    std::string_view bundleIdentifier;  // "com.microsoft.edgemac"
};

// The product known by `linuxId`: a desktop file id without ".desktop" (Snap's
// "snap_app" ids included), a Flatpak application id, or a window class or instance.
// ASCII case is ignored; nothing for an unknown or empty id.
std::optional<MacIdentity> macIdentity(std::string_view linuxId);

}  // namespace observer::platform::desktop
