// The audio HAL against a private PulseAudio daemon: process objects for the server's
// clients with their pids and recording state, devices for sinks and microphones, and
// failures when no server answers.
#include <gtest/gtest.h>
#include <signal.h>
#include <stdlib.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstring>
#include <fstream>
#include <optional>
#include <thread>
#include <vector>

#include "observer/platform/audio_hal.h"
#include "observer/platform/linux/pulse_connection.h"
#include "observer/platform/linux/tests/hal_reading.h"
#include "testbed/actor.h"
#include "testbed/delaying_proxy.h"
#include "testbed/private_servers.h"
#include "testbed/sound_census.h"

namespace observer::platform::testing {

using namespace ::testbed;
namespace {

using namespace std::chrono_literals;
namespace hal = observer::platform::audio;

using namespace hal_reading;

// The HAL answers from what the server has told it so far; a test that has just changed
// the server waits for one round trip, which brings every earlier change along.
// A connection that a restart broke is made again at the next attempt that is due.
bool settled() {
    return eventually([] { return pulse::synchronize(2s); }, 5s);
}

pid_t parentOf(pid_t pid) {
    const std::string stat = readFile("/proc/" + std::to_string(pid) + "/stat");
    const auto close = stat.rfind(')');
    if (close == std::string::npos || close + 4 >= stat.size()) return -1;
    return static_cast<pid_t>(std::atoi(stat.c_str() + close + 4));
}

// Each test runs against the sound server that QUORVEL_TEST_SOUND_STACK names; the test
// command runs them once against PulseAudio and once against PipeWire.
class AudioHalTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_FALSE(directory.path().empty());
        server = startSoundServer(directory.path());
        ASSERT_TRUE(server) << nameOf(defaultSoundStack()) << " did not start";
        ::setenv("PULSE_SERVER", server->address().c_str(), 1);
        // PipeWire has clients of its own (the daemon, WirePlumber, pipewire-pulse's
        // connections); PulseAudio has none.
        const auto census = takeSoundCensus(server->address());
        ASSERT_TRUE(census);
        serversOwn = census->clients;
    }

    std::unique_ptr<Actor> actor(const std::string& name = "meeting_actor", Environment environment = {}) {
        const Environment reach = server->environment();
        environment.insert(environment.end(), reach.begin(), reach.end());
        return startActor(directory.path(), name, std::move(environment));
    }

    // A client that stops recording or leaves has only closed a stream or its socket:
    // the server takes note of it when it comes to it. Once the server itself counts
    // these clients (ours among them, the server's own besides) and recordings, one
    // round trip must bring the mirror along.
    // pipewire-pulse may tell a connection of a client that left a moment after its own
    // census no longer counts it, so the mirror is waited for until it counts as many.
    bool settledAt(std::size_t clients, std::size_t sourceOutputs) {
        const SoundCensus expected{serversOwn + clients, sourceOutputs};
        if (!eventually([&] { return takeSoundCensus(server->address()) == expected; }, 5s)) return false;
        return eventually(
            [&] {
                const auto objects = settled() ? idList(processList) : std::nullopt;
                return objects && objects->size() == expected.clients;
            },
            5s);
    }

    // Whether the actor records, itself or in a child, as the HAL says now.
    static bool recordsNow(const Actor& recorder) {
        for (const auto pid : recordingPids())
            if (static_cast<pid_t>(pid) == recorder.pid || parentOf(static_cast<pid_t>(pid)) == recorder.pid)
                return true;
        return false;
    }

    // pipewire-pulse reports a recording stream a moment before its graph has linked the
    // stream to its source, and says it records once it has: a test that starts a
    // recording waits for the server to say so.
    static bool recordingLinked(const Actor& recorder) {
        return eventually([&] { return settled() && recordsNow(recorder); }, 5s);
    }

    TemporaryDirectory directory;
    std::unique_ptr<SoundServer> server;
    std::size_t serversOwn = 0;
};

