// Files that are not what a scenario should be end in a ScenarioError that says where,
// never in a crash, an endless parse or memory without bound.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>

#include "replay/json_reader.h"
#include "replay/scenario.h"
#include "replay/tests/scenario_error.h"
#include "replay/scenario_file.h"

namespace replay {
namespace {

std::string readError(const std::string& path) {
    try {
        readScenarioFile(path);
    } catch (const ScenarioError& error) {
        return error.what();
    }
    return "no error";
}

// A scenario whose only state lists `windows` as given.
std::string withWindows(const std::string& windows) {
    return R"({"observer": {"pid": 1, "parentPid": 2}, "ticks": 0, "states": [{"fromTick": 0, "windows": )" +
           windows + "}]}";
}

TEST(HostileInputTest, NumbersBeyondADoubleAreNamedWithTheirPlace) {
    EXPECT_EQ(errorOf("{\"ticks\": 1e400}"), "number too large at line 1, column 11");
    EXPECT_EQ(errorOf("{\n  \"ticks\": -1e400}"), "number too large at line 2, column 12");
    const std::string digits(100'000, '7');
    EXPECT_EQ(errorOf(withWindows("[{\"pid\": " + digits + "}]")), "number too large at line 1, column 101");
    // Large but finite numbers parse, and are then out of range for what they stand for.
    EXPECT_EQ(errorOf(R"({"observer": {"pid": 1, "parentPid": 2}, "ticks": 1e300, "states": [{"fromTick": 0}]})"),
              "ticks: expected an integer from -9223372036854775808 to 9223372036854775807");
    EXPECT_EQ(errorOf(R"({"observer": {"pid": 1, "parentPid": 2}, "ticks": 18446744073709551616,
                          "states": [{"fromTick": 0}]})"),
              "ticks: expected an integer from -9223372036854775808 to 9223372036854775807");
}

TEST(HostileInputTest, ARepeatedKeyIsNamedWithThePathToItsObject) {
    std::string windows = "[";
    for (int index = 0; index < 1000; ++index) windows += R"({"pid": 1, "title": "t"},)";
    windows += R"({"pid": 1, "title": "t", "pid": 2}])";
    EXPECT_EQ(errorOf(withWindows(windows)), "states[0].windows[1000]: key \"pid\" appears twice in one object");
    EXPECT_EQ(errorOf(R"({"ticks": 1, "ticks": 1})"), "key \"ticks\" appears twice in one object");
    EXPECT_EQ(errorOf(R"({"states": [[{"a": {"b": [0, {"c": 1, "c": 2}]}}]]})"),
              "states[0][0].a.b[1]: key \"c\" appears twice in one object");
    // Keys are shown on one line and cut short.
    EXPECT_EQ(errorOf(R"({"a\nb": 1, "a\nb": 2})"), "key \"a\\u000ab\" appears twice in one object");
    EXPECT_EQ(errorOf(R"({"observer": {"\u001b[2J": 1}})"), "observer: unknown key \"\\u001b[2J\"");
    EXPECT_EQ(errorOf("{\"" + std::string(100'000, 'k') + "\": 1}"), "unknown key \"" + std::string(60, 'k') + "...\"");
    // The same key in sibling objects is no repetition.
    EXPECT_EQ(errorOf(withWindows(R"([{"pid": 1}, {"pid": 1}])")), "no error");
}

TEST(HostileInputTest, ALongListParsesInOneGo) {
    // 150,000 windows: a parse whose time grew with the square of the list's length would
    // take a minute here.
    std::string windows = "[";
    for (int index = 0; index < 150'000; ++index) windows += R"({"pid": 7, "title": "Zoom Meeting"},)";
    windows.back() = ']';
    const Scenario scenario = parseScenario(withWindows(windows));
    EXPECT_EQ(worldAt(scenario, 0).windows->size(), 150'000u);
}

TEST(HostileInputTest, NestingDeeperThanAnyScenarioNeedsIsRefused) {
    const std::string deep = std::string(100'000, '[') + std::string(100'000, ']');
    EXPECT_EQ(errorOf(deep).substr(0, 12), "[0][0][0][0]");
    EXPECT_TRUE(errorOf(deep).ends_with("[0]: nested more than 64 levels deep")) << errorOf(deep);
    // The root, states, a state, windows and a window take five levels; a title can nest
    // 59 more.
    const auto nested = [](int levels) { return std::string(levels, '[') + "1" + std::string(levels, ']'); };
    EXPECT_EQ(errorOf(withWindows("[{\"pid\": 1, \"title\": " + nested(59) + "}]")), "no error");
    std::string path = "states[0].windows[0].title";
    for (int level = 0; level < 59; ++level) path += "[0]";
    EXPECT_EQ(errorOf(withWindows("[{\"pid\": 1, \"title\": " + nested(60) + "}]")),
              path + ": nested more than 64 levels deep");
}

TEST(HostileInputTest, NulBytesAndBrokenTextAreRefusedWithTheirPlace) {
    EXPECT_EQ(errorOf(std::string("{\"ticks\": 1}\n\0{\"states\": 5}", 27)), "NUL byte at line 2, column 1");
    EXPECT_EQ(errorOf(std::string("{\"a\": \"x\0y\"}", 12)), "NUL byte at line 1, column 9");
    EXPECT_EQ(errorOf("{\"a\": \"\xC3\x28\"}"),
              "not valid JSON at line 1, column 9: syntax error while parsing value - invalid string: "
              "ill-formed UTF-8 byte; last read: '\"\xC3\x28'");
    // The library quotes the token it stopped at: a huge one is cut short.
    const std::string message = errorOf("{\"a\": \"" + std::string(1'000'000, 'x'));
    EXPECT_TRUE(message.starts_with("not valid JSON at line 1, column 1000008: syntax error")) << message;
    EXPECT_TRUE(message.ends_with("xxx...")) << message;
    EXPECT_LT(message.size(), 300u);
}

class ScenarioFileTest : public ::testing::Test {
protected:
    std::filesystem::path directory;

    void SetUp() override {
        char name[] = "/tmp/scenario-file-test.XXXXXX";
        ASSERT_NE(::mkdtemp(name), nullptr);
        directory = name;
    }
    void TearDown() override { std::filesystem::remove_all(directory); }

    std::string write(const std::string& name, std::size_t size) {
        const auto path = directory / name;
        std::ofstream(path, std::ios::binary) << std::string(size, ' ');
        return path.string();
    }
};

TEST_F(ScenarioFileTest, SizesUpToTheLimitAreRead) {
    EXPECT_EQ(readScenarioFile(write("limit.json", maxScenarioBytes)).size(), maxScenarioBytes);
    EXPECT_EQ(readScenarioFile(write("one.json", 1)), " ");
}

TEST_F(ScenarioFileTest, EmptyOversizeEndlessAndUnreadableFilesAreRefused) {
    const std::string tooLarge = "larger than the limit of 4194304 bytes (4 MiB)";
    EXPECT_EQ(readError(write("empty.json", 0)), "the file is empty");
    EXPECT_EQ(readError(write("over.json", maxScenarioBytes + 1)), tooLarge);
    EXPECT_EQ(readError("/dev/zero"), tooLarge);
    EXPECT_EQ(readError((directory / "missing.json").string()), "cannot be read: No such file or directory");
    EXPECT_EQ(readError(directory.string()), "cannot be read: Is a directory");
}

}  // namespace
}  // namespace replay
