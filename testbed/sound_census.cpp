#include "testbed/sound_census.h"

#include <pulse/context.h>
#include <pulse/introspect.h>
#include <pulse/mainloop.h>

#include <algorithm>
#include <memory>

namespace testbed {
namespace {

struct Count {
    std::size_t items = 0;
    bool done = false;
    bool failed = false;
};

template <typename Info>
void onItem(pa_context*, const Info*, int eol, void* data) {
    auto& count = *static_cast<Count*>(data);
    if (eol == 0) {
        ++count.items;
        return;
    }
    count.failed = eol < 0;
    count.done = true;
}

// Connects to the server at `address`, calls `ask` once the connection is ready and runs
// the loop until `answered` holds or the time is up; false when it did not answer.
template <typename Ask, typename Answered>
bool askServer(const std::string& address, std::chrono::milliseconds timeout, Ask ask, Answered answered) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    std::unique_ptr<pa_mainloop, decltype(&pa_mainloop_free)> loop(pa_mainloop_new(), pa_mainloop_free);
    if (!loop) return false;
    std::unique_ptr<pa_context, decltype(&pa_context_unref)> context(
        pa_context_new(pa_mainloop_get_api(loop.get()), "census"), pa_context_unref);
    if (!context || pa_context_connect(context.get(), address.c_str(), PA_CONTEXT_NOAUTOSPAWN, nullptr) < 0)
        return false;
    bool asked = false;
    while (!answered()) {
        const auto state = pa_context_get_state(context.get());
        if (!PA_CONTEXT_IS_GOOD(state) || std::chrono::steady_clock::now() >= deadline) break;
        if (state == PA_CONTEXT_READY && !asked) {
            asked = true;
            ask(context.get());
        }
        const auto left = std::chrono::duration_cast<std::chrono::microseconds>(deadline - std::chrono::steady_clock::now());
        if (pa_mainloop_prepare(loop.get(), static_cast<int>(std::max<long>(left.count(), 0))) < 0 ||
            pa_mainloop_poll(loop.get()) < 0 || pa_mainloop_dispatch(loop.get()) < 0)
            break;
    }
    pa_context_disconnect(context.get());
    return answered();
}

}  // namespace

std::optional<SoundCensus> takeSoundCensus(const std::string& address, std::chrono::milliseconds timeout) {
    Count clients;
    Count outputs;
    const bool answered = askServer(
        address, timeout,
        [&](pa_context* context) {
            if (auto* list = pa_context_get_client_info_list(context, onItem<pa_client_info>, &clients))
                pa_operation_unref(list);
            if (auto* list = pa_context_get_source_output_info_list(context, onItem<pa_source_output_info>, &outputs))
                pa_operation_unref(list);
        },
        [&] { return clients.done && outputs.done; });
    if (!answered || clients.failed || outputs.failed || clients.items == 0) return std::nullopt;
    return SoundCensus{clients.items - 1, outputs.items};
}

std::optional<std::string> defaultSource(const std::string& address, std::chrono::milliseconds timeout) {
    std::optional<std::string> name;
    bool done = false;
    struct Answer {
        std::optional<std::string>* name;
        bool* done;
    } answer{&name, &done};
    askServer(
        address, timeout,
        [&](pa_context* context) {
            auto* request = pa_context_get_server_info(
                context,
                [](pa_context*, const pa_server_info* info, void* data) {
                    auto* got = static_cast<Answer*>(data);
                    if (info != nullptr && info->default_source_name != nullptr) *got->name = info->default_source_name;
                    *got->done = true;
                },
                &answer);
            if (request != nullptr) pa_operation_unref(request);
        },
        [&] { return done; });
    return name;
}

}  // namespace testbed
