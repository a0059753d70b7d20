// The window server's list of on-screen windows.
//
// Contract: `copyOnScreenWindows` answers the windows of all processes that are on
// screen, desktop elements left out, front to back, or nothing when the window server
// cannot be asked. The list is the caller's and is released when the handle goes away.
// Entries are raw: their owner pid and name can be missing or of the wrong type, and
// are read lazily, one entry at a time, so that a scan pays only for what it reads.
// Names are handed on as valid UTF-8.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <variant>

namespace observer::platform {

struct MissingKey {};
struct WrongType {};

using WindowOwnerPid = std::variant<MissingKey, WrongType, std::int32_t>;
using WindowName = std::variant<MissingKey, WrongType, std::string>;

class WindowList;  // defined by each backend

struct WindowListRelease {
    void operator()(WindowList* list) const;
};
using WindowListHandle = std::unique_ptr<WindowList, WindowListRelease>;

WindowListHandle copyOnScreenWindows();
std::size_t windowCount(const WindowList& list);
WindowOwnerPid windowOwnerPid(const WindowList& list, std::size_t index);
WindowName windowName(const WindowList& list, std::size_t index);

// For the diagnosis, which shows what the rules do not read: the window's layer where the
// window server has layers (0 for document windows; status items and panels lie above),
// else nothing; and whether other applications' window titles can be read at all (on a
// Mac only with the Screen Recording grant), nothing when the system cannot tell.
std::optional<std::int32_t> windowLayer(const WindowList& list, std::size_t index);
std::optional<bool> windowTitlesReadable();

}  // namespace observer::platform
