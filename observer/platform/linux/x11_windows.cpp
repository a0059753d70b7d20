// Top-level client windows, their state, owners and names, read from the X mirror.
#include "observer/platform/linux/x11_windows.h"

#include <algorithm>
#include <cstring>

#include "observer/platform/text.h"

namespace observer::platform::x11 {
namespace {

constexpr std::uint32_t allDesktops = 0xFFFFFFFF;

std::vector<xcb_window_t> windowsIn(const std::optional<Property>& value) {
    if (!value || value->type != XCB_ATOM_WINDOW) return {};
    return value->cardinals();
}

std::optional<xcb_window_t> firstWindowIn(const std::optional<Property>& value) {
    const auto windows = windowsIn(value);
    if (windows.empty()) return std::nullopt;
    return windows.front();
}

// The root's children, bottom-most first, that could be an application's own window:
// override-redirect windows are menus and tooltips, input-only windows show nothing.
std::vector<xcb_window_t> applicationRootChildren(const View& view) {
    std::vector<xcb_window_t> kept;
    for (const xcb_window_t window : view.mirror.rootChildren.bottomFirst()) {
        const WindowState* state = windowState(view, window);
        if (state == nullptr || !state->attributesKnown || state->overrideRedirect || state->inputOnly) continue;
        kept.push_back(window);
    }
    return kept;
}

// Format-32 values are read where they lie: the on-screen list looks at three of them
// per window on every call.
bool holdsAny(const std::optional<Property>& value, std::initializer_list<xcb_atom_t> wanted) {
    if (!value || value->format != 32) return false;
    for (std::size_t at = 0; at + 4 <= value->bytes.size(); at += 4) {
        std::uint32_t item = 0;
        std::memcpy(&item, value->bytes.data() + at, 4);
        if (std::find(wanted.begin(), wanted.end(), item) != wanted.end()) return true;
    }
    return false;
}

// The first format-32 value, or every desktop when there is none.
std::uint32_t desktopIn(const std::optional<Property>& value) {
    if (!value || value->format != 32 || value->bytes.size() < 4) return allDesktops;
    std::uint32_t desktop = 0;
    std::memcpy(&desktop, value->bytes.data(), 4);
    return desktop;
}

std::string latin1ToUtf8(const std::string& bytes) {
    std::string text;
    for (const char byte : bytes) {
        const auto code = static_cast<unsigned char>(byte);
        if (code < 0x80) {
            text += byte;
        } else {
            text += static_cast<char>(0xC0 | (code >> 6));
            text += static_cast<char>(0x80 | (code & 0x3F));
        }
    }
    return text;
}

}  // namespace

bool hasWindowManager(const View& view) {
    const auto check = firstWindowIn(view.mirror.wmCheck);
    if (!check || *check == XCB_WINDOW_NONE || view.mirror.checkWindow != *check) return false;
    // A manager that died leaves a stale root property behind; its window is gone then.
    return firstWindowIn(view.mirror.checkWindowClaim) == check;
}

std::vector<xcb_window_t> clientWindows(const View& view) {
    if (hasWindowManager(view)) return windowsIn(view.mirror.clientList);

    // Without a manager an unmapped window counts when it says which application it is.
    // The root lists its children in stacking order, which changes whenever a window is
    // raised; window ids grow as windows are made, so their order stays put.
    auto children = applicationRootChildren(view);
    std::sort(children.begin(), children.end());
    std::vector<xcb_window_t> windows;
    for (const xcb_window_t window : children) {
        const WindowState* state = windowState(view, window);
        if (state->mapped || state->wmClass) windows.push_back(window);
    }
    return windows;
}

std::vector<xcb_window_t> onScreenWindows(const View& view) {
    auto candidates = hasWindowManager(view) ? windowsIn(view.mirror.clientListStacking) : applicationRootChildren(view);
    std::reverse(candidates.begin(), candidates.end());  // both lists run bottom to top

    const Atoms& atoms = view.session.atoms;
    // Without a current desktop every desktop counts as current.
    const std::uint32_t currentDesktop = desktopIn(view.mirror.currentDesktop);

    std::vector<xcb_window_t> visible;
    for (const xcb_window_t window : candidates) {
        const WindowState* state = windowState(view, window);
        if (state == nullptr || !state->attributesKnown || !state->mapped) continue;
        if (holdsAny(state->netState, {atoms.netWmStateHidden})) continue;
        if (holdsAny(state->netType, {atoms.netWmWindowTypeDesktop, atoms.netWmWindowTypeDock})) continue;
        const std::uint32_t onDesktop = desktopIn(state->netDesktop);
        if (currentDesktop != allDesktops && onDesktop != allDesktops && onDesktop != currentDesktop) continue;
        visible.push_back(window);
    }
    return visible;
}

std::optional<xcb_window_t> activeWindow(const View& view) {
    if (hasWindowManager(view)) {
        const auto active = firstWindowIn(view.mirror.activeWindow);
        if (!active || *active == XCB_WINDOW_NONE) return std::nullopt;
        return active;
    }
    return view.mirror.focusedTopLevel;
}

const WindowState* windowState(const View& view, xcb_window_t window) {
    const auto found = view.mirror.windows.find(window);
    return found == view.mirror.windows.end() ? nullptr : &found->second;
}

WindowOwnerPid ownerPid(const View& view, xcb_window_t window) {
    const WindowState* state = windowState(view, window);
    if (state == nullptr) return MissingKey{};
    return ownerPid(*state);
}

WindowOwnerPid ownerPid(const WindowState& state) {
    if (state.resourcePid) return *state.resourcePid;
    const auto& claimed = state.netPid;
    if (!claimed) return MissingKey{};
    if (claimed->type != XCB_ATOM_CARDINAL || claimed->cardinals().empty()) return WrongType{};
    return static_cast<std::int32_t>(claimed->cardinals().front());
}

namespace {

WindowName decodeName(const Atoms& atoms, const WindowState& state) {
    const auto& net = state.netName;
    const auto& legacy = state.legacyName;
    if (net && net->type == atoms.utf8String && net->format == 8) return decodeUtf8(net->bytes);
    if (legacy && legacy->format == 8) {
        if (legacy->type == atoms.utf8String) return decodeUtf8(legacy->bytes);
        // Compound text starts out in Latin-1; switches to other character sets are rare
        // in titles and are not decoded.
        if (legacy->type == XCB_ATOM_STRING || legacy->type == atoms.compoundText) return latin1ToUtf8(legacy->bytes);
    }
    if (net || legacy) return WrongType{};
    return MissingKey{};
}

}  // namespace

WindowName windowName(const View& view, xcb_window_t window) {
    const WindowState* state = windowState(view, window);
    if (state == nullptr) return MissingKey{};
    return windowName(view, *state);
}

WindowName windowName(const View& view, const WindowState& state) {
    if (!state.decodedName) state.decodedName = decodeName(view.session.atoms, state);
    return *state.decodedName;
}

std::optional<WindowClass> windowClass(const View& view, xcb_window_t window) {
    const WindowState* state = windowState(view, window);
    if (state == nullptr || !state->wmClass) return std::nullopt;
    const Property& value = *state->wmClass;
    if (value.type != XCB_ATOM_STRING || value.format != 8) return std::nullopt;
    const std::string& bytes = value.bytes;
    const auto split = bytes.find('\0');
    WindowClass result;
    result.instance = bytes.substr(0, split);
    if (split != std::string::npos) {
        const auto end = bytes.find('\0', split + 1);
        result.className = bytes.substr(split + 1, end == std::string::npos ? std::string::npos : end - split - 1);
    }
    return result;
}

}  // namespace observer::platform::x11
