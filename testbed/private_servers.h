// Private instances of the servers that the Linux backend talks to, one set per test:
// an X server on a free display, a window manager on it, and a sound server with a
// virtual microphone "mic0" and a null sink "spk0" (sound_servers.h). Each lives in the
// test's own temporary directory and is stopped when its handle goes away.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "testbed/child_process.h"
#include "testbed/sound_servers.h"

namespace testbed {

class TemporaryDirectory {
public:
    TemporaryDirectory();
    ~TemporaryDirectory();
    TemporaryDirectory(const TemporaryDirectory&) = delete;
    TemporaryDirectory& operator=(const TemporaryDirectory&) = delete;
    const std::string& path() const { return path_; }

private:
    std::string path_;
};

struct XServer {
    Child process;
    std::string display;  // ":N"
};
// Nothing when Xvfb did not come up in time. `display` asks for that display again
// (after its server was stopped); by default a free one is drawn at random. `options`
// go to Xvfb as they are.
std::unique_ptr<XServer> startXServer(const std::string& directory, const std::string& display = "",
                                      const std::vector<std::string>& options = {});

// Returns once the manager has claimed the display.
std::unique_ptr<Child> startWindowManager(const std::string& display, const std::string& directory);

}  // namespace testbed
