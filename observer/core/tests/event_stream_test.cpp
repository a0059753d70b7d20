#include <nlohmann/json.hpp>

#include "observer/core/event_stream.h"
#include "observer/testing/observer_fixture.h"

namespace observer::testing {
namespace {

using EventStreamTest = ObserverTest;

TEST_F(EventStreamTest, FixedEventsHaveTheirExactBytes) {
    emitHeartbeat();
    emitMicMode(true);
    emitMicMode(false);
    emitMicInactive();
    EXPECT_EQ(sim::capturedStandardOutput(),
              "{\"event\":\"heartbeat\"}\n"
              "{\"event\":\"mic-mode\",\"perProcess\":true}\n"
              "{\"event\":\"mic-mode\",\"perProcess\":false}\n"
              "{\"event\":\"mic-inactive\",\"app\":\"\",\"pid\":0}\n");
    EXPECT_EQ(sim::capturedStandardError(), "") << "only mic-active is echoed";
}

TEST_F(EventStreamTest, MicActiveIsEchoedToTheLogThenWritten) {
    emitJSON("mic-active", "Zoom", 812, std::string("Zoom Meeting"));
    const std::string line = R"({"event":"mic-active","app":"Zoom","pid":812,"title":"Zoom Meeting"})";
    EXPECT_EQ(sim::capturedStandardOutput(), line + "\n");
    EXPECT_EQ(sim::capturedStandardError(), std::string(stamp) + "EMIT -> " + line + "\n");
}

TEST_F(EventStreamTest, AbsentTitleLeavesTheKeyOutAndEmptyTitleKeepsIt) {
    emitJSON("mic-active", "Slack", -7, std::nullopt);
    emitJSON("mic-active", "Slack", 0, std::string());
    EXPECT_EQ(outputLines(), (std::vector<std::string>{R"({"event":"mic-active","app":"Slack","pid":-7})",
                                                       R"({"event":"mic-active","app":"Slack","pid":0,"title":""})"}));
}

TEST_F(EventStreamTest, EscapingDoublesBackslashesBeforeEscapingQuotes) {
    EXPECT_EQ(escapeJSONString("\\\""), "\\\\\\\"");
    EXPECT_EQ(escapeJSONString("a/b \x7f caf\u00e9 \u4f1a\u8b70 \U0001F50A"), "a/b \x7f caf\u00e9 \u4f1a\u8b70 \U0001F50A");
}

TEST_F(EventStreamTest, ControlCharactersAreEscaped) {
    EXPECT_EQ(escapeJSONString(std::string("\b\f\n\r\t\x01\x1f", 7) + std::string(1, '\0')),
              "\\b\\f\\n\\r\\t\\u0001\\u001f\\u0000");
}

TEST_F(EventStreamTest, UnicodeLineBreaksAreEscapedAndOtherTextIsNot) {
    // U+0085, U+2028, U+2029, then characters that share their first UTF-8 bytes: U+0080,
    // U+0086, U+2027, U+202A, U+20AC and U+3000.
    EXPECT_EQ(escapeJSONString("a\xC2\x85" "b\xE2\x80\xA8" "c\xE2\x80\xA9" "d"), "a\\u0085b\\u2028c\\u2029d");
    const std::string neighbours = "\xC2\x80\xC2\x86\xE2\x80\xA7\xE2\x80\xAA\xE2\x82\xAC\xE3\x80\x80";
    EXPECT_EQ(escapeJSONString(neighbours), neighbours);
    // Cut short at the end, the bytes are no line break and stay as they are.
    EXPECT_EQ(escapeJSONString("x\xE2\x80"), "x\xE2\x80");
    EXPECT_EQ(escapeJSONString("\xC2"), "\xC2");

    const std::string title = "Standup\xE2\x80\xA8{\"event\":\"mic-inactive\"}\xC2\x85\xE2\x80\xA9";
    emitJSON("mic-active", "Zoom", 812, title);
    const std::string line =
        R"({"event":"mic-active","app":"Zoom","pid":812,"title":"Standup\u2028{\"event\":\"mic-inactive\"}\u0085\u2029"})";
    EXPECT_EQ(sim::capturedStandardOutput(), line + "\n");
    EXPECT_EQ(sim::capturedStandardError(), std::string(stamp) + "EMIT -> " + line + "\n");
    EXPECT_EQ(nlohmann::json::parse(line).at("title"), title);
}

TEST_F(EventStreamTest, ATitleCannotForgeAnEventLine) {
    const std::string title = "Standup\n{\"event\":\"mic-inactive\",\"app\":\"\",\"pid\":0}\r\n\\\"";
    emitJSON("mic-active", "Google \"Chrome\"", 42, title);
    const auto lines = outputLines();
    ASSERT_EQ(lines.size(), 1u);
    const auto event = nlohmann::json::parse(lines[0]);
    EXPECT_EQ(event.at("title"), title);
    EXPECT_EQ(event.at("app"), "Google \"Chrome\"");
    EXPECT_EQ(lines[0],
              R"({"event":"mic-active","app":"Google \"Chrome\"","pid":42,"title":"Standup\n{\"event\":\"mic-inactive\",\"app\":\"\",\"pid\":0}\r\n\\\""})");
    EXPECT_EQ(logLines().size(), 1u) << "the echo is one log line too";
}

TEST_F(EventStreamTest, TimeStampIsTwentyFourHourWithMillisecondsAndWrapsAtMidnight) {
    sim::setClock(std::chrono::hours(23) + std::chrono::minutes(59) + std::chrono::seconds(59) +
                  std::chrono::milliseconds(999));
    EXPECT_EQ(ts(), "23:59:59.999");
    EXPECT_EQ(ts(), "23:59:59.999");
    sim::advanceClock(std::chrono::milliseconds(1));
    EXPECT_EQ(ts(), "00:00:00.000");
    sim::setClock(std::chrono::hours(13) + std::chrono::milliseconds(7));
    logLine("hello \u2014 world");
    EXPECT_EQ(sim::capturedStandardError(), "[13:00:00.007] hello \u2014 world\n");
}

// A full queue: the event waits for room, is never skipped, and a host that dies
// meanwhile is not waited for.
TEST_F(EventStreamTest, AnEventWaitsForRoomAndNeverForADeadHost) {
    sim::refuseEventLines(3);
    emitMicInactive();
    EXPECT_EQ(outputLines(), std::vector<std::string>{R"({"event":"mic-inactive","app":"","pid":0})"});
    EXPECT_EQ(sim::eventRoomWaitCount(), 3);
    EXPECT_FALSE(sim::processEnded());

    sim::refuseEventLines(1000);
    sim::setObserverProcess(observerPid, 1);
    emitJSON("mic-active", "Zoom", 812, std::string("Zoom Meeting"));
    EXPECT_TRUE(sim::processEnded());
    EXPECT_EQ(sim::eventRoomWaitCount(), 4) << "the host is looked for after every wait";
    EXPECT_EQ(logLines().back(), std::string(stamp) + "host application (pid 3000) is gone \u2014 exiting");
}

}  // namespace
}  // namespace observer::testing
