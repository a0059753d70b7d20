// Scenario files: parsed by nlohmann::json, then checked key by key so that every
// mistake is reported with where it is.
#include "replay/scenario.h"

#include <algorithm>
#include <initializer_list>
#include <limits>
#include <nlohmann/json.hpp>
#include <set>
#include <string_view>

namespace replay {
namespace {

using nlohmann::json;
namespace sim = observer::platform::simulated;

[[noreturn]] void fail(const std::string& where, const std::string& what) {
    throw ScenarioError(where.empty() ? what : where + ": " + what);
}

std::string child(const std::string& where, std::string_view key) {
    return where.empty() ? std::string(key) : where + "." + std::string(key);
}

std::string item(const std::string& where, std::size_t index) {
    return where + "[" + std::to_string(index) + "]";
}

void allowOnly(const json& object, const std::string& where, std::initializer_list<std::string_view> keys) {
    if (!object.is_object()) fail(where, "expected an object");
    for (const auto& [key, value] : object.items()) {
        if (std::find(keys.begin(), keys.end(), key) == keys.end()) fail(where, "unknown key \"" + key + "\"");
    }
}

const json& required(const json& object, const std::string& where, std::string_view key) {
    const auto found = object.find(key);
    if (found == object.end()) fail(where, "missing key \"" + std::string(key) + "\"");
    return *found;
}

template <typename Integer>
Integer integer(const json& value, const std::string& where) {
    constexpr auto low = static_cast<long double>(std::numeric_limits<Integer>::min());
    constexpr auto high = static_cast<long double>(std::numeric_limits<Integer>::max());
    const bool fits = (value.is_number_unsigned() && static_cast<long double>(value.get<std::uint64_t>()) <= high) ||
                      (value.is_number_integer() && !value.is_number_unsigned() &&
                       static_cast<long double>(value.get<std::int64_t>()) >= low &&
                       static_cast<long double>(value.get<std::int64_t>()) <= high);
    if (!fits) {
        fail(where, "expected an integer from " + std::to_string(std::numeric_limits<Integer>::min()) + " to " +
                        std::to_string(std::numeric_limits<Integer>::max()));
    }
    return value.get<Integer>();
}

std::string string(const json& value, const std::string& where) {
    if (!value.is_string()) fail(where, "expected a string");
    return value.get<std::string>();
}

const json& array(const json& value, const std::string& where) {
    if (!value.is_array()) fail(where, "expected a list");
    return value;
}

template <typename T>
std::optional<T> nullable(const json& object, std::string_view key, const std::string& where,
                          T (*read)(const json&, const std::string&)) {
    const auto found = object.find(key);
    if (found == object.end() || found->is_null()) return std::nullopt;
    return read(*found, child(where, key));
}

bool boolean(const json& value, const std::string& where) {
    if (!value.is_boolean()) fail(where, "expected true or false");
    return value.get<bool>();
}

std::chrono::milliseconds clockTime(const json& value, const std::string& where) {
    const std::string text = string(value, where);
    const auto digit = [&](std::size_t at) { return at < text.size() && text[at] >= '0' && text[at] <= '9'; };
    const bool shaped = text.size() == 12 && text[2] == ':' && text[5] == ':' && text[8] == '.' && digit(0) &&
                        digit(1) && digit(3) && digit(4) && digit(6) && digit(7) && digit(9) && digit(10) && digit(11);
    if (!shaped) fail(where, "expected a time of day \"HH:mm:ss.SSS\"");
    const int hours = std::stoi(text.substr(0, 2));
    const int minutes = std::stoi(text.substr(3, 2));
    const int seconds = std::stoi(text.substr(6, 2));
    const int milliseconds = std::stoi(text.substr(9, 3));
    if (hours > 23 || minutes > 59 || seconds > 59) fail(where, "expected a time of day \"HH:mm:ss.SSS\"");
    return std::chrono::hours(hours) + std::chrono::minutes(minutes) + std::chrono::seconds(seconds) +
           std::chrono::milliseconds(milliseconds);
}

// Reads each element of a list with `read`, naming it by its index in errors.
template <typename T>
std::vector<T> listOf(const json& list, const std::string& where, T (*read)(const json&, const std::string&)) {
    std::vector<T> result;
    for (std::size_t index = 0; index < array(list, where).size(); ++index) {
        result.push_back(read(list[index], item(where, index)));
    }
    return result;
}

sim::Process process(const json& entry, const std::string& at) {
    allowOnly(entry, at, {"pid", "ppid", "comm"});
    return sim::Process{integer<std::int32_t>(required(entry, at, "pid"), child(at, "pid")),
                        integer<std::int32_t>(required(entry, at, "ppid"), child(at, "ppid")),
                        string(required(entry, at, "comm"), child(at, "comm"))};
}

sim::AudioProcess audioProcess(const json& entry, const std::string& at) {
    allowOnly(entry, at, {"id", "pid", "runningInput"});
    return sim::AudioProcess{integer<std::uint32_t>(required(entry, at, "id"), child(at, "id")),
                             nullable<std::int32_t>(entry, "pid", at, integer<std::int32_t>),
                             nullable<bool>(entry, "runningInput", at, boolean)};
}

std::vector<std::uint32_t> channelCounts(const json& list, const std::string& where) {
    return listOf<std::uint32_t>(list, where, integer<std::uint32_t>);
}

sim::Device device(const json& entry, const std::string& at) {
    allowOnly(entry, at, {"id", "inputChannels", "running"});
    return sim::Device{integer<std::uint32_t>(required(entry, at, "id"), child(at, "id")),
                       nullable<std::vector<std::uint32_t>>(entry, "inputChannels", at, channelCounts),
                       nullable<bool>(entry, "running", at, boolean)};
}

observer::platform::RunningApplication app(const json& entry, const std::string& at) {
    allowOnly(entry, at, {"name", "bundleId", "pid"});
    return observer::platform::RunningApplication{
        nullable<std::string>(entry, "name", at, string), nullable<std::string>(entry, "bundleId", at, string),
        integer<std::int32_t>(required(entry, at, "pid"), child(at, "pid"))};
}

// Window values are taken as the window server would hand them: any JSON value may
// stand where a pid or a title belongs, and one of the wrong type is kept as such.
sim::Window window(const json& entry, const std::string& at) {
    allowOnly(entry, at, {"pid", "title"});
    sim::Window window;
    if (const auto pid = entry.find("pid"); pid != entry.end()) {
        const bool fits = pid->is_number_integer() &&
                          (pid->is_number_unsigned() ? pid->get<std::uint64_t>() <= INT32_MAX
                                                     : pid->get<std::int64_t>() >= INT32_MIN &&
                                                           pid->get<std::int64_t>() <= INT32_MAX);
        window.ownerPid = fits ? observer::platform::WindowOwnerPid(pid->get<std::int32_t>())
                               : observer::platform::WindowOwnerPid(observer::platform::WrongType{});
    }
    if (const auto title = entry.find("title"); title != entry.end()) {
        window.name = title->is_string() ? observer::platform::WindowName(title->get<std::string>())
                                         : observer::platform::WindowName(observer::platform::WrongType{});
    }
    return window;
}

void checkPids(const sim::World& world, const std::string& where) {
    std::set<std::int32_t> seen;
    for (std::size_t index = 0; index < world.processes.size(); ++index) {
        if (!seen.insert(world.processes[index].pid).second) {
            fail(child(item(child(where, "processes"), index), "pid"), "pid listed twice");
        }
    }
}

void checkObjectIds(const sim::World& world, const std::string& where) {
    std::set<std::uint32_t> ids;
    const auto claim = [&](std::uint32_t id, const std::string& at) {
        if (id == observer::platform::audio::systemObject) fail(at, "audio object id 1 is the system object");
        if (!ids.insert(id).second) fail(at, "audio object id " + std::to_string(id) + " used twice");
    };
    if (world.audioProcesses) {
        for (std::size_t index = 0; index < world.audioProcesses->size(); ++index) {
            claim((*world.audioProcesses)[index].id, child(item(child(where, "audioProcesses"), index), "id"));
        }
    }
    for (std::size_t index = 0; index < world.devices.size(); ++index) {
        claim(world.devices[index].id, child(item(child(where, "devices"), index), "id"));
    }
}

State state(const json& entry, const std::string& at) {
    allowOnly(entry, at, {"fromTick", "processes", "audioProcesses", "devices", "apps", "frontmostPid", "windows"});
    State result;
    result.fromTick = integer<long long>(required(entry, at, "fromTick"), child(at, "fromTick"));
    sim::World& world = result.world;
    if (const auto found = entry.find("processes"); found != entry.end()) {
        world.processes = listOf(*found, child(at, "processes"), process);
    }
    if (const auto found = entry.find("audioProcesses"); found != entry.end()) {
        world.audioProcesses = found->is_null()
                                   ? std::nullopt
                                   : std::optional(listOf(*found, child(at, "audioProcesses"), audioProcess));
    }
    if (const auto found = entry.find("devices"); found != entry.end()) {
        world.devices = listOf(*found, child(at, "devices"), device);
    }
    if (const auto found = entry.find("apps"); found != entry.end()) world.apps = listOf(*found, child(at, "apps"), app);
    world.frontmostPid = nullable<std::int32_t>(entry, "frontmostPid", at, integer<std::int32_t>);
    if (world.frontmostPid &&
        std::none_of(world.apps.begin(), world.apps.end(),
                     [&](const auto& app) { return app.processIdentifier == *world.frontmostPid; })) {
        fail(child(at, "frontmostPid"), "no application in \"apps\" has pid " + std::to_string(*world.frontmostPid));
    }
    if (const auto found = entry.find("windows"); found != entry.end()) {
        world.windows = listOf(*found, child(at, "windows"), window);
    }
    checkPids(world, at);
    checkObjectIds(world, at);
    return result;
}

// JSON leaves repeated keys to the reader; a scenario with one is almost surely a mistake
// that would otherwise hide one of the two values.
json parseRejectingRepeatedKeys(const std::string& text) {
    std::vector<std::set<std::string>> keysOfOpenObjects;
    return json::parse(text, [&](int, json::parse_event_t event, json& parsed) {
        if (event == json::parse_event_t::object_start) keysOfOpenObjects.emplace_back();
        if (event == json::parse_event_t::object_end) keysOfOpenObjects.pop_back();
        if (event == json::parse_event_t::key && !keysOfOpenObjects.back().insert(parsed.get<std::string>()).second) {
            throw ScenarioError("key \"" + parsed.get<std::string>() + "\" appears twice in one object");
        }
        return true;
    });
}

std::string positionOf(const std::string& text, std::size_t byte) {
    std::size_t line = 1;
    std::size_t column = 1;
    for (std::size_t at = 0; at + 1 < byte && at < text.size(); ++at) {
        if (text[at] == '\n') {
            ++line;
            column = 1;
        } else {
            ++column;
        }
    }
    return "line " + std::to_string(line) + ", column " + std::to_string(column);
}

}  // namespace

Scenario parseScenario(const std::string& text) {
    json root;
    try {
        root = parseRejectingRepeatedKeys(text);
    } catch (const json::parse_error& error) {
        std::string detail = error.what();
        // Keep the library's explanation, without its own prefix and position.
        if (const auto colon = detail.find(": "); colon != std::string::npos) detail = detail.substr(colon + 2);
        throw ScenarioError("not valid JSON at " + positionOf(text, error.byte) + ": " + detail);
    }

    allowOnly(root, "", {"observer", "clock", "ticks", "states"});
    Scenario scenario;
    const json& observer = required(root, "", "observer");
    allowOnly(observer, "observer", {"pid", "parentPid"});
    scenario.pid = integer<std::int32_t>(required(observer, "observer", "pid"), "observer.pid");
    scenario.parentPid = integer<std::int32_t>(required(observer, "observer", "parentPid"), "observer.parentPid");
    if (const auto found = root.find("clock"); found != root.end()) scenario.clock = clockTime(*found, "clock");
    scenario.ticks = integer<long long>(required(root, "", "ticks"), "ticks");
    if (scenario.ticks < 0) fail("ticks", "expected an integer of 0 or more");

    const json& states = array(required(root, "", "states"), "states");
    if (states.empty()) fail("states", "expected at least one state");
    for (std::size_t index = 0; index < states.size(); ++index) {
        const std::string at = item("states", index);
        State next = state(states[index], at);
        if (index == 0 && next.fromTick != 0) fail(child(at, "fromTick"), "the first state must have fromTick 0");
        if (index > 0 && next.fromTick <= scenario.states.back().fromTick) {
            fail(child(at, "fromTick"), "fromTick must be greater than the previous state's");
        }
        scenario.states.push_back(std::move(next));
    }
    return scenario;
}

const observer::platform::simulated::World& worldAt(const Scenario& scenario, long long tick) {
    const auto after = std::upper_bound(scenario.states.begin(), scenario.states.end(), tick,
                                        [](long long k, const State& state) { return k < state.fromTick; });
    return std::prev(after)->world;
}

}  // namespace replay
