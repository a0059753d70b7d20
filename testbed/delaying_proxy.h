// A unix-socket relay that hands every byte a server sends on to its client a fixed
// time late, as a server busy with other work would: for showing that nothing waits
// for replies that are not needed.
#pragma once

#include <atomic>
#include <chrono>
#include <string>
#include <thread>

namespace testbed {

class DelayingProxy {
public:
    // Listens on `path` and relays each connection to the socket at `serverPath`.
    DelayingProxy(std::string path, std::string serverPath, std::chrono::milliseconds delay);
    ~DelayingProxy();
    DelayingProxy(const DelayingProxy&) = delete;
    DelayingProxy& operator=(const DelayingProxy&) = delete;

    bool listening() const { return listener_ >= 0; }

private:
    void run();

    std::string serverPath_;
    std::chrono::milliseconds delay_;
    int listener_ = -1;
    int wake_[2] = {-1, -1};
    std::thread thread_;
};

}  // namespace testbed
