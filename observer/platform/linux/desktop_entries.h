// The desktop entries (.desktop files) that name installed applications, looked up by
// an application window's WM_CLASS.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace observer::platform::desktop {

struct Entry {
    std::string fileId;  // "org.mozilla.firefox.desktop"
    std::optional<std::string> name;
};

// The entry whose StartupWMClass equals the class or, failing that, whose file id
// without ".desktop" equals the class or the instance, ASCII case ignored. Entries come
// from $XDG_DATA_HOME/applications, then each $XDG_DATA_DIRS/applications; the first
// entry of a file id wins. The index is rebuilt when a searched directory changes.
std::optional<Entry> findEntry(std::string_view instance, std::string_view className);

}  // namespace observer::platform::desktop