TEST_F(AudioHalTest, ListsOneProcessObjectPerClientWithItsPidAndWhetherItRecordsAMicrophone) {
    auto microphone = actor();
    auto monitor = actor();
    auto childRecorder = actor();
    ASSERT_TRUE(microphone && monitor && childRecorder);
    ASSERT_TRUE(microphone->command("record mic0"));
    ASSERT_TRUE(monitor->command("record spk0.monitor"));
    ASSERT_TRUE(childRecorder->command("record-child mic0"));
    ASSERT_TRUE(recordingLinked(*microphone) && recordingLinked(*childRecorder));

    const auto ids = idList(processList);
    ASSERT_TRUE(ids);
    // The observer's own connection is a client too.
    EXPECT_EQ(ids->size(), serversOwn + 4);
    for (const auto id : *ids) EXPECT_NE(id, hal::systemObject);
    auto distinct = *ids;
    std::sort(distinct.begin(), distinct.end());
    EXPECT_EQ(std::unique(distinct.begin(), distinct.end()), distinct.end());

    const auto recording = processObjectOf(microphone->pid);
    const auto listening = processObjectOf(monitor->pid);
    const auto own = processObjectOf(::getpid());
    ASSERT_TRUE(recording && listening && own);
    EXPECT_EQ(scalar(*recording, runningInput), 1u);
    EXPECT_EQ(scalar(*listening, runningInput), 0u) << "a sink's monitor is no microphone";
    EXPECT_EQ(scalar(*own, runningInput), 0u);
    // The recording child is a client of its own, with its own pid.
    EXPECT_FALSE(processObjectOf(childRecorder->pid));
    int recordingChildren = 0;
    for (const auto id : *ids) {
        const auto pid = scalar(id, processPid);
        ASSERT_TRUE(pid);
        if (parentOf(static_cast<pid_t>(*pid)) != childRecorder->pid) continue;
        ++recordingChildren;
        EXPECT_EQ(scalar(id, runningInput), 1u);
    }
    EXPECT_EQ(recordingChildren, 1);

    ASSERT_TRUE(microphone->command("stop"));
    ASSERT_TRUE(settledAt(3, 2));
    EXPECT_EQ(idList(processList)->size(), serversOwn + 3);
    EXPECT_FALSE(scalar(*recording, runningInput)) << "a client that left is no object any more";
    EXPECT_EQ(processObjectOf(monitor->pid), listening) << "ids stay while the client lives";
}

// A client's claim to a credential is its own word, not a credential: on PulseAudio every
// property is the client's, and pipewire-pulse puts its own pid where the claim was.
TEST_F(AudioHalTest, AClaimedCredentialIsNoPidAndAPidThatIsNoNumberFails) {
    auto claiming = actor("meeting_actor", {{"PULSE_PROP_pipewire.sec.pid", "4242"}});
    auto garbled = actor("meeting_actor", {{"PULSE_PROP_application.process.id", "12ab"}});
    ASSERT_TRUE(claiming && garbled);
    ASSERT_TRUE(claiming->command("record mic0"));
    ASSERT_TRUE(garbled->command("record mic0"));
    ASSERT_TRUE(recordingLinked(*claiming));

    EXPECT_FALSE(processObjectOf(4242));
    EXPECT_TRUE(processObjectOf(claiming->pid));
    // The garbled client's pid cannot be read; that it records is still known.
    const auto unreadableRecording = [] {
        const auto ids = settled() ? idList(processList) : std::nullopt;
        if (!ids) return -1;
        int unreadable = 0;
        for (const auto id : *ids) {
            std::uint32_t pid = 0;
            std::uint32_t size = sizeof pid;
            if (hal::getPropertyData(id, processPid, size, &pid) != hal::noErr && scalar(id, runningInput) == 1u)
                ++unreadable;
        }
        return unreadable;
    };
    EXPECT_TRUE(eventually([&] { return unreadableRecording() == 1; }, 5s)) << unreadableRecording();
}

TEST_F(AudioHalTest, ListsSinksAndMicrophonesButNoMonitorsAndTellsWhichRun) {
    const auto devices = idList(deviceList);
    ASSERT_TRUE(devices);
    ASSERT_EQ(devices->size(), 2u);
    std::optional<hal::ObjectId> microphone;
    for (const auto device : *devices) {
        const auto channels = inputChannels(device);
        ASSERT_TRUE(channels);
        if (channels->empty()) continue;  // the sink plays only
        EXPECT_EQ(*channels, std::vector<std::uint32_t>{1});
        microphone = device;
    }
    ASSERT_TRUE(microphone);
    EXPECT_EQ(scalar(*microphone, runningSomewhere), 0u);

    // PipeWire starts a source's node once the graph has linked the stream, a moment after
    // the stream itself is ready, and says so then: the mirror follows once it has.
    auto recorder = actor();
    ASSERT_TRUE(recorder && recorder->command("record mic0"));
    EXPECT_TRUE(eventually([&] { return settled() && scalar(*microphone, runningSomewhere) == 1u; }, 5s));
    EXPECT_EQ(idList(deviceList), devices) << "the order is stable";
    ASSERT_TRUE(recorder->command("stop"));
    ASSERT_TRUE(settledAt(1, 0));
    EXPECT_TRUE(eventually([&] { return settled() && scalar(*microphone, runningSomewhere) == 0u; }, 5s));
}

