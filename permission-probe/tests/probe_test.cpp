// The probe's outcomes, driven through loader operations that record every
// call and every write in the order they happen.
#include "permission-probe/probe.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

namespace {

struct Outcome {
    int status;
    std::vector<std::string> events;
};

// Distinct addresses that stand for the loaded library, its entry point and
// the service name; only their identity matters.
int libraryToken;
int entryToken;
int serviceToken;

// loaded: whether open succeeds; result: the entry point's answer, or nullopt
// when the library lacks the entry point.
Outcome runProbe(bool loaded, std::optional<std::int32_t> result) {
    std::vector<std::string> events;
    const sennick::LoaderOps ops{
        .open =
            [&](const char* path, int mode) -> void* {
                events.push_back("open " + std::string(path) + " mode " + std::to_string(mode));
                return loaded ? &libraryToken : nullptr;
            },
        .lookUp =
            [&](void* handle, const char* name) -> void* {
                events.push_back(std::string("lookUp ") + name + (handle == &libraryToken ? "" : " in a wrong handle"));
                return result ? &entryToken : nullptr;
            },
        .callPreflight =
            [&](void* entry, const void* service, const void* options) {
                const bool expected = entry == &entryToken && service == &serviceToken && options == nullptr;
                events.push_back(expected ? "call" : "call with wrong arguments");
                return *result;
            },
        .close =
            [&](void* handle) { events.push_back(handle == &libraryToken ? "close" : "close of a wrong handle"); },
        .writeError = [&](std::string_view line) { events.push_back("stderr " + std::string(line)); },
        .writeOutput = [&](std::string_view line) { events.push_back("stdout " + std::string(line)); },
    };
    const int status = sennick::probeAudioCapturePermission(ops, &serviceToken);
    return {status, events};
}

const std::string kOpen = "open /System/Library/PrivateFrameworks/TCC.framework/Versions/A/TCC mode 2";
const std::string kLookUp = "lookUp TCCAccessPreflight";

TEST(ProbeLoaderFailures, FrameworkNotLoadedSkipsLookUpAndClose) {
    const Outcome outcome = runProbe(false, 0);
    EXPECT_EQ(outcome.status, 2);
    EXPECT_EQ(outcome.events, (std::vector<std::string>{
                                  kOpen,
                                  "stderr ERROR: Failed to load TCC framework\n",
                                  "stdout unknown\n",
                              }));
}

TEST(ProbeLoaderFailures, MissingEntryPointClosesBetweenErrorAndWord) {
    const Outcome outcome = runProbe(true, std::nullopt);
    EXPECT_EQ(outcome.status, 2);
    EXPECT_EQ(outcome.events, (std::vector<std::string>{
                                  kOpen,
                                  kLookUp,
                                  "stderr ERROR: Failed to find TCCAccessPreflight function\n",
                                  "close",
                                  "stdout unknown\n",
                              }));
}

struct AnswerCase {
    std::int32_t result;
    std::string error;
    std::string output;
    int status;
};

// Keeps test listings readable; the default prints raw bytes.
void PrintTo(const AnswerCase& c, std::ostream* os) {
    *os << "result " << c.result;
}

class ProbeAnswers : public testing::TestWithParam<AnswerCase> {};

TEST_P(ProbeAnswers, CallsOnceAndClosesBeforeAnyOutput) {
    const AnswerCase& c = GetParam();
    const Outcome outcome = runProbe(true, c.result);
    EXPECT_EQ(outcome.status, c.status);
    EXPECT_EQ(outcome.events, (std::vector<std::string>{
                                  kOpen,
                                  kLookUp,
                                  "call",
                                  "close",
                                  "stderr " + c.error,
                                  "stdout " + c.output,
                              }));
}

INSTANTIATE_TEST_SUITE_P(
    Results, ProbeAnswers,
    testing::Values(
        AnswerCase{0, "DEBUG: Audio capture permission is authorized\n", "authorized\n", 0},
        AnswerCase{1, "DEBUG: Audio capture permission is denied\n", "denied\n", 1},
        AnswerCase{2, "DEBUG: Audio capture permission is unknown (result=2)\n", "unknown\n", 2},
        AnswerCase{-1, "DEBUG: Audio capture permission is unknown (result=-1)\n", "unknown\n", 2},
        AnswerCase{INT32_MIN, "DEBUG: Audio capture permission is unknown (result=-2147483648)\n", "unknown\n", 2}),
    [](const testing::TestParamInfo<AnswerCase>& info) {
        const std::int64_t result = info.param.result;
        return (result < 0 ? "ResultMinus" : "Result") + std::to_string(result < 0 ? -result : result);
    });

}  // namespace
