// linux_world: what the real quorvel costs on a busy Linux desktop, next to a program
// that makes only the bare queries an observer cannot do without (each second one
// client list and one source-output list from the sound server, one _NET_CLIENT_LIST and
// one _NET_ACTIVE_WINDOW read from the X server), measured side by side in one run.
//
// Each world gets private servers (Xvfb, openbox, PulseAudio with a virtual microphone),
// sound clients from many processes (some recording the microphone, some a monitor,
// some corked) and windows from many processes (ten per process). Three phases follow,
// each of the same length: nothing watching, quorvel watching (started by a host process
// of its own, as a desktop application would), and the bare program watching. CPU time
// comes from /proc/PID/task/*/schedstat (nanoseconds, all threads); a server's added CPU
// is its CPU in a phase less its CPU in the phase with nothing watching.
//
// Usage: linux_world [--seconds N] [--quorvel PATH] [--compare PATH] [--worlds sound|processes|windows|host|all]
// --compare measures a second quorvel build in each world too, in a phase of its own,
// and prints its row below the first.
// Figures are printed, never checked: they depend on the machine and its load.
#include <pulse/context.h>
#include <pulse/introspect.h>
#include <pulse/mainloop.h>
#include <unistd.h>
#include <xcb/xcb.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <deque>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "bench/world/private_desktop.h"
#include "bench/world/process_readings.h"
#include "bench/world/world_clients.h"

namespace {

using namespace bench::world;
using namespace testbed;
using namespace std::chrono_literals;

struct World {
    const char* name;
    int soundClients;  // all of them, the recording one included
    int windows;
    // hostRecording: the host that starts quorvel records the microphone itself and in a
    // child, as a host application that records for its own reasons does.
    enum { meeting, foreignRecording, idle, hostRecording } activity;
    // Recorders named as system input services, each at the bottom of a chain of
    // `serviceDepth` processes, started before the meeting: every tick walks each of their
    // parent chains to the top, twice while a session is tracked.
    int services = 0;
    int serviceDepth = 0;
};

const World soundWorlds[] = {
    {"10 sound clients, session tracked", 10, 10, World::meeting},
    {"30 sound clients, session tracked", 30, 10, World::meeting},
    {"60 sound clients, session tracked", 60, 10, World::meeting},
};
const World processWorlds[] = {
    {"60 sound clients, 6 of them system services recording 12 deep, session tracked", 60, 10, World::meeting, 6, 12},
};
const World windowWorlds[] = {
    {"10 windows, microphone used by no meeting app", 1, 10, World::foreignRecording},
    {"100 windows, microphone used by no meeting app", 1, 100, World::foreignRecording},
    {"500 windows, microphone used by no meeting app", 1, 500, World::foreignRecording},
    {"idle, nothing records", 0, 10, World::idle},
};
const World hostWorlds[] = {
    {"100 windows, only the host and its child recording", 0, 100, World::hostRecording},
    {"500 windows, only the host and its child recording", 0, 500, World::hostRecording},
};

constexpr const char* bareQueriesRole = "--bare-queries";
constexpr const char* usage =
    "usage: linux_world [--seconds N] [--quorvel PATH] [--compare PATH] [--worlds sound|processes|windows|host|all]\n";

void countEnd(int eol, void* left) {
    if (eol != 0) --*static_cast<int*>(left);
}

// Each second: one client list and one source-output list, one read of the client list
// and of the active window.
void bareQueries(const std::string& display) {
    pa_mainloop* loop = pa_mainloop_new();
    pa_context* context = pa_context_new(pa_mainloop_get_api(loop), "bare queries");
    if (pa_context_connect(context, nullptr, PA_CONTEXT_NOAUTOSPAWN, nullptr) < 0) return;
    while (pa_context_get_state(context) != PA_CONTEXT_READY)
        if (!PA_CONTEXT_IS_GOOD(pa_context_get_state(context)) || pa_mainloop_iterate(loop, 1, nullptr) < 0) return;
    xcb_connection_t* x = xcb_connect(display.c_str(), nullptr);
    const xcb_window_t root = xcb_setup_roots_iterator(xcb_get_setup(x)).data->root;
    const xcb_atom_t clientList = internAtom(x, "_NET_CLIENT_LIST");
    const xcb_atom_t activeWindow = internAtom(x, "_NET_ACTIVE_WINDOW");
    for (;;) {
        int left = 2;
        pa_operation_unref(pa_context_get_client_info_list(
            context, [](pa_context*, const pa_client_info*, int eol, void* data) { countEnd(eol, data); }, &left));
        pa_operation_unref(pa_context_get_source_output_info_list(
            context, [](pa_context*, const pa_source_output_info*, int eol, void* data) { countEnd(eol, data); },
            &left));
        while (left > 0 && pa_mainloop_iterate(loop, 1, nullptr) >= 0) {
        }
        for (const xcb_atom_t atom : {clientList, activeWindow})
            std::free(xcb_get_property_reply(x, xcb_get_property(x, 0, root, atom, XCB_ATOM_ANY, 0, 4096), nullptr));
        std::this_thread::sleep_for(1s);
    }
}

struct Costs {
    double watcherSeconds = 0;
    double soundServerSeconds = 0;
    double xServerSeconds = 0;
    long residentKilobytes = 0;
};

class WorldRun {
public:
    explicit WorldRun(const World& world) : world_(world) {}

