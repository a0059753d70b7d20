// Reading a report with nlohmann-json, trusting nothing about its shape.
#include "observer/platform/linux/window_report.h"

#include <nlohmann/json.hpp>

#include <algorithm>
#include <set>
#include <utility>
#include <vector>

#include "observer/platform/linux/json_members.h"

namespace observer::platform::window_report {
namespace {

using nlohmann::json;
using json_members::flag;
using json_members::integer;
using json_members::text;

std::optional<std::int32_t> pidOf(const json& node) {
    const std::int64_t pid = integer(node, "pid").value_or(0);
    if (pid <= 0 || pid > INT32_MAX) return std::nullopt;
    return static_cast<std::int32_t>(pid);
}

struct Reported {
    compositor::Toplevel window;
    std::string compositorId;
    std::int64_t stacking = -1;
};

}  // namespace

std::optional<compositor::View> ReportReader::read(std::string_view document) {
    const json report = json::parse(document, nullptr, false);
    if (!report.is_object()) return std::nullopt;
    const auto list = report.find("windows");
    if (list == report.end() || !list->is_array()) return std::nullopt;

    std::vector<Reported> reported;
    std::set<std::string, std::less<>> seen;
    for (const json& node : *list) {
        if (!node.is_object()) continue;
        Reported entry;
        entry.compositorId = text(node, "id");
        if (entry.compositorId.empty() || !seen.insert(entry.compositorId).second) continue;
        auto [numbered, added] = numbers_.try_emplace(entry.compositorId, nextNumber_);
        if (added) ++nextNumber_;
        entry.window.id = numbered->second;
        entry.window.title = text(node, "title");
        entry.window.appId = text(node, "class");
        if (flag(node, "x11")) entry.window.instance = text(node, "instance");
        entry.window.pid = pidOf(node);
        entry.window.onScreen = flag(node, "onScreen");
        entry.stacking = integer(node, "stacking").value_or(-1);
        reported.push_back(std::move(entry));
    }
    // Windows that are gone keep no number: their UUIDs never come back.
    std::erase_if(numbers_, [&](const auto& known) { return !seen.contains(known.first); });

    std::stable_sort(reported.begin(), reported.end(),
                     [](const Reported& a, const Reported& b) { return a.window.id < b.window.id; });
    compositor::View view;
    const std::string active = text(report, "active");
    for (std::size_t index = 0; index < reported.size(); ++index) {
        if (!active.empty() && reported[index].compositorId == active) view.focused = index;
        if (reported[index].window.onScreen) view.frontToBack.push_back(index);
        view.windows.push_back(reported[index].window);
    }
    std::stable_sort(view.frontToBack.begin(), view.frontToBack.end(), [&](std::size_t a, std::size_t b) {
        return reported[a].stacking > reported[b].stacking;
    });
    return view;
}

void ReportReader::forget() {
    numbers_.clear();
    nextNumber_ = 1;
}

const compositor::View* ReportedWindows::view() {
    if (unread_) {
        if (auto reported = reader_.read(*unread_)) {
            view_ = std::move(*reported);
            view_->version = ++version_;
        }
        unread_.reset();
    }
    return view_ ? &*view_ : nullptr;
}

void ReportedWindows::forget() {
    reader_.forget();
    unread_.reset();
    if (view_) ++version_;
    view_.reset();
}

}  // namespace observer::platform::window_report
