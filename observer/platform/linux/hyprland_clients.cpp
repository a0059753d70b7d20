// Read with nlohmann-json, trusting nothing about the answers' shape: a member of another
// kind than Hyprland sends counts as absent.
#include "observer/platform/linux/hyprland_clients.h"

#include <nlohmann/json.hpp>

#include <cstdint>
#include <set>

namespace observer::platform::hyprland {
namespace {

using nlohmann::json;

std::string text(const json& node, const char* key) {
    const auto found = node.find(key);
    return found != node.end() && found->is_string() ? found->get<std::string>() : std::string();
}

bool flag(const json& node, const char* key) {
    const auto found = node.find(key);
    return found != node.end() && found->is_boolean() && found->get<bool>();
}

std::optional<std::int64_t> number(const json& node, const char* key) {
    const auto found = node.find(key);
    if (found == node.end() || !found->is_number_integer()) return std::nullopt;
    return found->get<std::int64_t>();
}

std::optional<std::int64_t> workspaceId(const json& node, const char* key) {
    const auto found = node.find(key);
    if (found == node.end() || !found->is_object()) return std::nullopt;
    return number(*found, "id");
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
        const std::int64_t pid = number(client, "pid").value_or(0);
        const std::int64_t focusOrder = number(client, "focusHistoryID").value_or(-1);
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
