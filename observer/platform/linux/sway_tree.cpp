// Reading sway's tree with nlohmann-json, keeping only what the view needs.
#include "observer/platform/linux/sway_tree.h"

#include <nlohmann/json.hpp>

#include <algorithm>
#include <cstdint>
#include <map>
#include <optional>

#include "observer/platform/linux/json_members.h"

namespace observer::platform::sway {
namespace {

using nlohmann::json;
using json_members::flag;
using json_members::text;

std::uint64_t idOf(const json& node) {
    const auto found = node.find("id");
    return found != node.end() && found->is_number_unsigned() ? found->get<std::uint64_t>() : 0;
}

std::optional<std::int32_t> pidOf(const json& node) {
    const auto found = node.find("pid");
    if (found == node.end() || !found->is_number_integer()) return std::nullopt;
    const auto pid = found->get<std::int64_t>();
    if (pid <= 0 || pid > INT32_MAX) return std::nullopt;
    return static_cast<std::int32_t>(pid);
}

std::vector<const json*> children(const json& node) {
    std::vector<const json*> all;
    for (const char* key : {"nodes", "floating_nodes"}) {
        const auto list = node.find(key);
        if (list == node.end() || !list->is_array()) continue;
        for (const auto& child : *list)
            if (child.is_object()) all.push_back(&child);
    }
    return all;
}

bool isWindow(const json& node) {
    return pidOf(node) && children(node).empty();
}

compositor::Toplevel toplevelOf(const json& node) {
    compositor::Toplevel window;
    window.id = idOf(node);
    window.title = text(node, "name");
    window.pid = pidOf(node);
    window.onScreen = flag(node, "visible");
    const auto properties = node.find("window_properties");
    if (text(node, "shell") == "xwayland" && properties != node.end() && properties->is_object()) {
        window.appId = text(*properties, "class");
        window.instance = text(*properties, "instance");
    } else {
        window.appId = text(node, "app_id");
    }
    return window;
}

// Depth first, each container's children in its focus order, those it never focused last.
void walkInFocusOrder(const json& node, std::vector<const json*>& windows, std::optional<std::uint64_t>& focused) {
    if (flag(node, "focused") && isWindow(node)) focused = idOf(node);
    if (isWindow(node)) {
        windows.push_back(&node);
        return;
    }
    auto ordered = children(node);
    std::map<std::uint64_t, std::size_t> rank;
    if (const auto focus = node.find("focus"); focus != node.end() && focus->is_array())
        for (std::size_t i = 0; i < focus->size(); ++i)
            if ((*focus)[i].is_number_unsigned()) rank.emplace((*focus)[i].get<std::uint64_t>(), i);
    std::stable_sort(ordered.begin(), ordered.end(), [&](const json* a, const json* b) {
        const auto ra = rank.find(idOf(*a));
        const auto rb = rank.find(idOf(*b));
        return (ra == rank.end() ? SIZE_MAX : ra->second) < (rb == rank.end() ? SIZE_MAX : rb->second);
    });
    for (const json* child : ordered) walkInFocusOrder(*child, windows, focused);
}

}  // namespace

std::optional<compositor::View> viewOfTree(std::string_view answer) {
    const json tree = json::parse(answer, nullptr, false);
    if (!tree.is_object() || text(tree, "type") != "root") return std::nullopt;

    std::vector<const json*> inFocusOrder;
    std::optional<std::uint64_t> focusedId;
    walkInFocusOrder(tree, inFocusOrder, focusedId);

    compositor::View view;
    for (const json* node : inFocusOrder) view.windows.push_back(toplevelOf(*node));
    // The list in the order the windows were made; what is in front in focus order.
    std::vector<std::size_t> byId(view.windows.size());
    for (std::size_t i = 0; i < byId.size(); ++i) byId[i] = i;
    std::stable_sort(byId.begin(), byId.end(),
                     [&](std::size_t a, std::size_t b) { return view.windows[a].id < view.windows[b].id; });
    std::vector<compositor::Toplevel> made;
    std::vector<std::size_t> positionOf(view.windows.size());
    for (std::size_t i = 0; i < byId.size(); ++i) {
        positionOf[byId[i]] = i;
        made.push_back(view.windows[byId[i]]);
    }
    for (std::size_t index = 0; index < view.windows.size(); ++index)
        if (view.windows[index].onScreen) view.frontToBack.push_back(positionOf[index]);
    view.windows = std::move(made);
    for (std::size_t i = 0; i < view.windows.size(); ++i)
        if (focusedId && view.windows[i].id == *focusedId) view.focused = i;
    return view;
}

}  // namespace observer::platform::sway
