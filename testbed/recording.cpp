// Recording through libpulse's simple API. Nobody reads the samples: the server keeps
// the stream running and drops what overflows, which is all the tests need.
#include "testbed/recording.h"

#include <pulse/simple.h>

namespace testbed {

Recording::~Recording() {
    stop();
}

bool Recording::start(const std::string& source) {
    stop();
    const pa_sample_spec format{PA_SAMPLE_S16LE, 16000, 1};
    stream_ = pa_simple_new(nullptr, "meeting_actor", PA_STREAM_RECORD, source.empty() ? nullptr : source.c_str(),
                            "microphone", &format, nullptr, nullptr, nullptr);
    return stream_ != nullptr;
}

void Recording::stop() {
    if (stream_ != nullptr) pa_simple_free(stream_);
    stream_ = nullptr;
}

}  // namespace testbed
