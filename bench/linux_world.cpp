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
// Usage: linux_world [--seconds N] [--quorvel PATH] [--compare PATH] [--worlds sound|windows|all]
// --compare measures a second quorvel build in each world too, in a phase of its own,
// and prints its row below the first.
// Figures are printed, never checked: they depend on the machine and its load.
#include <dirent.h>
#include <pulse/context.h>
#include <pulse/introspect.h>
#include <pulse/mainloop.h>
#include <pulse/stream.h>
#include <signal.h>
#include <sys/prctl.h>
#include <unistd.h>
#include <xcb/xcb.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "observer/platform/linux/tests/support/actor.h"
#include "observer/platform/linux/tests/support/private_servers.h"

namespace {

using namespace observer::platform::testing;
using namespace std::chrono_literals;

struct World {
    const char* name;
    int soundClients;  // all of them, the recording one included
    int windows;
    enum { meeting, foreignRecording, idle } activity;
};

const World soundWorlds[] = {
    {"10 sound clients, session tracked", 10, 10, World::meeting},
    {"30 sound clients, session tracked", 30, 10, World::meeting},
    {"60 sound clients, session tracked", 60, 10, World::meeting},
};
const World windowWorlds[] = {
    {"10 windows, microphone used by no meeting app", 1, 10, World::foreignRecording},
    {"100 windows, microphone used by no meeting app", 1, 100, World::foreignRecording},
    {"500 windows, microphone used by no meeting app", 1, 500, World::foreignRecording},
    {"idle, nothing records", 0, 10, World::idle},
};

double cpuSeconds(pid_t pid) {
    const std::string tasks = "/proc/" + std::to_string(pid) + "/task";
    DIR* directory = ::opendir(tasks.c_str());
    if (directory == nullptr) return 0;
    double total = 0;
    while (const dirent* entry = ::readdir(directory)) {
        if (entry->d_name[0] == '.') continue;
        std::ifstream schedstat(tasks + "/" + entry->d_name + "/schedstat");
        double nanoseconds = 0;
        if (schedstat >> nanoseconds) total += nanoseconds / 1e9;
    }
    ::closedir(directory);
    return total;
}

long residentKilobytes(pid_t pid) {
    std::ifstream status("/proc/" + std::to_string(pid) + "/status");
    std::string line;
    while (std::getline(status, line))
        if (line.rfind("VmRSS:", 0) == 0) return std::atol(line.c_str() + 6);
    return 0;
}

// The child of `parent` running `command`, once it exists.
pid_t childNamed(pid_t parent, const std::string& command) {
    pid_t found = -1;
    eventually(
        [&] {
            DIR* proc = ::opendir("/proc");
            while (const dirent* entry = ::readdir(proc)) {
                const pid_t pid = std::atoi(entry->d_name);
                if (pid <= 0) continue;
                const std::string stat = readFile("/proc/" + std::to_string(pid) + "/stat");
                const auto close = stat.rfind(')');
                const auto open = stat.find('(');
                if (close == std::string::npos || open == std::string::npos) continue;
                if (stat.substr(open + 1, close - open - 1) != command) continue;
                if (std::atoi(stat.c_str() + close + 4) == parent) found = pid;
            }
            ::closedir(proc);
            return found > 0;
        },
        5s);
    return found;
}

// A forked child that dies with this program and never returns.
template <typename Body>
pid_t forkChild(Body body) {
    const pid_t parent = ::getpid();
    const pid_t child = ::fork();
    if (child != 0) return child;
    ::prctl(PR_SET_PDEATHSIG, SIGKILL);
    if (::getppid() != parent) ::_exit(1);
    body();
    ::_exit(0);
}

// A client with a record stream that it keeps corked. This program itself never uses
// libpulse, so its forked children may.
void corkedRecorder() {
    pa_mainloop* loop = pa_mainloop_new();
    pa_context* context = pa_context_new(pa_mainloop_get_api(loop), "corked recorder");
    if (pa_context_connect(context, nullptr, PA_CONTEXT_NOAUTOSPAWN, nullptr) < 0) return;
    while (pa_context_get_state(context) != PA_CONTEXT_READY)
        if (!PA_CONTEXT_IS_GOOD(pa_context_get_state(context)) || pa_mainloop_iterate(loop, 1, nullptr) < 0) return;
    const pa_sample_spec format{PA_SAMPLE_S16LE, 16000, 1};
    pa_stream* stream = pa_stream_new(context, "corked", &format, nullptr);
    pa_stream_connect_record(stream, "mic0", nullptr, PA_STREAM_START_CORKED);
    pa_mainloop_run(loop, nullptr);
}

// Ten windows on one connection, as one application process would have them.
void windowMaker(const std::string& display, int count, int first, int ready) {
    xcb_connection_t* x = xcb_connect(display.c_str(), nullptr);
    const xcb_screen_t* screen = xcb_setup_roots_iterator(xcb_get_setup(x)).data;
    auto intern = [&](const char* name) {
        auto* reply = xcb_intern_atom_reply(x, xcb_intern_atom(x, 0, std::strlen(name), name), nullptr);
        const xcb_atom_t atom = reply != nullptr ? reply->atom : 0;
        std::free(reply);
        return atom;
    };
    const xcb_atom_t netName = intern("_NET_WM_NAME");
    const xcb_atom_t utf8 = intern("UTF8_STRING");
    const xcb_atom_t netPid = intern("_NET_WM_PID");
    const std::uint32_t pid = static_cast<std::uint32_t>(::getpid());
    static constexpr char windowClass[] = "editor\0Editor";
    for (int i = 0; i < count; ++i) {
        const xcb_window_t window = xcb_generate_id(x);
        xcb_create_window(x, XCB_COPY_FROM_PARENT, window, screen->root, 0, 0, 200, 100, 0,
                          XCB_WINDOW_CLASS_INPUT_OUTPUT, screen->root_visual, 0, nullptr);
        const std::string title = "Document " + std::to_string(first + i) + " - Editor";
        const auto length = static_cast<std::uint32_t>(title.size());
        xcb_change_property(x, XCB_PROP_MODE_REPLACE, window, netName, utf8, 8, length, title.data());
        xcb_change_property(x, XCB_PROP_MODE_REPLACE, window, XCB_ATOM_WM_NAME, XCB_ATOM_STRING, 8, length,
                            title.data());
        xcb_change_property(x, XCB_PROP_MODE_REPLACE, window, XCB_ATOM_WM_CLASS, XCB_ATOM_STRING, 8,
                            sizeof windowClass, windowClass);
        xcb_change_property(x, XCB_PROP_MODE_REPLACE, window, netPid, XCB_ATOM_CARDINAL, 32, 1, &pid);
        xcb_map_window(x, window);
    }
    std::free(xcb_get_input_focus_reply(x, xcb_get_input_focus(x), nullptr));  // all of it done
    (void)::write(ready, "x", 1);
    for (;;) ::pause();
}

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
    auto intern = [&](const char* name) {
        auto* reply = xcb_intern_atom_reply(x, xcb_intern_atom(x, 0, std::strlen(name), name), nullptr);
        const xcb_atom_t atom = reply != nullptr ? reply->atom : 0;
        std::free(reply);
        return atom;
    };
    const xcb_atom_t clientList = intern("_NET_CLIENT_LIST");
    const xcb_atom_t activeWindow = intern("_NET_ACTIVE_WINDOW");
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
        const std::string& dir = directory_.path();
        x_ = startXServer(dir);
        if (!x_) return false;
        manager_ = startWindowManager(x_->display, dir);
        sound_ = startSoundServer(dir);
        if (!manager_ || !sound_) return false;
        ::setenv("PULSE_SERVER", sound_->address.c_str(), 1);
        ::setenv("DISPLAY", x_->display.c_str(), 1);
        std::filesystem::create_directories(dir + "/data/applications");
        std::ofstream(dir + "/data/applications/us.zoom.Zoom.desktop")
            << "[Desktop Entry]\nType=Application\nName=Zoom\nStartupWMClass=zoom\n";

