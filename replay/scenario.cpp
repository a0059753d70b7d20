// Scenario files: parsed strictly into a JSON document, then checked key by key so that
// every mistake is reported with where it is.
#include "replay/scenario.h"

#include <algorithm>
#include <initializer_list>
#include <limits>
#include <nlohmann/json.hpp>
#include <string_view>
#include <unordered_set>

#include "observer/platform/simulated/world.h"
#include "replay/json_reader.h"

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
        if (std::find(keys.begin(), keys.end(), key) == keys.end()) {
            fail(where, "unknown key \"" + shownKey(key) + "\"");
        }
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

// Checks that need the whole world, kept up to date state by state so that each costs
// what the state lists, however long the lists that it keeps from earlier states.
class WorldRules {
public:
    void check(const sim::WorldChange& change, const std::string& at) {
        if (change.processes) checkPids(*change.processes, child(at, "processes"));
        if (change.audioProcesses) {
            audioIds_.clear();
            const auto& list = *change.audioProcesses;
            for (std::size_t index = 0; list && index < list->size(); ++index) {
                const std::string where = child(item(child(at, "audioProcesses"), index), "id");
                const auto id = (*list)[index].id;
                claim(audioIds_, id, where);
                // This state's own devices are checked against these ids below.
                if (!change.devices && deviceIds_.contains(id)) usedTwice(id, where);
            }
        }
        if (change.devices) {
            deviceIds_.clear();
            for (std::size_t index = 0; index < change.devices->size(); ++index) {
                const std::string where = child(item(child(at, "devices"), index), "id");
                const auto id = (*change.devices)[index].id;
                claim(deviceIds_, id, where);
                if (audioIds_.contains(id)) usedTwice(id, where);
            }
        }
        if (change.apps) {
            appPids_.clear();
            for (const auto& app : *change.apps) appPids_.insert(app.processIdentifier);
        }
        if (change.frontmostPid) frontmostPid_ = *change.frontmostPid;
        if (frontmostPid_ && !appPids_.contains(*frontmostPid_)) {
            if (change.frontmostPid) {
                fail(child(at, "frontmostPid"), "no application in \"apps\" has pid " + std::to_string(*frontmostPid_));
            }
            fail(child(at, "apps"), "no application has pid " + std::to_string(*frontmostPid_) +
                                        ", the frontmost one kept from an earlier state");
        }
    }

private:
    static void checkPids(const std::vector<sim::Process>& processes, const std::string& where) {
        std::unordered_set<std::int32_t> seen;
        for (std::size_t index = 0; index < processes.size(); ++index) {
            if (!seen.insert(processes[index].pid).second) fail(child(item(where, index), "pid"), "pid listed twice");
        }
    }

    static void claim(std::unordered_set<std::uint32_t>& ids, std::uint32_t id, const std::string& where) {
        if (id == observer::platform::audio::systemObject) fail(where, "audio object id 1 is the system object");
        if (!ids.insert(id).second) usedTwice(id, where);
    }

    [[noreturn]] static void usedTwice(std::uint32_t id, const std::string& where) {
        fail(where, "audio object id " + std::to_string(id) + " used twice");
    }

    std::unordered_set<std::uint32_t> audioIds_;
    std::unordered_set<std::uint32_t> deviceIds_;
    std::unordered_set<std::int32_t> appPids_;
    std::optional<std::int32_t> frontmostPid_;
};

// The world keys that a state lists. The first state's missing keys are the empty world's
// values; a later state's missing keys keep the values of the state before it.
State state(const json& entry, const std::string& at, bool first) {
    allowOnly(entry, at, {"fromTick", "processes", "audioProcesses", "devices", "apps", "frontmostPid", "windows"});
    State result;
    result.fromTick = integer<long long>(required(entry, at, "fromTick"), child(at, "fromTick"));
    sim::WorldChange& change = result.change;
    if (first) {
        const sim::World empty;
        change = sim::WorldChange{empty.processes, empty.audioProcesses, empty.devices,
                                  empty.apps,      empty.frontmostPid,   empty.windows};
    }
    if (const auto found = entry.find("processes"); found != entry.end()) {
        change.processes = listOf(*found, child(at, "processes"), process);
    }
    if (const auto found = entry.find("audioProcesses"); found != entry.end()) {
        change.audioProcesses = found->is_null()
                                    ? std::nullopt
                                    : std::optional(listOf(*found, child(at, "audioProcesses"), audioProcess));
    }
    if (const auto found = entry.find("devices"); found != entry.end()) {
        change.devices = listOf(*found, child(at, "devices"), device);
    }
    if (const auto found = entry.find("apps"); found != entry.end()) change.apps = listOf(*found, child(at, "apps"), app);
    if (entry.contains("frontmostPid")) {
        change.frontmostPid = nullable<std::int32_t>(entry, "frontmostPid", at, integer<std::int32_t>);
    }
    if (const auto found = entry.find("windows"); found != entry.end()) {
        change.windows = listOf(*found, child(at, "windows"), window);
    }
    return result;
}

std::string locale(const json& value, const std::string& where) {
    std::string name = string(value, where);
    if (!observer::platform::simulated::isKnownTextLocale(name)) {
        fail(where, "expected a locale that ICU knows, as \"en_US\" or \"tr_TR\"");
    }
    return name;
}

}  // namespace

Scenario parseScenario(const std::string& text) {
    const json root = readStrictJson(text);
    allowOnly(root, "", {"observer", "clock", "ticks", "locale", "states"});
    Scenario scenario;
    const json& observer = required(root, "", "observer");
    allowOnly(observer, "observer", {"pid", "parentPid"});
    scenario.pid = integer<std::int32_t>(required(observer, "observer", "pid"), "observer.pid");
    scenario.parentPid = integer<std::int32_t>(required(observer, "observer", "parentPid"), "observer.parentPid");
    if (const auto found = root.find("clock"); found != root.end()) scenario.clock = clockTime(*found, "clock");
    scenario.ticks = integer<long long>(required(root, "", "ticks"), "ticks");
    if (scenario.ticks < 0) fail("ticks", "expected an integer of 0 or more");
    if (const auto found = root.find("locale"); found != root.end()) scenario.locale = locale(*found, "locale");

    const json& states = array(required(root, "", "states"), "states");
    if (states.empty()) fail("states", "expected at least one state");
    WorldRules rules;
    for (std::size_t index = 0; index < states.size(); ++index) {
        const std::string at = item("states", index);
        State next = state(states[index], at, index == 0);
        if (index == 0 && next.fromTick != 0) fail(child(at, "fromTick"), "the first state must have fromTick 0");
        if (index > 0 && next.fromTick <= scenario.states.back().fromTick) {
            fail(child(at, "fromTick"), "fromTick must be greater than the previous state's");
        }
        rules.check(next.change, at);
        scenario.states.push_back(std::move(next));
    }
    return scenario;
}

sim::World worldAt(const Scenario& scenario, long long tick) {
    sim::World world;
    for (const State& state : scenario.states) {
        if (state.fromTick > tick) break;
        sim::applyChange(world, state.change);
    }
    return world;
}

}  // namespace replay
