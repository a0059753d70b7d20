// Starting Xvfb and openbox, and waiting until each is ready, so that a test never races
// a server that is still starting.
#include "testbed/private_servers.h"

#include "testbed/test_window.h"

#include <fcntl.h>
#include <poll.h>
#include <stdlib.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>
#include <xcb/xcb.h>

#include <cstring>
#include <filesystem>
#include <random>
#include <string_view>

namespace testbed {
namespace {

using namespace std::chrono_literals;

bool managerClaims(const std::string& display) {
    xcb_connection_t* connection = xcb_connect(display.c_str(), nullptr);
    bool claimed = false;
    if (xcb_connection_has_error(connection) == 0) {
        const xcb_window_t root = xcb_setup_roots_iterator(xcb_get_setup(connection)).data->root;
        const char name[] = "_NET_SUPPORTING_WM_CHECK";
        xcb_intern_atom_reply_t* atom =
            xcb_intern_atom_reply(connection, xcb_intern_atom(connection, 0, sizeof name - 1, name), nullptr);
        if (atom != nullptr) {
            xcb_get_property_reply_t* reply = xcb_get_property_reply(
                connection, xcb_get_property(connection, 0, root, atom->atom, XCB_ATOM_WINDOW, 0, 1), nullptr);
            claimed = reply != nullptr && xcb_get_property_value_length(reply) == 4;
            free(reply);
        }
        free(atom);
    }
    xcb_disconnect(connection);
    return claimed;
}

// ":" followed by the display number. Appending to ":" rather than writing
// ":" + number also keeps clear of GCC 12's false -Wrestrict report at -O3 on
// inserting a literal in front of a temporary string.
std::string displayName(std::string_view number) {
    std::string name(1, ':');
    name += number;
    return name;
}

// Xvfb writes the display number to descriptor 3 once it accepts clients, and exits
// without writing when the display is taken. Without -noreset it would reset whenever
// its last client leaves, under a starting window manager.
std::unique_ptr<XServer> startXServerOn(const std::string& directory, const std::string& display,
                                        const std::vector<std::string>& options) {
    int ready[2];
    if (::pipe2(ready, O_CLOEXEC) != 0) return nullptr;
    auto server = std::make_unique<XServer>();
    Launch launch;
    launch.arguments = {"Xvfb", display, "-displayfd", "3", "-noreset", "-nolisten", "tcp", "-screen", "0", "1024x768x24"};
    launch.arguments.insert(launch.arguments.end(), options.begin(), options.end());
    launch.error = Stream::file(directory + "/xvfb.log");
    launch.descriptorAsThree = ready[1];
    server->process = Child(launch);
    ::close(ready[1]);
    std::string number;
    pollfd watched{ready[0], POLLIN, 0};
    while (::poll(&watched, 1, 10'000) > 0) {
        char buffer[16];
        const ssize_t got = ::read(ready[0], buffer, sizeof buffer);
        if (got <= 0) break;
        number.append(buffer, static_cast<std::size_t>(got));
        if (number.find('\n') != std::string::npos) break;
    }
    ::close(ready[0]);
    if (number.empty() || number.find('\n') == std::string::npos) return nullptr;
    server->display = displayName(std::string_view(number).substr(0, number.find('\n')));
    return server;
}

}  // namespace

TemporaryDirectory::TemporaryDirectory() {
    std::string pattern = (std::filesystem::temp_directory_path() / "quorvel-test-XXXXXX").string();
    if (::mkdtemp(pattern.data()) != nullptr) path_ = pattern;
}

TemporaryDirectory::~TemporaryDirectory() {
    std::error_code ignored;
    if (!path_.empty()) std::filesystem::remove_all(path_, ignored);
}

std::unique_ptr<XServer> startXServer(const std::string& directory, const std::string& display,
                                      const std::vector<std::string>& options) {
    // Displays are drawn at random from a wide range rather than taken lowest-free, so
    // that a display whose server a test stopped is not soon picked up by a test
    // running beside it.
    static std::mt19937 draw(std::random_device{}());
    std::uniform_int_distribution<int> numbers(100, 30000);
    for (int attempt = 0; attempt < 5; ++attempt) {
        const std::string wanted = display.empty() ? displayName(std::to_string(numbers(draw))) : display;
        if (auto server = startXServerOn(directory, wanted, options)) return server;
        if (!display.empty()) break;
    }
    return nullptr;
}

std::unique_ptr<Child> startWindowManager(const std::string& display, const std::string& directory) {
    Launch launch;
    launch.arguments = {"openbox", "--sm-disable"};
    // The manager finds its theme and settings through the XDG directories, which a test
    // may have pointed elsewhere for the observer.
    launch.environment = {{"DISPLAY", display},
                          {"HOME", directory},
                          {"XDG_DATA_HOME", directory + "/share"},
                          {"XDG_CONFIG_HOME", directory + "/config"},
                          {"XDG_DATA_DIRS", "/usr/local/share:/usr/share"},
                          {"XDG_CONFIG_DIRS", "/etc/xdg"}};
    launch.error = Stream::file(directory + "/openbox.log");
    auto manager = std::make_unique<Child>(launch);
    if (!eventually([&] { return managerClaims(display); }, 10s)) return nullptr;
    // The manager claims the display before it takes on new windows: a window mapped in
    // between would stay unmanaged. A probe window that gets managed shows it is ready.
    for (int attempt = 0; attempt < 20; ++attempt) {
        TestWindow probe(display, "probe", "Probe");
        probe.map();
        if (eventually([&] { return probe.managed(); }, 500ms)) return manager;
    }
    return nullptr;
}

}  // namespace testbed