// What the server's own modules record, and a recording of a sink's monitor, is no
// application's use of a microphone.
TEST_F(AudioHalTest, ModulesAndMonitorsNeverRecordAMicrophone) {
    ASSERT_TRUE(server->pactl({"load-module", "module-loopback", "source=mic0", "sink=spk0"}));
    ASSERT_TRUE(server->pactl({"load-module", "module-echo-cancel", "source_master=mic0", "sink_master=spk0"}));
    auto listener = actor();
    ASSERT_TRUE(listener && listener->command("record spk0.monitor"));
    // The loopback's, the echo canceller's and the listener's recordings.
    ASSERT_TRUE(eventually([&] { return takeSoundCensus(server->address()).value_or(SoundCensus{}).sourceOutputs >= 3; }, 5s));
    ASSERT_TRUE(settled());
    EXPECT_EQ(recordingPids(), std::vector<std::uint32_t>{});
}

TEST_F(AudioHalTest, DataQueriesWriteNoMoreThanTheCapacity) {
    const auto devices = idList(deviceList);
    ASSERT_TRUE(devices && devices->size() == 2u);
    hal::ObjectId buffer[2] = {0, 0};
    std::uint32_t size = 4;
    ASSERT_EQ(hal::getPropertyData(hal::systemObject, deviceList, size, buffer), hal::noErr);
    EXPECT_EQ(size, 4u);
    EXPECT_EQ(buffer[0], devices->front());
    EXPECT_EQ(buffer[1], 0u);

    std::uint16_t tooSmall = 0;
    size = sizeof tooSmall;
    EXPECT_NE(hal::getPropertyData(devices->front(), runningSomewhere, size, &tooSmall), hal::noErr);
    EXPECT_NE(hal::getPropertyDataSize(hal::systemObject, runningSomewhere, size), hal::noErr);
    EXPECT_NE(hal::getPropertyDataSize(0x7777, processPid, size), hal::noErr);
}

// A server that goes away leaves its last state for a while, as a restarting server
// would be back in that time; then every query fails, at once, until a server is back.
// The hold ends between ticks, where the run loop takes in what arrived: a tick whose
// questions outlast it still sees the held state to its end.
TEST_F(AudioHalTest, HoldsTheLastStateAWhileWhenTheServerGoesThenFailsQuicklyAndReconnects) {
    auto recorder = actor();
    ASSERT_TRUE(recorder && recorder->command("record mic0"));
    ASSERT_TRUE(recordingLinked(*recorder));
    const auto ids = idList(processList);
    ASSERT_TRUE(ids && recordsNow(*recorder));
    server->pulseServer().stop();
    EXPECT_EQ(idList(processList), ids);
    EXPECT_TRUE(recordsNow(*recorder));
    std::this_thread::sleep_for(pulse::holdAfterLoss + 100ms);
    EXPECT_EQ(idList(processList), ids) << "the hold ended within a tick";
    EXPECT_TRUE(recordsNow(*recorder));

    pulse::takeInArrived();
    ASSERT_TRUE(eventually([] { return !idList(processList); }, 1s)) << "the last state held for ever";
    const auto start = std::chrono::steady_clock::now();
    EXPECT_FALSE(idList(processList));
    EXPECT_FALSE(idList(deviceList));
    EXPECT_LT(std::chrono::steady_clock::now() - start, 1s);

    ASSERT_TRUE(server->restart());
    ASSERT_TRUE(eventually([] { return idList(deviceList).has_value(); }, 5s));
    EXPECT_FALSE(recordsNow(*recorder)) << "the recorder's stream went with the server it was on";
}

// A restart of the server never shows a gap in a recording that goes on: a native
// PipeWire client records on through a restart of pipewire-pulse; a PulseAudio-protocol
// client, whose connection went with the server, records anew once it is back.
TEST_F(AudioHalTest, ARecordingThatGoesOnThroughARestartShowsNoGap) {
    auto recorder = actor();
    ASSERT_TRUE(recorder);
    const bool native = server->stack() == SoundStack::pipeWire;
    ASSERT_TRUE(recorder->command(native ? "record-native mic0" : "record mic0"));
    ASSERT_TRUE(eventually([&] { return recordsNow(*recorder); }, 5s));

    // The sampler asks the HAL, alone, while this thread restarts the server: a server
    // started by a thread that then ends would die with it (the parent-death signal).
    std::atomic<bool> finished = false;
    int gaps = 0;
    int samples = 0;
    std::thread sampler([&] {
        // Through the restart, and for a second after it.
        for (int after = 0; after < 50;) {
            if (!recordsNow(*recorder)) ++gaps;
            pulse::takeInArrived();  // as the run loop does after each tick
            ++samples;
            if (finished) ++after;
            std::this_thread::sleep_for(20ms);
        }
    });
    const bool restarted = server->restart() && (native || recorder->command("record mic0"));
    finished = true;
    sampler.join();
    ASSERT_TRUE(restarted);
    EXPECT_TRUE(recordingLinked(*recorder));
    EXPECT_EQ(gaps, 0) << "of " << samples << " samples through the restart";
}

