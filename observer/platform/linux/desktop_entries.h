// The desktop entries (.desktop files) that name installed applications, looked up by
// an application window's WM_CLASS.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace observer::platform::desktop {

struct Entry {
    std::string fileId;  // "org.mozilla.firefox.desktop"
    std::optional<std::string> name;
};

// How the application whose window has this class presents itself. Its desktop entry is
// the one whose StartupWMClass equals the class or, failing that, whose file id without
// ".desktop" equals the class or the instance, ASCII case ignored. Entries come from
// $XDG_DATA_HOME/applications, then each $XDG_DATA_DIRS/applications (without that
// variable, the system folders with Flatpak's and snapd's exports among them); the first
// entry of a file id wins. Only regular files of a sensible size count as entries.
// A product listed in app_identity.h (by the entry's id, else by the class or instance)
// is presented as on the Mac, with or without an entry: its Mac name, and its Mac bundle
// identifier followed by ".desktop" as the file id. Nothing when neither applies.
std::optional<Entry> findEntry(std::string_view instance, std::string_view className);

// The two halves of `findEntry`, for a caller that looks up many windows at once: the
// directories are checked once, however many windows there are.
void refreshEntries();
std::optional<Entry> findIndexedEntry(std::string_view instance, std::string_view className);

// The file name of the program that starts the installed application whose app id (or
// window class) this is, from its entry's Exec line: how its running process is found
// where the windows do not tell their owner.
std::optional<std::string> installedProgram(std::string_view appId);

// How many times the entries have been indexed in this process. The index is built again
// only when a searched directory's modification time differs from the one it was built
// with, or the directories searched have changed.
std::size_t indexBuilds();

}  // namespace observer::platform::desktop
