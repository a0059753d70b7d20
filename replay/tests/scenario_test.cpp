#include <gtest/gtest.h>

#include "replay/scenario.h"

namespace replay {
namespace {

namespace sim = observer::platform::simulated;

std::string errorOf(const std::string& text) {
    try {
        parseScenario(text);
    } catch (const ScenarioError& error) {
        return error.what();
    }
    return "no error";
}

const std::string head = R"("observer": {"pid": 4000, "parentPid": 3000}, "ticks": 2)";

std::string withStates(const std::string& states) {
    return "{" + head + R"(, "states": )" + states + "}";
}

TEST(ScenarioTest, ReadsEveryKindOfWorldValue) {
    const Scenario scenario = parseScenario(withStates(R"([
      {"fromTick": 0,
       "processes": [{"pid": 7, "ppid": 1, "comm": "zoom.us"}],
       "audioProcesses": [{"id": 20, "pid": null, "runningInput": true}, {"id": 21, "pid": 7}],
       "devices": [{"id": 50, "inputChannels": [0, 2], "running": null}, {"id": 51, "inputChannels": null}],
       "apps": [{"name": null, "bundleId": "us.zoom.xos", "pid": 7}, {"pid": 8}],
       "frontmostPid": 7,
       "windows": [{"pid": 7, "title": "T"}, {"pid": 7.5}, {"title": null}, {"pid": 4294967296, "title": "x"}]},
      {"fromTick": 2, "audioProcesses": null}])"));
    EXPECT_EQ(scenario.pid, 4000);
    EXPECT_EQ(scenario.parentPid, 3000);
    EXPECT_EQ(scenario.clock, std::chrono::milliseconds(0));
    ASSERT_EQ(scenario.states.size(), 2u);
    const sim::World& first = scenario.states[0].world;
    EXPECT_EQ(first.processes[0].comm, "zoom.us");
    EXPECT_EQ((*first.audioProcesses)[0].pid, std::nullopt);
    EXPECT_EQ((*first.audioProcesses)[1].runningInput, std::nullopt);
    EXPECT_EQ(first.devices[0].inputChannels, (std::vector<std::uint32_t>{0, 2}));
    EXPECT_EQ(first.devices[1].inputChannels, std::nullopt);
    EXPECT_EQ(first.apps[0].localizedName, std::nullopt);
    EXPECT_EQ(first.apps[1].bundleIdentifier, std::nullopt);
    EXPECT_EQ(first.frontmostPid, 7);
    const auto& windows = *first.windows;
    EXPECT_EQ(std::get<std::int32_t>(windows[0].ownerPid), 7);
    EXPECT_TRUE(std::holds_alternative<observer::platform::WrongType>(windows[1].ownerPid));
    EXPECT_TRUE(std::holds_alternative<observer::platform::MissingKey>(windows[1].name));
    EXPECT_TRUE(std::holds_alternative<observer::platform::WrongType>(windows[2].name));
    EXPECT_TRUE(std::holds_alternative<observer::platform::WrongType>(windows[3].ownerPid));

    EXPECT_EQ(scenario.states[1].world.audioProcesses, std::nullopt);
    EXPECT_TRUE(scenario.states[1].world.processes.empty()) << "a key left out means empty";
    EXPECT_EQ(&worldAt(scenario, 1), &scenario.states[0].world);
    EXPECT_EQ(&worldAt(scenario, 2), &scenario.states[1].world);
    EXPECT_EQ(&worldAt(scenario, 99), &scenario.states[1].world);
}

TEST(ScenarioTest, ClockIsATimeOfDay) {
    const auto at = [](const std::string& clock) {
        return parseScenario(R"({"observer": {"pid": 1, "parentPid": 2}, "ticks": 0, "clock": ")" + clock +
                             R"(", "states": [{"fromTick": 0}]})")
            .clock;
    };
    EXPECT_EQ(at("23:59:59.999"), std::chrono::milliseconds(86'399'999));
    EXPECT_EQ(errorOf(R"({"observer": {"pid": 1, "parentPid": 2}, "ticks": 0, "clock": "24:00:00.000",
                         "states": [{"fromTick": 0}]})"),
              "clock: expected a time of day \"HH:mm:ss.SSS\"");
    EXPECT_EQ(errorOf(R"({"observer": {"pid": 1, "parentPid": 2}, "ticks": 0, "clock": "9:00:00.000",
                         "states": [{"fromTick": 0}]})"),
              "clock: expected a time of day \"HH:mm:ss.SSS\"");
}

