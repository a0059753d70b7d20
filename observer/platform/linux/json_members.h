// Members of a compositor's JSON answers (sway's tree, Hyprland's clients, the window
// reports), read without trusting the answer's shape: a member that is missing or of
// another kind than expected counts as absent.
#pragma once

#include <nlohmann/json.hpp>

#include <cstdint>
#include <optional>
#include <string>

namespace observer::platform::json_members {

inline std::string text(const nlohmann::json& node, const char* key) {
    const auto found = node.find(key);
    return found != node.end() && found->is_string() ? found->get<std::string>() : std::string();
}

inline bool flag(const nlohmann::json& node, const char* key) {
    const auto found = node.find(key);
    return found != node.end() && found->is_boolean() && found->get<bool>();
}

inline std::optional<std::int64_t> integer(const nlohmann::json& node, const char* key) {
    const auto found = node.find(key);
    if (found == node.end() || !found->is_number_integer()) return std::nullopt;
    return found->get<std::int64_t>();
}

}  // namespace observer::platform::json_members
