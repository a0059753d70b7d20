#include "bench/world/world_clients.h"

#include <fcntl.h>
#include <poll.h>
#include <pulse/context.h>
#include <pulse/mainloop.h>
#include <pulse/stream.h>
#include <sys/socket.h>
#include <sys/wait.h>

#include <cstdint>
#include <cstdlib>
#include <utility>
#include <vector>

namespace bench::world {
namespace {

std::string windowTitle(const WindowSet& windows, int number, int edit) {
    std::string title = windows.document;
    title += ' ';
    title += std::to_string(number);
    if (edit > 0) {
        title += " (edit ";
        title += std::to_string(edit);
        title += ')';
    }
    title += " - ";
    title += windows.className;
    return title;
}

// Runs in the owner's process: makes the windows, says so on `channel`, then retitles
// one window for each byte that arrives there.
void showWindows(const std::string& display, const WindowSet& windows, int channel) {
    xcb_connection_t* x = xcb_connect(display.c_str(), nullptr);
    if (xcb_connection_has_error(x) != 0) return;
    const xcb_screen_t* screen = xcb_setup_roots_iterator(xcb_get_setup(x)).data;
    const xcb_atom_t netName = internAtom(x, "_NET_WM_NAME");
    const xcb_atom_t utf8 = internAtom(x, "UTF8_STRING");
    const xcb_atom_t netPid = internAtom(x, "_NET_WM_PID");
    const std::uint32_t pid = static_cast<std::uint32_t>(::getpid());
    std::string windowClass = windows.instance;
    windowClass += '\0';
    windowClass += windows.className;
    windowClass += '\0';
    auto setTitle = [&](xcb_window_t window, const std::string& title) {
        const auto length = static_cast<std::uint32_t>(title.size());
        xcb_change_property(x, XCB_PROP_MODE_REPLACE, window, netName, utf8, 8, length, title.data());
        xcb_change_property(x, XCB_PROP_MODE_REPLACE, window, XCB_ATOM_WM_NAME, XCB_ATOM_STRING, 8, length,
                            title.data());
    };
    std::vector<xcb_window_t> shown;
    for (int i = 0; i < windows.count; ++i) {
        const xcb_window_t window = xcb_generate_id(x);
        xcb_create_window(x, XCB_COPY_FROM_PARENT, window, screen->root, 0, 0, 200, 100, 0,
                          XCB_WINDOW_CLASS_INPUT_OUTPUT, screen->root_visual, 0, nullptr);
        setTitle(window, windowTitle(windows, windows.first + i, 0));
        xcb_change_property(x, XCB_PROP_MODE_REPLACE, window, XCB_ATOM_WM_CLASS, XCB_ATOM_STRING, 8,
                            static_cast<std::uint32_t>(windowClass.size()), windowClass.data());
        xcb_change_property(x, XCB_PROP_MODE_REPLACE, window, netPid, XCB_ATOM_CARDINAL, 32, 1, &pid);
        xcb_map_window(x, window);
        shown.push_back(window);
    }
    std::free(xcb_get_input_focus_reply(x, xcb_get_input_focus(x), nullptr));  // all of it done
    (void)::write(channel, "x", 1);
    char request;
    for (int edits = 1; !shown.empty() && ::read(channel, &request, 1) == 1; ++edits) {
        const auto index = static_cast<std::size_t>(edits - 1) % shown.size();
        setTitle(shown[index], windowTitle(windows, windows.first + static_cast<int>(index), edits));
        xcb_flush(x);
    }
}

}  // namespace

ForkedChild recorderAtDepth(const std::string& program, const std::string& source, int depth) {
    return forkChild([&] {
        for (int level = 1; level < depth; ++level) {
            const pid_t parent = ::getpid();
            const pid_t child = ::fork();
            if (child != 0) {
                if (child > 0) ::waitpid(child, nullptr, 0);
                return;
            }
            ::prctl(PR_SET_PDEATHSIG, SIGKILL);
            if (::getppid() != parent) ::_exit(1);
        }
        // The recording goes nowhere: pacat writes it to standard output.
        const int nothing = ::open("/dev/null", O_WRONLY | O_CLOEXEC);
        if (nothing < 0 || ::dup2(nothing, STDOUT_FILENO) < 0) ::_exit(1);
        ::execl(program.c_str(), program.c_str(), "--record", "-d", source.c_str(), static_cast<char*>(nullptr));
    });
}

ForkedChild::ForkedChild(ForkedChild&& other) noexcept : pid_(std::exchange(other.pid_, -1)) {}

ForkedChild& ForkedChild::operator=(ForkedChild&& other) noexcept {
    if (this != &other) {
        end();
        pid_ = std::exchange(other.pid_, -1);
    }
    return *this;
}

ForkedChild::~ForkedChild() {
    end();
}

void ForkedChild::end() {
    if (pid_ <= 0) return;
    ::kill(pid_, SIGKILL);
    ::waitpid(pid_, nullptr, 0);
    pid_ = -1;
}

ForkedChild runThisProgram(const std::vector<std::string>& arguments) {
    return forkChild([&] {
        std::vector<char*> argv{const_cast<char*>("bench")};
        for (const std::string& argument : arguments) argv.push_back(const_cast<char*>(argument.c_str()));
        argv.push_back(nullptr);
        ::execv("/proc/self/exe", argv.data());
    });
}

namespace {

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

}  // namespace

bool runCorkedRecorderRole(int argc, char** argv) {
    if (argc != 2 || std::string_view(argv[1]) != corkedRecorderRole) return false;
    corkedRecorder();
    return true;
}

xcb_atom_t internAtom(xcb_connection_t* x, std::string_view name) {
    auto* reply = xcb_intern_atom_reply(
        x, xcb_intern_atom(x, 0, static_cast<std::uint16_t>(name.size()), name.data()), nullptr);
    const xcb_atom_t atom = reply != nullptr ? reply->atom : 0;
    std::free(reply);
    return atom;
}

WindowOwner::WindowOwner(const std::string& display, const WindowSet& windows) {
    int ends[2];
    if (::socketpair(AF_UNIX, SOCK_STREAM, 0, ends) != 0) return;
    process_ = forkChild([&] {
        ::close(ends[0]);
        showWindows(display, windows, ends[1]);
    });
    ::close(ends[1]);
    channel_ = ends[0];
}

WindowOwner::~WindowOwner() {
    if (channel_ >= 0) ::close(channel_);
}

bool WindowOwner::ready(std::chrono::milliseconds timeout) {
    pollfd watched{channel_, POLLIN, 0};
    char byte = 0;
    return channel_ >= 0 && ::poll(&watched, 1, static_cast<int>(timeout.count())) == 1 &&
           ::read(channel_, &byte, 1) == 1;
}

bool WindowOwner::retitleNext() {
    return channel_ >= 0 && ::send(channel_, "t", 1, MSG_DONTWAIT | MSG_NOSIGNAL) == 1;
}

}  // namespace bench::world
