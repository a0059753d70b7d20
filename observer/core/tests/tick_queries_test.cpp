// What one tick asks of the system: each process's record and each audio property at
// most once, however many rules ask, and afresh on the next tick; the window list and
// the workspace's applications at most once, however many windows and applications
// there are.
#include <algorithm>
#include <map>
#include <tuple>

#include "observer/core/poll_tick.h"
#include "observer/detection/meeting_app.h"
#include "observer/testing/observer_fixture.h"

namespace observer::testing {
namespace {

constexpr Pid zoomPid = 700;

struct QueryCounts {
    std::size_t windowListCopies;
    std::size_t runningApplications;
    std::size_t frontmostApplications;
    bool operator==(const QueryCounts&) const = default;
};

QueryCounts queryCounts() {
    return {sim::windowListCopyCount(), sim::runningApplicationsQueryCount(), sim::frontmostApplicationQueryCount()};
}

using HalRead = std::tuple<sim::HalQuery, platform::audio::ObjectId, std::uint32_t>;

// What one tick asked of the simulated platform.
struct TickReads {
    std::map<Pid, int> records;  // how often each pid's record was asked for
    std::map<HalRead, int> hal;  // how often each HAL property of each object was read
    QueryCounts lists;           // window-list copies and workspace queries
};

TickReads readsOfOneTick() {
    TickReads reads;
    sim::setProcessQueryOverride([&reads](Pid pid, platform::ProcessRecord&, std::int64_t&) {
        ++reads.records[pid];
        return std::optional<int>();  // the world answers
    });
    sim::recordHalCalls(true);
    const std::size_t halBefore = sim::halCalls().size();
    const QueryCounts before = queryCounts();
    pollTick();
    const QueryCounts after = queryCounts();
    for (std::size_t index = halBefore; index < sim::halCalls().size(); ++index) {
        const sim::HalCall& call = sim::halCalls()[index];
        ++reads.hal[{call.query, call.object, call.selector}];
    }
    sim::recordHalCalls(false);
    sim::setProcessQueryOverride(nullptr);
    reads.lists = {after.windowListCopies - before.windowListCopies,
                   after.runningApplications - before.runningApplications,
                   after.frontmostApplications - before.frontmostApplications};
    return reads;
}

using TickQueriesTest = ObserverTest;

// The host's tree and two system services capture, in chains that overlap, while Zoom's
// helper captures for the tracked meeting: every capturing pid's walk and the tracked
// application's check cross the same ancestors.
sim::World overlappingChains() {
    sim::World world;
    world.processes = {process(hostPid, 1, "Host"), process(zoomPid, 1, "zoom.us"), process(701, zoomPid, "helper")};
    for (Pid pid = 3001; pid <= 3010; ++pid) world.processes.push_back(process(pid, pid - 1));
    world.processes.push_back(process(5000, 1));
    for (Pid pid = 5001; pid <= 5005; ++pid) world.processes.push_back(process(pid, pid - 1));
    world.processes.push_back(process(5006, 5005, "corespeechd"));
    world.processes.push_back(process(5007, 5006, "replayd"));
    world.apps = {app("zoom.us", zoomPid)};
    world.frontmostPid = zoomPid;
    world.windows = std::vector<sim::Window>{window(zoomPid, "Zoom Meeting")};
    world.audioProcesses = std::vector<sim::AudioProcess>{capturing(10, 3010), capturing(11, 3007), capturing(12, 3005),
                                                          capturing(13, 5007), capturing(14, 5006), capturing(15, 701)};
    return world;
}

TEST_F(TickQueriesTest, EachRecordIsReadOnceATickWhileDetectingAndWhileTracking) {
    sim::setWorld(overlappingChains());
    const std::map<Pid, int> detecting = readsOfOneTick().records;
    ASSERT_EQ(outputLines(), std::vector<std::string>{
                                 R"({"event":"mic-active","app":"Zoom","pid":700,"title":"Zoom Meeting"})"});
    const std::map<Pid, int> tracking = readsOfOneTick().records;
    EXPECT_TRUE(emittedForCurrentSession) << "the tracked meeting goes on";
    EXPECT_EQ(outputLines().size(), 1u);

    for (const auto* reads : {&detecting, &tracking}) {
        EXPECT_TRUE(reads->contains(3001) && reads->contains(5000) && reads->contains(701))
            << "the walks ran through the chains";
        for (const auto& [pid, count] : *reads) EXPECT_EQ(count, 1) << "pid " << pid;
    }
}

// pid 300 keeps capturing while the process behind it changes between ticks: each tick
// sees the process as it is then.
TEST_F(TickQueriesTest, ARecordIsNotKeptFromOneTickToTheNext) {
    sim::World world;
    world.audioProcesses = std::vector<sim::AudioProcess>{capturing(10, 300)};
    const auto tickWith = [&](std::vector<sim::Process> processes) {
        world.processes = std::move(processes);
        sim::setWorld(world);
        pollTick();
        return micWasActive;
    };
    EXPECT_FALSE(tickWith({process(hostPid, 1), process(300, hostPid)})) << "the host's own";
    EXPECT_TRUE(tickWith({process(hostPid, 1)})) << "gone: its pid says nothing about it";
    EXPECT_FALSE(tickWith({process(hostPid, 1), process(300, 1, "replayd")})) << "the pid given to a service";
    EXPECT_TRUE(tickWith({process(hostPid, 1), process(300, 1, "recorder")})) << "and then to another program";
    EXPECT_FALSE(tickWith({process(hostPid, 1), process(299, hostPid), process(300, 299)}))
        << "and then to a grandchild of the host";
}

// Twelve applications cover every catalogue row and show a meeting title, behind
// `windows` windows in all; the microphone is used by a program that none of them owns and
// the frontmost one does not capture, so every row of both passes is examined.
sim::World desktopWithWindows(int windows) {
    const char* names[] = {"zoom.us", "Microsoft Teams", "Cisco Webex Meetings", "Slack", "Google Chrome",
                           "Microsoft Edge", "Safari", "Firefox", "Opera", "Brave Browser", "Notes", "Mail"};
    const char* bundles[] = {"us.zoom.xos", "com.microsoft.teams2", "com.cisco.webexmeetingsapp",
                             "com.tinyspeck.slackmacgap", "com.google.Chrome", "com.microsoft.edgemac",
                             "com.apple.Safari", "org.mozilla.firefox", "com.operasoftware.Opera",
                             "com.brave.Browser", "com.apple.Notes", "com.apple.mail"};
    sim::World world;
    world.windows.emplace();
    const int titled = std::min(windows, 12);
    for (int index = 0; index < windows - titled; ++index) world.windows->push_back(window(900 + index, "Document"));
    for (int index = 0; index < 12; ++index) {
        const Pid pid = 500 + index;
        world.processes.push_back(process(pid, 1, names[index]));
        world.apps.push_back(app(names[index], pid, bundles[index]));
        if (index < titled) world.windows->push_back(window(pid, "Weekly \u2013 Zoom Meeting " + std::to_string(index)));
    }
    world.processes.push_back(process(600, 1, "recorder"));
    world.audioProcesses = std::vector<sim::AudioProcess>{capturing(10, 600)};
    world.frontmostPid = 503;
    return world;
}

TEST_F(TickQueriesTest, OneWindowListAndOneWorkspaceSnapshotATickAtMost) {
    for (const int windows : {1, 12, 100, 500}) {
        SCOPED_TRACE(std::to_string(windows) + " windows");
        resetSession();
        sim::World world = desktopWithWindows(windows);
        sim::World silent = world;
        silent.audioProcesses = std::vector<sim::AudioProcess>{};
        sim::setWorld(silent);
        EXPECT_EQ(readsOfOneTick().lists, (QueryCounts{0, 0, 0})) << "idle";

        // A detection outside a tick copies the list for each title it looks up; within a
        // tick the same lookups share one copy and answer the same, line for line.
        sim::setWorld(world);
        clearOutput();
        const QueryCounts before = queryCounts();
        ASSERT_FALSE(detectMeetingApp());
        EXPECT_EQ(queryCounts().windowListCopies - before.windowListCopies, 11u) << "one per catalogue row";
        const std::vector<std::string> unshared = logLines();
        clearOutput();
        for (int tick = 0; tick < 3; ++tick) {
            EXPECT_EQ(readsOfOneTick().lists, (QueryCounts{1, 1, 1})) << "detecting";
            EXPECT_EQ(logLines(), unshared);
            clearOutput();
        }
        EXPECT_TRUE(micWasActive && !emittedForCurrentSession) << "detection kept running";

        world.audioProcesses = std::vector<sim::AudioProcess>{capturing(10, 600), capturing(11, 501)};
        world.frontmostPid = 501;
        sim::setWorld(world);
        EXPECT_EQ(readsOfOneTick().lists, (QueryCounts{1, 1, 1})) << "detecting, and Teams found";
        ASSERT_TRUE(trackedApp);
        EXPECT_EQ(readsOfOneTick().lists, (QueryCounts{0, 0, 0})) << "tracking";
    }
}

TEST_F(TickQueriesTest, EachAudioPropertyIsReadOnceATick) {
    namespace hal = platform::audio;
    sim::World world = desktopWithWindows(100);
    for (hal::ObjectId id = 20; id < 60; ++id) world.audioProcesses->push_back(capturing(id, 900 + id, id % 4 == 0));
    sim::setWorld(world);
    const auto listSize = std::make_tuple(sim::HalQuery::size, hal::systemObject, hal::selector::processObjectList);
    for (int tick = 0; tick < 2; ++tick) {
        const auto reads = readsOfOneTick().hal;
        EXPECT_EQ(reads.count(listSize) ? reads.at(listSize) : 0, 1) << "detecting";
        EXPECT_TRUE(reads.contains({sim::HalQuery::data, 59, hal::selector::processIsRunningInput}));
        for (const auto& [read, count] : reads) EXPECT_EQ(count, 1) << "object " << std::get<1>(read);
    }
    EXPECT_TRUE(micWasActive && !emittedForCurrentSession) << "detection kept running";

    world.audioProcesses->push_back(capturing(60, 501));
    world.frontmostPid = 501;
    sim::setWorld(world);
    pollTick();
    ASSERT_TRUE(trackedApp) << "Teams";
    const auto tracking = readsOfOneTick().hal;
    EXPECT_EQ(tracking.count(listSize) ? tracking.at(listSize) : 0, 1) << "tracking";
    for (const auto& [read, count] : tracking) EXPECT_EQ(count, 1) << "object " << std::get<1>(read);
}

enum class Activity { idle, detecting, tracking };

constexpr Pid chromePid = 710;
constexpr Pid rendererPid = 711;
constexpr Pid recorderPid = 600;

// `clients` audio clients and `processes` processes in all. Every other client captures
// for one of the host's two helpers, the others are silent and belong to processes that
// no rule needs; Zoom is frontmost and captures nothing, Chrome shows a meeting. While
// detecting, a recorder of no application captures too, so both passes run in full and
// find nothing; while tracking, Chrome's renderer captures for the meeting.
sim::World desktopWithClients(int clients, int processes, Activity activity) {
    sim::World world;
    world.processes = {process(hostPid, 1, "Host"), process(3001, hostPid), process(3002, 3001),
                       process(recorderPid, 1, "recorder"), process(zoomPid, 1, "zoom.us"),
                       process(chromePid, 1, "chrome"), process(rendererPid, chromePid, "chrome")};
    const int unneeded = processes - static_cast<int>(world.processes.size());
    for (int index = 0; index < unneeded; ++index) world.processes.push_back(process(10000 + index, 1));
    world.apps = {app("zoom.us", zoomPid, "us.zoom.xos"), app("Google Chrome", chromePid, "com.google.Chrome")};
    world.frontmostPid = zoomPid;
    world.windows = std::vector<sim::Window>{window(zoomPid, "Zoom"), window(chromePid, "Meet - abc-defg-hij")};
    world.audioProcesses.emplace();
    for (int index = 0; index < clients; ++index) {
        const bool captures = index % 2 == 0;
        const Pid pid = captures ? (index % 4 == 0 ? 3002 : 3001) : 10000 + index % unneeded;
        world.audioProcesses->push_back(capturing(static_cast<platform::audio::ObjectId>(100 + index), pid, captures));
    }
    // Last in the list, so that the microphone check walks every helper's chain first.
    if (activity == Activity::detecting) world.audioProcesses->push_back(capturing(98, recorderPid));
    if (activity == Activity::tracking) world.audioProcesses->push_back(capturing(99, rendererPid));
    return world;
}

// Of a tick's HAL reads, those of the system object's lists.
std::map<HalRead, int> listReads(const std::map<HalRead, int>& reads) {
    std::map<HalRead, int> lists;
    for (const auto& [read, count] : reads)
        if (std::get<1>(read) == platform::audio::systemObject) lists.emplace(read, count);
    return lists;
}

// However many audio clients and processes there are, a tick asks for each list once at
// most, reads each HAL property and each process record it needs once, and reads the
// records of the same few processes: those that the capturing pids' walks and the
// tracked application's check cross, none of the processes that no rule needs.
TEST_F(TickQueriesTest, QueriesStayFlatFromOneTo200ClientsAnd10To3000Processes) {
    namespace hal = platform::audio;
    const auto listRead = [](sim::HalQuery query) {
        return HalRead{query, hal::systemObject, hal::selector::processObjectList};
    };
    const std::map<HalRead, int> processList{{listRead(sim::HalQuery::size), 1}, {listRead(sim::HalQuery::data), 1}};
    const std::map<Pid, int> helpers{{3001, 1}, {3002, 1}};
    const std::map<Pid, int> helpersAndRecorder{{hostPid, 1}, {3001, 1}, {3002, 1}, {recorderPid, 1}};
    const std::map<Pid, int> helpersAndRenderer{{hostPid, 1}, {3001, 1}, {3002, 1}, {chromePid, 1}, {rendererPid, 1}};
    const auto expectEachPropertyReadOnce = [](const TickReads& reads, const char* tick) {
        for (const auto& [read, count] : reads.hal) EXPECT_EQ(count, 1) << tick << ", object " << std::get<1>(read);
    };
    for (const int clients : {1, 20, 200}) {
        for (const int processes : {10, 300, 3000}) {
            SCOPED_TRACE(std::to_string(clients) + " clients, " + std::to_string(processes) + " processes");
            resetSession();
            clearOutput();
            sim::setWorld(desktopWithClients(clients, processes, Activity::idle));
            const TickReads idle = readsOfOneTick();
            EXPECT_EQ(idle.lists, (QueryCounts{0, 0, 0})) << "idle";
            EXPECT_EQ(listReads(idle.hal), processList) << "idle";
            EXPECT_EQ(idle.records, helpers) << "idle";
            expectEachPropertyReadOnce(idle, "idle");
            EXPECT_FALSE(micWasActive);

            sim::setWorld(desktopWithClients(clients, processes, Activity::detecting));
            for (int tick = 0; tick < 2; ++tick) {
                const TickReads detecting = readsOfOneTick();
                EXPECT_EQ(detecting.lists, (QueryCounts{1, 1, 1})) << "detecting";
                EXPECT_EQ(listReads(detecting.hal), processList) << "detecting";
                EXPECT_EQ(detecting.records, helpersAndRecorder) << "detecting";
                expectEachPropertyReadOnce(detecting, "detecting");
            }
            EXPECT_TRUE(micWasActive && !emittedForCurrentSession) << "detection kept running";

            sim::setWorld(desktopWithClients(clients, processes, Activity::tracking));
            pollTick();
            const std::string chromeMeeting =
                R"({"event":"mic-active","app":"Google Chrome","pid":710,"title":"Meet - abc-defg-hij"})";
            ASSERT_EQ(outputLines(), std::vector<std::string>{chromeMeeting});
            const TickReads tracking = readsOfOneTick();
            EXPECT_TRUE(emittedForCurrentSession) << "the tracked meeting goes on";
            EXPECT_EQ(tracking.lists, (QueryCounts{0, 0, 0})) << "tracking";
            EXPECT_EQ(listReads(tracking.hal), processList) << "tracking";
            EXPECT_EQ(tracking.records, helpersAndRenderer) << "tracking";
            expectEachPropertyReadOnce(tracking, "tracking");
        }
    }
}

}  // namespace
}  // namespace observer::testing