// The HAL answers from a mirror that the server's events keep current.
TEST_F(AudioHalTest, SeesEveryChangeOnceTheServerHasToldItAndKeepsNoClientThatLeft) {
    const auto before = idList(processList);
    ASSERT_TRUE(before);

    // A client that connects, records and leaves between two queries leaves nothing.
    {
        auto passing = actor();
        ASSERT_TRUE(passing && passing->command("record mic0"));
    }
    ASSERT_TRUE(settledAt(1, 0));
    EXPECT_EQ(idList(processList), before);

    auto recorder = actor();
    ASSERT_TRUE(recorder && recorder->command("record mic0"));
    ASSERT_TRUE(recordingLinked(*recorder));
    const auto recording = processObjectOf(recorder->pid);
    ASSERT_TRUE(recording);
    EXPECT_EQ(scalar(*recording, runningInput), 1u);
    ASSERT_TRUE(recorder->command("stop"));
    ASSERT_TRUE(settledAt(1, 0));
    EXPECT_EQ(idList(processList), before) << "the recorder's connection went with its recording";
}

// A stopped server keeps its connection: it is no lost server, and the HAL goes on
// answering what it said last, at once.
TEST_F(AudioHalTest, AStoppedServerLeavesTheLastStateAndNoWait) {
    auto recorder = actor();
    ASSERT_TRUE(recorder && recorder->command("record mic0"));
    ASSERT_TRUE(recordingLinked(*recorder));
    const auto ids = idList(processList);
    const auto recording = processObjectOf(recorder->pid);
    ASSERT_TRUE(ids && recording);

    ASSERT_EQ(::kill(server->pid(), SIGSTOP), 0);
    const auto start = std::chrono::steady_clock::now();
    int unchanged = 0;
    for (int i = 0; i < 50; ++i)
        if (idList(processList) == ids && scalar(*recording, runningInput) == 1u) ++unchanged;
    const auto took = std::chrono::steady_clock::now() - start;
    ::kill(server->pid(), SIGCONT);

    EXPECT_EQ(unchanged, 50);
    EXPECT_LT(took, 2s) << "fifty queries, each of which once waited for the server";
    ASSERT_TRUE(recorder->command("stop"));
    ASSERT_TRUE(settledAt(1, 0));
    EXPECT_FALSE(scalar(*recording, runningInput)) << "the server is heard again once it runs";
}

// A server that answers every request late costs nothing while nothing changes.
TEST_F(AudioHalTest, LateRepliesDelayNoQueryWhileNothingChanges) {
    const std::string proxyPath = directory.path() + "/late";
    DelayingProxy proxy(proxyPath, server->address().substr(std::string_view("unix:").size()), 60ms);
    ASSERT_TRUE(proxy.listening());
    // The relay passes bytes only, so no shared memory is handed over.
    const std::string configuration = directory.path() + "/client.conf";
    std::ofstream(configuration) << "enable-shm = no\nenable-memfd = no\n";
    ::setenv("PULSE_CLIENTCONFIG", configuration.c_str(), 1);
    ::setenv("PULSE_SERVER", ("unix:" + proxyPath).c_str(), 1);
    auto recorder = actor();
    ASSERT_TRUE(recorder && recorder->command("record mic0"));
    ASSERT_TRUE(recordingLinked(*recorder));
    const auto recording = processObjectOf(recorder->pid);
    ASSERT_TRUE(recording);

    const auto start = std::chrono::steady_clock::now();
    for (int i = 0; i < 50; ++i) EXPECT_EQ(scalar(*recording, runningInput), 1u);
    EXPECT_LT(std::chrono::steady_clock::now() - start, 1s) << "fifty queries of 60 ms each would take 3 s";

    ASSERT_TRUE(recorder->command("stop"));
    ASSERT_TRUE(settledAt(1, 0));
    EXPECT_FALSE(scalar(*recording, runningInput));
}

TEST(AudioHalWithoutServer, EverySystemQueryFails) {
    TemporaryDirectory directory;
    ::setenv("PULSE_SERVER", ("unix:" + directory.path() + "/nothing-here").c_str(), 1);
    std::uint32_t size = 0;
    EXPECT_NE(hal::getPropertyDataSize(hal::systemObject, processList, size), hal::noErr);
    EXPECT_NE(hal::getPropertyDataSize(hal::systemObject, deviceList, size), hal::noErr);
    size = 64;
    std::uint8_t bytes[64];
    EXPECT_NE(hal::getPropertyData(hal::systemObject, processList, size, bytes), hal::noErr);
}

}  // namespace
}  // namespace observer::platform::testing