        int background = world_.soundClients;
        if (world_.activity == World::meeting) {
            meeting_ = startActor(dir, "meeting_actor", environment());
            if (!meeting_ || !meeting_->command("window zoom zoom Zoom Meeting") || !meeting_->command("activate") ||
                !meeting_->command("record mic0"))
                return false;
            --background;
        }
        if (world_.activity == World::foreignRecording) {
            processes_.emplace_back(recorder("mic0"));
            --background;
        }
        for (int i = 0; i < background; ++i) {
            if (i % 3 == 2) {
                pids_.push_back(forkChild(corkedRecorder));
            } else {
                processes_.emplace_back(recorder(i % 3 == 0 ? "mic0" : "spk0.monitor"));
            }
        }

        int ready[2];
        if (::pipe(ready) != 0) return false;
        const int perProcess = 10;
        const int windows = world_.windows - (world_.activity == World::meeting ? 1 : 0);
        int makers = 0;
        for (int first = 0; first < windows; first += perProcess, ++makers) {
            const int count = std::min(perProcess, windows - first);
            pids_.push_back(forkChild([&] { windowMaker(x_->display, count, first, ready[1]); }));
        }
        for (int i = 0; i < makers; ++i) {
            char byte;
            if (::read(ready[0], &byte, 1) != 1) return false;
        }
        ::close(ready[0]);
        ::close(ready[1]);
        if (meeting_ && !meeting_->command("activate")) return false;
        // The manager takes a while over hundreds of new windows: the servers settle
        // before anything is measured.
        for (int second = 0; second < 90; ++second) {
            const double before = cpuSeconds(x_->process.pid()) + cpuSeconds(manager_->pid());
            std::this_thread::sleep_for(1s);
            if (cpuSeconds(x_->process.pid()) + cpuSeconds(manager_->pid()) - before < 0.01) break;
        }
        std::this_thread::sleep_for(2s);
        return true;
    }

    ~WorldRun() {
        for (const pid_t pid : pids_) ::kill(pid, SIGKILL);
    }

    Costs measure(std::chrono::seconds length, pid_t watcher) {
        Costs costs;
        const double watcherBefore = watcher > 0 ? cpuSeconds(watcher) : 0;
        const double soundBefore = cpuSeconds(sound_->process.pid());
        const double xBefore = cpuSeconds(x_->process.pid());
        std::this_thread::sleep_for(length);
        if (watcher > 0) {
            costs.watcherSeconds = cpuSeconds(watcher) - watcherBefore;
            costs.residentKilobytes = residentKilobytes(watcher);
        }
        costs.soundServerSeconds = cpuSeconds(sound_->process.pid()) - soundBefore;
        costs.xServerSeconds = cpuSeconds(x_->process.pid()) - xBefore;
        return costs;
    }

    // quorvel under a host of its own, so that the world's processes are not the host's.
    Costs measureQuorvel(const std::string& quorvel, std::chrono::seconds length) {
        const std::string& dir = directory_.path();
        auto host = startActor(dir, "quorvel_host", environment());
        if (!host || !host->command("host " + quorvel + " " + dir + "/events " + dir + "/log")) return {};
        const pid_t observer = childNamed(host->pid, std::filesystem::path(quorvel).filename().string());
        std::this_thread::sleep_for(3s);  // startup and the first ticks
        return measure(length, observer);
    }

    Costs measureBare(std::chrono::seconds length) {
        const std::string display = x_->display;
        const pid_t bare = forkChild([&] { bareQueries(display); });
        std::this_thread::sleep_for(2s);
        const Costs costs = measure(length, bare);
        ::kill(bare, SIGKILL);
        return costs;
    }

    std::string log() const { return readFile(directory_.path() + "/log"); }