    bool start() {
        if (!desktop_.start()) return false;
        int background = world_.soundClients;
        for (int i = 0; i < world_.services; ++i) {
            const std::string name = serviceLinks_.path() + (i % 2 == 0 ? "/replayd" : "/corespeechd");
            if (i < 2 && ::symlink("/usr/bin/pacat", name.c_str()) != 0) return false;
            soundClients_.emplace_back(std::in_place_type<ForkedChild>, recorderAtDepth(name, "mic0", world_.serviceDepth));
            --background;
        }
        // The services' streams come first in the server's lists.
        if (world_.services > 0) std::this_thread::sleep_for(2s);
        if (world_.activity == World::meeting) {
            meeting_ = desktop_.startMeeting();
            if (!meeting_) return false;
            --background;
        }
        if (world_.activity == World::foreignRecording) {
            soundClients_.emplace_back(std::in_place_type<Child>, desktop_.recorder("mic0"));
            --background;
        }
        for (int i = 0; i < background; ++i) soundClients_.push_back(desktop_.soundClient(i));

        const int perProcess = 10;
        const int windows = world_.windows - (world_.activity == World::meeting ? 1 : 0);
        for (int first = 0; first < windows; first += perProcess) {
            const WindowSet documents{"editor", "Editor", "Document", first, std::min(perProcess, windows - first)};
            windowOwners_.emplace_back(desktop_.display(), documents);
        }
        for (WindowOwner& owner : windowOwners_)
            if (!owner.ready(60s)) return false;
        if (meeting_ && !meeting_->command("activate")) return false;
        desktop_.settle();
        return true;
    }

    Costs measure(std::chrono::seconds length, pid_t watcher) {
        Costs costs;
        const double watcherBefore = watcher > 0 ? cpuSeconds(watcher) : 0;
        const double soundBefore = cpuSeconds(desktop_.soundServerPid());
        const double xBefore = cpuSeconds(desktop_.xServerPid());
        std::this_thread::sleep_for(length);
        if (watcher > 0) {
            costs.watcherSeconds = cpuSeconds(watcher) - watcherBefore;
            costs.residentKilobytes = statusKilobytes(watcher, "VmRSS");
        }
        costs.soundServerSeconds = cpuSeconds(desktop_.soundServerPid()) - soundBefore;
        costs.xServerSeconds = cpuSeconds(desktop_.xServerPid()) - xBefore;
        return costs;
    }

    // quorvel under a host of its own, so that the world's processes are not the host's.
    Costs measureQuorvel(const std::string& quorvel, std::chrono::seconds length) {
        const HostedQuorvel hosted = desktop_.startQuorvel(quorvel);
        if (!hosted.host) return {};
        if (world_.activity == World::hostRecording &&
            (!hosted.host->command("record mic0") || !hosted.host->command("record-child mic0")))
            return {};
        std::this_thread::sleep_for(3s);  // startup and the first ticks
        return measure(length, hosted.pid);
    }