TEST(ScenarioTest, MistakesAreNamedWithWhereTheyAre) {
    EXPECT_EQ(errorOf("{\n \"ticks\": 1,\n  \"states\": [}"),
              "not valid JSON at line 3, column 14: syntax error while parsing value - unexpected '}'; "
              "expected '[', '{', or a literal");
    EXPECT_EQ(errorOf("[]"), "expected an object");
    EXPECT_EQ(errorOf(R"({"ticks": 1, "states": [{"fromTick": 0}]})"), "missing key \"observer\"");
    EXPECT_EQ(errorOf(withStates(R"([{"fromTick": 0, "apps": [{"pid": 1, "nme": "x"}]}])")),
              "states[0].apps[0]: unknown key \"nme\"");
    EXPECT_EQ(errorOf(withStates(R"([{"fromTick": 0, "processes": [{"pid": "1", "ppid": 0, "comm": ""}]}])")),
              "states[0].processes[0].pid: expected an integer from -2147483648 to 2147483647");
    EXPECT_EQ(errorOf(withStates(R"([{"fromTick": 0, "devices": [{"id": -1}]}])")),
              "states[0].devices[0].id: expected an integer from 0 to 4294967295");
    EXPECT_EQ(errorOf(withStates(R"([{"fromTick": 0, "devices": [{"id": 1}]}])")),
              "states[0].devices[0].id: audio object id 1 is the system object");
    EXPECT_EQ(errorOf(withStates(R"([{"fromTick": 0, "audioProcesses": [{"id": 5}], "devices": [{"id": 5}]}])")),
              "states[0].devices[0].id: audio object id 5 used twice");
    EXPECT_EQ(errorOf(withStates(R"([{"fromTick": 0, "audioProcesses": [{"id": 5, "runningInput": 1}]}])")),
              "states[0].audioProcesses[0].runningInput: expected true or false");
    EXPECT_EQ(errorOf(withStates(R"([{"fromTick": 0, "frontmostPid": 3}])")),
              "states[0].frontmostPid: no application in \"apps\" has pid 3");
    EXPECT_EQ(errorOf(withStates("[]")), "states: expected at least one state");
    EXPECT_EQ(errorOf(withStates(R"([{"fromTick": 1}])")), "states[0].fromTick: the first state must have fromTick 0");
    EXPECT_EQ(errorOf(withStates(R"([{"fromTick": 0}, {"fromTick": 0}])")),
              "states[1].fromTick: fromTick must be greater than the previous state's");
    EXPECT_EQ(errorOf(withStates(R"([{"fromTick": 0, "processes": [{"pid": 2, "ppid": 1, "comm": "a"},
                                                                    {"pid": 2, "ppid": 1, "comm": "b"}]}])")),
              "states[0].processes[1].pid: pid listed twice");
    EXPECT_EQ(errorOf(withStates(R"([{"fromTick": 0, "windows": [{"pid": 1, "title": "a", "title": "b"}]}])")),
              "key \"title\" appears twice in one object");
    EXPECT_EQ(errorOf(R"({"observer": {"pid": 1, "parentPid": 2}, "ticks": -1, "states": [{"fromTick": 0}]})"),
              "ticks: expected an integer of 0 or more");
}

}  // namespace
}  // namespace replay
