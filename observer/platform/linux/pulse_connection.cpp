// The sound-server connection over libpulse's plain main loop, driven only inside a
// call, so that quorvel keeps a single thread. Each wait is bounded by a deadline,
// because libpulse's own reply timeout is far longer than one tick.
#include "observer/platform/linux/pulse_connection.h"

#include <pulse/context.h>
#include <pulse/introspect.h>
#include <pulse/mainloop.h>
#include <pulse/operation.h>
#include <pulse/proplist.h>

#include <chrono>
#include <functional>

namespace observer::platform::pulse {
namespace {

using Clock = std::chrono::steady_clock;

constexpr auto connectTimeout = std::chrono::milliseconds(250);
constexpr auto replyTimeout = std::chrono::milliseconds(250);

pa_mainloop* mainLoop = nullptr;
pa_context* context = nullptr;

void dropContext() {
    if (context == nullptr) return;
    pa_context_disconnect(context);
    pa_context_unref(context);
    context = nullptr;
}

// Runs the loop until `done` holds; false when the deadline passes or the connection
// fails first (a failed context cancels its operations without calling them back).
bool runUntil(const std::function<bool()>& done, Clock::time_point deadline) {
    while (!done()) {
        if (!PA_CONTEXT_IS_GOOD(pa_context_get_state(context))) return false;
        const auto left = std::chrono::duration_cast<std::chrono::microseconds>(deadline - Clock::now());
        if (left.count() <= 0) return false;
        if (pa_mainloop_prepare(mainLoop, static_cast<int>(left.count())) < 0) return false;
        if (pa_mainloop_poll(mainLoop) < 0) return false;
        if (pa_mainloop_dispatch(mainLoop) < 0) return false;
    }
    return true;
}

bool ensureConnected() {
    if (mainLoop == nullptr) mainLoop = pa_mainloop_new();
    if (mainLoop == nullptr) return false;
    if (context != nullptr && pa_context_get_state(context) == PA_CONTEXT_READY) return true;
    // A failed context cannot connect again; a fresh one can.
    dropContext();

    pa_proplist* properties = pa_proplist_new();
    pa_proplist_sets(properties, PA_PROP_APPLICATION_NAME, "quorvel");
    context = pa_context_new_with_proplist(pa_mainloop_get_api(mainLoop), "quorvel", properties);
    pa_proplist_free(properties);
    if (context == nullptr) return false;
    if (pa_context_connect(context, nullptr, PA_CONTEXT_NOAUTOSPAWN, nullptr) < 0) {
        dropContext();
        return false;
    }
    const bool ready = runUntil([] { return pa_context_get_state(context) == PA_CONTEXT_READY; },
                                Clock::now() + connectTimeout);
    if (!ready) dropContext();
    return ready;
}

std::optional<std::string> property(const pa_proplist* properties, const char* key) {
    const char* value = properties != nullptr ? pa_proplist_gets(properties, key) : nullptr;
    if (value == nullptr) return std::nullopt;
    return std::string(value);
}

// One list request in flight. libpulse calls back once per object, then once more with
// eol > 0 at the end or eol < 0 on error.
struct Request {
    ServerState* state = nullptr;
    bool finished = false;
    bool failed = false;
    pa_operation* operation = nullptr;

    bool settle(int eol) {
        if (eol < 0) failed = true;
        if (eol != 0) finished = true;
        return eol == 0;
    }
};

void onClient(pa_context*, const pa_client_info* info, int eol, void* data) {
    auto& request = *static_cast<Request*>(data);
    if (!request.settle(eol) || info == nullptr) return;
    request.state->clients.push_back(
        {info->index, property(info->proplist, "pipewire.sec.pid"), property(info->proplist, PA_PROP_APPLICATION_PROCESS_ID)});
}

void onSourceOutput(pa_context*, const pa_source_output_info* info, int eol, void* data) {
    auto& request = *static_cast<Request*>(data);
    if (!request.settle(eol) || info == nullptr) return;
    request.state->sourceOutputs.push_back({info->client, info->source, info->corked != 0});
}

void onSource(pa_context*, const pa_source_info* info, int eol, void* data) {
    auto& request = *static_cast<Request*>(data);
    if (!request.settle(eol) || info == nullptr) return;
    request.state->sources.push_back({info->index, info->monitor_of_sink != PA_INVALID_INDEX,
                                      info->sample_spec.channels, info->state == PA_SOURCE_RUNNING});
}

void onSink(pa_context*, const pa_sink_info* info, int eol, void* data) {
    auto& request = *static_cast<Request*>(data);
    if (!request.settle(eol) || info == nullptr) return;
    request.state->sinks.push_back({info->index, info->sample_spec.channels, info->state == PA_SINK_RUNNING});
}

// One attempt over the current connection; `lost` tells that the connection broke.
std::optional<ServerState> ask(unsigned lists, bool& lost) {
    ServerState state;
    Request requests[4];
    for (auto& request : requests) {
        request.state = &state;
        request.finished = true;
    }
    // All requests go out before any reply is awaited: one round trip in all.
    auto start = [&](unsigned list, Request& request, auto issue) {
        if ((lists & list) == 0) return;
        request.finished = false;
        request.operation = issue(&request);
        if (request.operation == nullptr) request.failed = request.finished = true;
    };
    start(clients, requests[0], [](Request* r) { return pa_context_get_client_info_list(context, onClient, r); });
    start(sourceOutputs, requests[1],
          [](Request* r) { return pa_context_get_source_output_info_list(context, onSourceOutput, r); });
    start(sources, requests[2], [](Request* r) { return pa_context_get_source_info_list(context, onSource, r); });
    start(sinks, requests[3], [](Request* r) { return pa_context_get_sink_info_list(context, onSink, r); });

    const bool answered = runUntil(
        [&] {
            for (const auto& request : requests)
                if (!request.finished) return false;
            return true;
        },
        Clock::now() + replyTimeout);

    bool failed = !answered;
    for (auto& request : requests) {
        failed = failed || request.failed;
        if (request.operation == nullptr) continue;
        // The callbacks point into this frame: none may run after it returns.
        if (pa_operation_get_state(request.operation) == PA_OPERATION_RUNNING) pa_operation_cancel(request.operation);
        pa_operation_unref(request.operation);
    }
    lost = pa_context_get_state(context) != PA_CONTEXT_READY;
    if (!answered) dropContext();
    if (failed) return std::nullopt;
    return state;
}

}  // namespace

std::optional<ServerState> readServerState(unsigned lists) {
    // A server that went away since the last call is only noticed now; one that came
    // back in the meantime still deserves an answer from this call.
    for (int attempt = 0; attempt < 2; ++attempt) {
        if (!ensureConnected()) return std::nullopt;
        bool lost = false;
        auto state = ask(lists, lost);
        if (state || !lost) return state;
        dropContext();
    }
    return std::nullopt;
}

}  // namespace observer::platform::pulse