private:
    Launch recorder(const std::string& source) const {
        Launch launch;
        launch.arguments = {"parec", "-d", source};
        launch.environment = environment();
        return launch;
    }

    std::vector<std::pair<std::string, std::string>> environment() const {
        const std::string& dir = directory_.path();
        return {{"DISPLAY", x_->display},
                {"PULSE_SERVER", sound_->address},
                {"HOME", dir},
                {"XDG_DATA_HOME", dir + "/data-home"},
                {"XDG_DATA_DIRS", dir + "/data"}};
    }

    World world_;
    TemporaryDirectory directory_;
    std::unique_ptr<XServer> x_;
    std::unique_ptr<Child> manager_;
    std::unique_ptr<SoundServer> sound_;
    std::unique_ptr<Actor> meeting_;
    std::vector<Child> processes_;
    std::vector<pid_t> pids_;
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
            std::fprintf(stderr, "usage: linux_world [--seconds N] [--quorvel PATH] [--compare PATH] [--worlds sound|windows|all]\n");
            return 2;
        }
    }
    if (argc % 2 == 0) {
        std::fprintf(stderr, "usage: linux_world [--seconds N] [--quorvel PATH] [--compare PATH] [--worlds sound|windows|all]\n");
        return 2;
    }
    std::printf("%lld s per phase; CPU per tick of quorvel and of the bare queries, their ratio, the servers' added "
                "CPU, quorvel's resident memory\n\n",
                static_cast<long long>(length.count()));
    std::printf("| world | quorvel per tick | bare per tick | ratio | PulseAudio +quorvel | PulseAudio +bare | Xvfb "
                "+quorvel | Xvfb +bare | quorvel RSS |\n|---|---|---|---|---|---|---|---|---|\n");
    if (worlds == "all" || worlds == "sound")
        for (const World& world : soundWorlds) run(world, quorvel, compared, length);
    if (worlds == "all" || worlds == "windows")
        for (const World& world : windowWorlds) run(world, quorvel, compared, length);
    return 0;
}
