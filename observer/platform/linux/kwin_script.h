// The script that quorvel has KWin run (KWin's JavaScript scripting API of Plasma 5 and
// 6): it reports KWin's windows to quorvel's connection on the session bus as one JSON
// document, once at its start and again after each change that quorvel's view depends on,
// so that quorvel answers from the last report without a round trip of its own.
//
// The report is a window report (window_report.h). A window's id is KWin's internal one
// (a UUID); KWin gives an XWayland window's WM_CLASS in lower case, and a pid from the
// Wayland client's credentials or the X window's _NET_WM_PID. "onScreen" is false for a
// minimised window and for one on another virtual desktop.
//
// A script outlives the quorvel that loaded it when quorvel is killed: while a report goes
// unanswered, the script asks the bus whether quorvel's connection still exists, and
// unloads itself once it does not.
#pragma once

#include <string>
#include <string_view>

namespace observer::platform::kwin {

inline constexpr const char* reportPath = "/org/quorvel/KWinWindows";
inline constexpr const char* reportInterface = "org.quorvel.KWinWindows";
inline constexpr const char* reportMethod = "Report";

// The script's text, for the connection named `receiver` and the plugin name KWin loads it
// under.
std::string scriptSource(std::string_view receiver, std::string_view pluginName);

}  // namespace observer::platform::kwin
