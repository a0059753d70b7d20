#include <gtest/gtest.h>

#include "replay/scenario.h"
#include "replay/tests/scenario_error.h"

namespace replay {
namespace {

namespace sim = observer::platform::simulated;

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
    const sim::World first = worldAt(scenario, 0);
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

    EXPECT_EQ(worldAt(scenario, 1).audioProcesses->size(), 2u);
    EXPECT_FALSE(worldAt(scenario, 2).audioProcesses.has_value());
    EXPECT_FALSE(worldAt(scenario, 99).audioProcesses.has_value());
}

TEST(ScenarioTest, TheFirstStateStartsFromAnEmptyWorldAndLaterOnesChangeOnlyWhatTheyList) {
    const Scenario scenario = parseScenario(withStates(R"([
      {"fromTick": 0, "apps": [{"name": "zoom.us", "pid": 7}], "frontmostPid": 7},
      {"fromTick": 1, "processes": [{"pid": 7, "ppid": 1, "comm": "zoom.us"}],
                      "audioProcesses": [{"id": 20, "pid": 7, "runningInput": true}],
                      "windows": [{"pid": 7, "title": "Zoom Meeting"}]},
      {"fromTick": 3, "audioProcesses": [{"id": 20, "pid": 7, "runningInput": false}]},
      {"fromTick": 4, "processes": [], "audioProcesses": null, "devices": [{"id": 20}], "apps": [],
                      "frontmostPid": null, "windows": []}])"));
    const sim::World start = worldAt(scenario, 0);
    EXPECT_TRUE(start.processes.empty());
    ASSERT_TRUE(start.audioProcesses.has_value()) << "an empty list, not an unreadable one";
    EXPECT_TRUE(start.audioProcesses->empty());
    EXPECT_EQ(start.windows->size(), 0u);

    const sim::World meeting = worldAt(scenario, 2);
    EXPECT_EQ(meeting.apps.size(), 1u) << "kept from the first state";
    EXPECT_EQ(meeting.frontmostPid, 7);
    EXPECT_EQ((*meeting.audioProcesses)[0].runningInput, true);

    const sim::World silent = worldAt(scenario, 3);
    EXPECT_EQ((*silent.audioProcesses)[0].runningInput, false);
    EXPECT_EQ(silent.processes.size(), 1u);
    EXPECT_EQ(silent.windows->size(), 1u);
    EXPECT_EQ(silent.frontmostPid, 7);

    const sim::World gone = worldAt(scenario, 4);
    EXPECT_TRUE(gone.processes.empty());
    EXPECT_FALSE(gone.audioProcesses.has_value());
    EXPECT_TRUE(gone.apps.empty());
    EXPECT_EQ(gone.frontmostPid, std::nullopt);
    EXPECT_EQ(gone.windows->size(), 0u);
    EXPECT_EQ(gone.devices.size(), 1u) << "id 20 is free once the process objects are gone";
}

TEST(ScenarioTest, RulesOverTheWholeWorldSeeWhatEarlierStatesLeftInPlace) {
    EXPECT_EQ(errorOf(withStates(R"([{"fromTick": 0, "devices": [{"id": 5}]},
                                     {"fromTick": 1, "audioProcesses": [{"id": 5}]}])")),
              "states[1].audioProcesses[0].id: audio object id 5 used twice");
    EXPECT_EQ(errorOf(withStates(R"([{"fromTick": 0, "audioProcesses": [{"id": 5}]},
                                     {"fromTick": 1, "devices": [{"id": 6}, {"id": 5}]}])")),
              "states[1].devices[1].id: audio object id 5 used twice");
    EXPECT_EQ(errorOf(withStates(R"([{"fromTick": 0, "apps": [{"pid": 3}], "frontmostPid": 3},
                                     {"fromTick": 1, "apps": [{"pid": 4}]}])")),
              "states[1].apps: no application has pid 3, the frontmost one kept from an earlier state");
    EXPECT_EQ(errorOf(withStates(R"([{"fromTick": 0, "apps": [{"pid": 3}]}, {"fromTick": 1, "frontmostPid": 4}])")),
              "states[1].frontmostPid: no application in \"apps\" has pid 4");
    EXPECT_EQ(errorOf(withStates(R"([{"fromTick": 0, "apps": [{"pid": 3}]}, {"fromTick": 1, "frontmostPid": 3},
                                     {"fromTick": 2, "apps": [{"pid": 3}, {"pid": 4}], "frontmostPid": 4}])")),
              "no error");
}

TEST(ScenarioTest, LocaleIsOneThatIcuKnowsAndEnUsByDefault) {
    const auto localeOf = [](const std::string& locale) {
        return parseScenario("{" + head + R"(, "locale": )" + locale + R"(, "states": [{"fromTick": 0}]})").locale;
    };
    EXPECT_EQ(parseScenario(withStates(R"([{"fromTick": 0}])")).locale, "en_US");
    EXPECT_EQ(localeOf(R"("tr_TR")"), "tr_TR");
    EXPECT_EQ(localeOf(R"("az_Latn_AZ")"), "az_Latn_AZ");
    EXPECT_EQ(localeOf(R"("de")"), "de");
    const std::string unknown = "locale: expected a locale that ICU knows, as \"en_US\" or \"tr_TR\"";
    for (const std::string locale : {R"("xx_YY")", R"("tr_XX")", R"("")", R"("tr_TR@collation=search")",
                                     R"("tr\u0000")", R"("C")"}) {
        EXPECT_EQ(errorOf("{" + head + R"(, "locale": )" + locale + R"(, "states": [{"fromTick": 0}]})"), unknown)
            << locale;
    }
    EXPECT_EQ(errorOf("{" + head + R"(, "locale": null, "states": [{"fromTick": 0}]})"), "locale: expected a string");
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
              "states[0].windows[0]: key \"title\" appears twice in one object");
    EXPECT_EQ(errorOf(R"({"observer": {"pid": 1, "parentPid": 2}, "ticks": -1, "states": [{"fromTick": 0}]})"),
              "ticks: expected an integer of 0 or more");
}

}  // namespace
}  // namespace replay
