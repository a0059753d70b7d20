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

}  // namespace

std::optional<SoundCensus> takeSoundCensus(const std::string& address, std::chrono::milliseconds timeout) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    std::unique_ptr<pa_mainloop, decltype(&pa_mainloop_free)> loop(pa_mainloop_new(), pa_mainloop_free);
    if (!loop) return std::nullopt;
    std::unique_ptr<pa_context, decltype(&pa_context_unref)> context(
        pa_context_new(pa_mainloop_get_api(loop.get()), "census"), pa_context_unref);
    if (!context || pa_context_connect(context.get(), address.c_str(), PA_CONTEXT_NOAUTOSPAWN, nullptr) < 0)
        return std::nullopt;

    Count clients;
    Count outputs;
    bool asked = false;
    while (!(clients.done && outputs.done)) {
        const auto state = pa_context_get_state(context.get());
        if (!PA_CONTEXT_IS_GOOD(state) || std::chrono::steady_clock::now() >= deadline) break;
        if (state == PA_CONTEXT_READY && !asked) {
            asked = true;
            if (auto* list = pa_context_get_client_info_list(context.get(), onItem<pa_client_info>, &clients))
                pa_operation_unref(list);
            if (auto* list = pa_context_get_source_output_info_list(context.get(), onItem<pa_source_output_info>,
                                                                    &outputs))
                pa_operation_unref(list);
        }
        const auto left = std::chrono::duration_cast<std::chrono::microseconds>(deadline - std::chrono::steady_clock::now());
        if (pa_mainloop_prepare(loop.get(), static_cast<int>(std::max<long>(left.count(), 0))) < 0 ||
            pa_mainloop_poll(loop.get()) < 0 || pa_mainloop_dispatch(loop.get()) < 0)
            break;
    }
    pa_context_disconnect(context.get());
    if (!clients.done || !outputs.done || clients.failed || outputs.failed || clients.items == 0) return std::nullopt;
    return SoundCensus{clients.items - 1, outputs.items};
}

}  // namespace testbed
