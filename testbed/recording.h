// A recording stream on a sound-server source, as a meeting application opens one.
#pragma once

#include <string>

struct pa_simple;

namespace testbed {

class Recording {
public:
    Recording() = default;
    ~Recording();
    Recording(const Recording&) = delete;
    Recording& operator=(const Recording&) = delete;

    // Returns once the server runs the stream.
    bool start(const std::string& source);
    void stop();

private:
    pa_simple* stream_ = nullptr;
};

}  // namespace testbed
