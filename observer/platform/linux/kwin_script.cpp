// The script is written for KWin's JavaScript engine (Qt's QJSEngine): the Plasma 5 names
// (clientList, activeClient, clientAdded) with the Plasma 6 ones as a fallback
// (windowList, activeWindow, windowAdded). The values quorvel fills in are written as
// JSON strings, which are JavaScript string literals.
#include "observer/platform/linux/kwin_script.h"

#include <nlohmann/json.hpp>

namespace observer::platform::kwin {
namespace {

constexpr std::string_view body = R"js(
var stopped = false;
var unanswered = 0;

function windows() {
    return workspace.windowList ? workspace.windowList() : workspace.clientList();
}

function activeWindow() {
    return workspace.activeWindow !== undefined ? workspace.activeWindow : workspace.activeClient;
}

function onCurrentDesktop(w) {
    if (w.onAllDesktops) return true;
    if (w.desktops !== undefined && workspace.currentDesktop !== undefined && typeof workspace.currentDesktop === "object")
        return w.desktops.indexOf(workspace.currentDesktop) >= 0;
    return w.desktop === workspace.currentDesktop;
}

function describe(w) {
    var x11 = w.windowId !== undefined && w.windowId !== 0;
    return {
        id: String(w.internalId),
        title: String(w.caption || ""),
        "class": String(w.resourceClass || ""),
        instance: x11 ? String(w.resourceName || "") : "",
        x11: x11,
        pid: typeof w.pid === "number" ? w.pid : 0,
        onScreen: !w.minimized && onCurrentDesktop(w),
        stacking: typeof w.stackingOrder === "number" ? w.stackingOrder : -1
    };
}

function stop() {
    stopped = true;
    callDBus("org.kde.KWin", "/Scripting", "org.kde.kwin.Scripting", "unloadScript", pluginName);
}

function checkReceiver() {
    callDBus("org.freedesktop.DBus", "/org/freedesktop/DBus", "org.freedesktop.DBus", "NameHasOwner", receiver,
             function (present) { if (!present) stop(); });
}

function report() {
    if (stopped) return;
    if (unanswered > 0) checkReceiver();
    var all = windows();
    var list = [];
    for (var i = 0; i < all.length; ++i) {
        if (!all[i].specialWindow) list.push(describe(all[i]));
    }
    var active = activeWindow();
    var document = {active: active ? String(active.internalId) : null, windows: list};
    ++unanswered;
    callDBus(receiver, reportPath, reportInterface, reportMethod, JSON.stringify(document),
             function () { unanswered = 0; });
}

function watch(w) {
    var changes = ["captionChanged", "minimizedChanged", "desktopChanged", "desktopsChanged",
                   "stackingOrderChanged", "windowClassChanged", "skipTaskbarChanged"];
    for (var i = 0; i < changes.length; ++i) {
        if (w[changes[i]] && w[changes[i]].connect) w[changes[i]].connect(report);
    }
}

function connectAll(signalNames, action) {
    for (var i = 0; i < signalNames.length; ++i) {
        var signal = workspace[signalNames[i]];
        if (signal && signal.connect) signal.connect(action);
    }
}

connectAll(["clientAdded", "windowAdded"], function (w) { watch(w); report(); });
connectAll(["clientRemoved", "windowRemoved", "clientActivated", "windowActivated", "currentDesktopChanged",
            "clientMinimized", "clientUnminimized"], report);
var existing = windows();
for (var i = 0; i < existing.length; ++i) watch(existing[i]);
report();
)js";

std::string literal(std::string_view text) {
    return nlohmann::json(std::string(text)).dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
}

}  // namespace

std::string scriptSource(std::string_view receiver, std::string_view pluginName) {
    return "var receiver = " + literal(receiver) + ";\nvar pluginName = " + literal(pluginName) +
           ";\nvar reportPath = " + literal(reportPath) + ";\nvar reportInterface = " + literal(reportInterface) +
           ";\nvar reportMethod = " + literal(reportMethod) + ";\n" + std::string(body);
}

}  // namespace observer::platform::kwin