    Costs measureBare(std::chrono::seconds length) {
        const std::string display = desktop_.display();
        const ForkedChild bare = runThisProgram({bareQueriesRole, display});
        std::this_thread::sleep_for(2s);
        return measure(length, bare.pid());
    }

private:
    World world_;
    PrivateDesktop desktop_;
    TemporaryDirectory serviceLinks_;
    std::unique_ptr<Actor> meeting_;
    std::deque<SoundClient> soundClients_;
    std::deque<WindowOwner> windowOwners_;
};

double perMinute(double seconds, std::chrono::seconds length) {
    return seconds * 60.0 / static_cast<double>(length.count());
}

void printRow(const std::string& name, const Costs& nothing, const Costs& observer, const Costs& bare,
              std::chrono::seconds length) {
    const double ticks = static_cast<double>(length.count());
    const double observerPerTick = observer.watcherSeconds / ticks * 1000;
    const double barePerTick = bare.watcherSeconds / ticks * 1000;
    std::printf("| %s | %.2f ms | %.2f ms | %.2fx | %+.2f s/min | %+.2f s/min | %+.2f s/min | %+.2f s/min | %.1f MB |\n",
                name.c_str(), observerPerTick, barePerTick, barePerTick > 0 ? observerPerTick / barePerTick : 0.0,
                perMinute(observer.soundServerSeconds - nothing.soundServerSeconds, length),
                perMinute(bare.soundServerSeconds - nothing.soundServerSeconds, length),
                perMinute(observer.xServerSeconds - nothing.xServerSeconds, length),
                perMinute(bare.xServerSeconds - nothing.xServerSeconds, length),
                static_cast<double>(observer.residentKilobytes) / 1024.0);
    std::fflush(stdout);
}

void run(const World& world, const std::string& quorvel, const std::string& compared, std::chrono::seconds length) {
    WorldRun run(world);
    if (!run.start()) {
        std::printf("| %s | could not be set up |\n", world.name);
        return;
    }
    const Costs nothing = run.measure(length, -1);
    const Costs observer = run.measureQuorvel(quorvel, length);
    const Costs other = compared.empty() ? Costs{} : run.measureQuorvel(compared, length);
    const Costs bare = run.measureBare(length);
    printRow(world.name, nothing, observer, bare, length);
    if (!compared.empty()) printRow(std::string(world.name) + " (compared build)", nothing, other, bare, length);
}

}  // namespace

int main(int argc, char** argv) {
    if (runCorkedRecorderRole(argc, argv)) return 0;
    if (argc == 3 && std::string(argv[1]) == bareQueriesRole) {
        bareQueries(argv[2]);
        return 0;
    }
    std::chrono::seconds length{30};
    std::string quorvel = QUORVEL_PATH;
    std::string worlds = "all";
    std::string compared;
    for (int i = 1; i + 1 < argc; i += 2) {
        const std::string option = argv[i];
        if (option == "--seconds") {
            length = std::chrono::seconds(std::max(1, std::atoi(argv[i + 1])));
        } else if (option == "--quorvel") {
            quorvel = argv[i + 1];
        } else if (option == "--compare") {
            compared = argv[i + 1];
        } else if (option == "--worlds") {
            worlds = argv[i + 1];
        } else {
            std::fputs(usage, stderr);
            return 2;
        }
    }
    if (argc % 2 == 0) {
        std::fputs(usage, stderr);
        return 2;
    }
    std::printf("%lld s per phase; CPU per tick of quorvel and of the bare queries, their ratio, the servers' added "
                "CPU, quorvel's resident memory\n\n",
                static_cast<long long>(length.count()));
    std::printf("| world | quorvel per tick | bare per tick | ratio | PulseAudio +quorvel | PulseAudio +bare | Xvfb "
                "+quorvel | Xvfb +bare | quorvel RSS |\n|---|---|---|---|---|---|---|---|---|\n");
    if (worlds == "all" || worlds == "sound")
        for (const World& world : soundWorlds) run(world, quorvel, compared, length);
    if (worlds == "all" || worlds == "processes")
        for (const World& world : processWorlds) run(world, quorvel, compared, length);
    if (worlds == "all" || worlds == "windows")
        for (const World& world : windowWorlds) run(world, quorvel, compared, length);
    if (worlds == "all" || worlds == "host")
        for (const World& world : hostWorlds) run(world, quorvel, compared, length);
    return 0;
}
