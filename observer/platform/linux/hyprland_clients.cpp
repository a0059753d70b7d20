// Read with nlohmann-json, trusting nothing about the answers' shape.
#include "observer/platform/linux/hyprland_clients.h"

#include <nlohmann/json.hpp>

#include <cstdint>
#include <set>

#include "observer/platform/linux/json_members.h"

namespace observer::platform::hyprland {
namespace {

using nlohmann::json;
using json_members::flag;
using json_members::integer;
using json_members::text;

std::optional<std::int64_t> workspaceId(const json& node, const char* key) {
    const auto found = node.find(key);
    if (found == node.end() || !found->is_object()) return std::nullopt;
    return integer(*found, "id");
}

// The workspaces that monitors show. A special workspace that is not open has id 0.
std::set<std::int64_t> shownWorkspaces(const json& monitors) {
    std::set<std::int64_t> shown;
    for (const json& monitor : monitors) {
        if (!monitor.is_object()) continue;
        for (const char* key : {"activeWorkspace", "specialWorkspace"})
            if (const auto id = workspaceId(monitor, key); id && *id != 0) shown.insert(*id);
    }
    return shown;
}

}  // namespace

std::optional<std::string> reportOf(std::string_view clientsAnswer, std::string_view monitorsAnswer) {
    const json clients = json::parse(clientsAnswer, nullptr, false);
    const json monitors = json::parse(monitorsAnswer, nullptr, false);
    if (!clients.is_array() || !monitors.is_array()) return std::nullopt;
    const std::set<std::int64_t> shown = shownWorkspaces(monitors);

    json windows = json::array();
    json active = nullptr;
    for (const json& client : clients) {
        if (!client.is_object() || !flag(client, "mapped")) continue;
        const std::string address = text(client, "address");
        if (address.empty()) continue;
        const auto workspace = workspaceId(client, "workspace");
        const std::int64_t pid = integer(client, "pid").value_or(0);
        const std::int64_t focusOrder = integer(client, "focusHistoryID").value_or(-1);
        if (focusOrder == 0) active = address;
        windows.push_back({{"id", address},
                           {"title", text(client, "title")},
                           {"class", text(client, "class")},
                           {"instance", ""},
                           {"x11", flag(client, "xwayland")},
                           {"pid", pid > 0 ? pid : 0},
                           {"onScreen", !flag(client, "hidden") && workspace && shown.contains(*workspace)},
                           // Focused last is on top; never focused is at the bottom.
                           {"stacking", focusOrder < 0 ? INT32_MIN : -focusOrder}});
    }
    return json{{"active", active}, {"windows", windows}}.dump(-1, ' ', false, json::error_handler_t::replace);
}

}  // namespace observer::platform::hyprland
