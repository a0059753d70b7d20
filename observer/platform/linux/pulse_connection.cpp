// The sound-server mirror over libpulse's plain main loop, driven only inside a call, so
// that quorvel keeps a single thread. Every wait is bounded by a deadline of its own,
// because libpulse's reply timeout is far longer than one tick.
//
// The server sends replies and events down one socket in the order it made them, so
// applying both in arrival order keeps the mirror right: a list item is never newer than
// an event that follows it, and an object's answer to a change event says how it was
// when the server answered.
#include "observer/platform/linux/pulse_connection.h"

#include <pulse/context.h>
#include <pulse/error.h>
#include <pulse/introspect.h>
#include <pulse/mainloop.h>
#include <pulse/operation.h>
#include <pulse/proplist.h>
#include <pulse/subscribe.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <vector>

#include "observer/platform/linux/mirror_reads.h"
#include "observer/platform/linux/server_reachability.h"

namespace observer::platform::pulse {
namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

// Connecting and building take about six round trips.
servers::MirrorReads reads(milliseconds{2000}, milliseconds{500});
// How long a call waits for the object that a change event named.
constexpr milliseconds objectPatience{250};
// Arrived data is dispatched in rounds; more rounds than this in one call means the
// server sends faster than we read, and the rest waits for the next call.
constexpr int dispatchRounds = 1024;

pa_mainloop* mainLoop = nullptr;
pa_context* context = nullptr;

ServerState mirror;
bool built = false;
// What the server last reported before its connection was lost, while it holds.
ServerState held;
std::optional<Clock::time_point> heldUntil;
int listsAwaited = 0;
bool listFailed = false;

struct Pending {
    pa_operation* operation;
    Clock::time_point deadline;
};
std::vector<Pending> pending;

void forgetPending() {
    for (const auto& request : pending) {
        // Callbacks must not run into a mirror that is gone.
        if (pa_operation_get_state(request.operation) == PA_OPERATION_RUNNING) pa_operation_cancel(request.operation);
        pa_operation_unref(request.operation);
    }
    pending.clear();
}

void dropContext() {
    forgetPending();
    reads.forgetReads();
    mirror = ServerState{};
    built = false;
    if (context == nullptr) return;
    pa_context_disconnect(context);
    pa_context_unref(context);
    context = nullptr;
}

bool contextReady() {
    return context != nullptr && pa_context_get_state(context) == PA_CONTEXT_READY;
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

// What has arrived, and nothing more.
void dispatchArrived() {
    for (int round = 0; round < dispatchRounds; ++round)
        if (pa_mainloop_iterate(mainLoop, 0, nullptr) <= 0) break;
}

void pruneAnswered() {
    std::erase_if(pending, [](const Pending& request) {
        if (pa_operation_get_state(request.operation) == PA_OPERATION_RUNNING) return false;
        pa_operation_unref(request.operation);
        return true;
    });
}

// Waits for the objects named by events that have arrived, each no longer than its own
// deadline: a server that stalled after an event costs one bounded wait, not one per call.
void awaitNamedObjects() {
    pruneAnswered();
    const auto waiting = [] {
        const auto now = Clock::now();
        return std::any_of(pending.begin(), pending.end(), [&](const Pending& request) {
            return request.deadline > now && pa_operation_get_state(request.operation) == PA_OPERATION_RUNNING;
        });
    };
    if (!waiting()) return;
    Clock::time_point last = Clock::now();
    for (const auto& request : pending) last = std::max(last, request.deadline);
    runUntil([&] { return !waiting(); }, last);
    pruneAnswered();
}

std::optional<std::string> property(const pa_proplist* properties, const char* key) {
    const char* value = properties != nullptr ? pa_proplist_gets(properties, key) : nullptr;
    if (value == nullptr) return std::nullopt;
    return std::string(value);
}

void store(const pa_client_info& info) {
    mirror.clients[info.index] = {property(info.proplist, "pipewire.sec.pid"),
                                  property(info.proplist, PA_PROP_APPLICATION_PROCESS_ID),
                                  property(info.proplist, "pipewire.access.portal.app_id")};
}

void store(const pa_server_info& info) {
    mirror.onPipeWire = info.server_name != nullptr && std::strstr(info.server_name, "PipeWire") != nullptr;
}

void store(const pa_source_output_info& info) {
    mirror.sourceOutputs[info.index] = {info.client, info.source, info.corked != 0};
}

void store(const pa_source_info& info) {
    mirror.sources[info.index] = {info.monitor_of_sink != PA_INVALID_INDEX, info.sample_spec.channels,
                                  info.state == PA_SOURCE_RUNNING};
}

void store(const pa_sink_info& info) {
    mirror.sinks[info.index] = {info.sample_spec.channels, info.state == PA_SINK_RUNNING};
}

// libpulse calls back once per object, then once more with eol > 0 at the end or
// eol < 0 on error.
template <typename Info>
void onListItem(pa_context*, const Info* info, int eol, void*) {
    if (eol == 0) {
        if (info != nullptr) store(*info);
        return;
    }
    if (eol < 0) listFailed = true;
    --listsAwaited;
}

// The server's own description comes as one answer, not as a list.
void onServerInfo(pa_context*, const pa_server_info* info, void*) {
    if (info != nullptr) store(*info);
    --listsAwaited;
}

void* tag(std::uint32_t index) {
    return reinterpret_cast<void*>(static_cast<std::uintptr_t>(index));
}

std::uint32_t untag(void* data) {
    return static_cast<std::uint32_t>(reinterpret_cast<std::uintptr_t>(data));
}

template <typename Objects>
void forget(Objects& objects, std::uint32_t index) {
    objects.erase(index);
}

// The answer about one object that an event named; an object gone in the meantime
// is no object any more.
template <typename Info, auto objects>
void onObject(pa_context* source, const Info* info, int eol, void* data) {
    if (eol == 0 && info != nullptr) {
        store(*info);
    } else if (eol < 0 && pa_context_errno(source) == PA_ERR_NOENTITY) {
        forget(mirror.*objects, untag(data));
    }
}

void onEvent(pa_context* source, pa_subscription_event_type_t type, std::uint32_t index, void*) {
    const unsigned facility = type & PA_SUBSCRIPTION_EVENT_FACILITY_MASK;
    const bool removed = (type & PA_SUBSCRIPTION_EVENT_TYPE_MASK) == PA_SUBSCRIPTION_EVENT_REMOVE;
    pa_operation* operation = nullptr;
    switch (facility) {
        case PA_SUBSCRIPTION_EVENT_CLIENT:
            if (removed) return forget(mirror.clients, index);
            operation = pa_context_get_client_info(source, index, onObject<pa_client_info, &ServerState::clients>,
                                                   tag(index));
            break;
        case PA_SUBSCRIPTION_EVENT_SOURCE_OUTPUT:
            if (removed) return forget(mirror.sourceOutputs, index);
            operation = pa_context_get_source_output_info(
                source, index, onObject<pa_source_output_info, &ServerState::sourceOutputs>, tag(index));
            break;
        case PA_SUBSCRIPTION_EVENT_SOURCE:
            if (removed) return forget(mirror.sources, index);
            operation = pa_context_get_source_info_by_index(source, index,
                                                            onObject<pa_source_info, &ServerState::sources>, tag(index));
            break;
        case PA_SUBSCRIPTION_EVENT_SINK:
            if (removed) return forget(mirror.sinks, index);
            operation =
                pa_context_get_sink_info_by_index(source, index, onObject<pa_sink_info, &ServerState::sinks>, tag(index));
            break;
        default:
            return;  // the server's own settings name no object that the mirror holds
    }
    if (operation != nullptr) pending.push_back({operation, Clock::now() + objectPatience});
}

// Subscribes first, so that no change after a list's answer goes unseen.
bool buildMirror(Clock::time_point deadline) {
    pa_context_set_subscribe_callback(context, onEvent, nullptr);
    const auto mask = static_cast<pa_subscription_mask_t>(PA_SUBSCRIPTION_MASK_CLIENT | PA_SUBSCRIPTION_MASK_SOURCE_OUTPUT |
                                                          PA_SUBSCRIPTION_MASK_SOURCE | PA_SUBSCRIPTION_MASK_SINK |
                                                          PA_SUBSCRIPTION_MASK_SERVER);
    pa_operation* subscription = pa_context_subscribe(context, mask, nullptr, nullptr);
    if (subscription == nullptr) return false;
    pa_operation_unref(subscription);

    listFailed = false;
    listsAwaited = 0;
    mirror.ownClient = pa_context_get_index(context);
    pa_operation* lists[] = {
        pa_context_get_server_info(context, onServerInfo, nullptr),
        pa_context_get_client_info_list(context, onListItem<pa_client_info>, nullptr),
        pa_context_get_source_output_info_list(context, onListItem<pa_source_output_info>, nullptr),
        pa_context_get_source_info_list(context, onListItem<pa_source_info>, nullptr),
        pa_context_get_sink_info_list(context, onListItem<pa_sink_info>, nullptr),
    };
    for (pa_operation* list : lists) {
        if (list == nullptr) {
            listFailed = true;
            continue;
        }
        ++listsAwaited;
        pending.push_back({list, deadline});
    }
    const bool answered = !listFailed && runUntil([] { return listsAwaited == 0 || listFailed; }, deadline);
    return answered && !listFailed;
}

std::string serverAddress() {
    if (const char* server = std::getenv("PULSE_SERVER"); server != nullptr && *server != '\0') return server;
    if (const char* runtime = std::getenv("XDG_RUNTIME_DIR"); runtime != nullptr && *runtime != '\0')
        return std::string("unix:") + runtime + "/pulse/native";
    return "the default address";
}

std::string failureReason(milliseconds patience) {
    const bool failed = context == nullptr || !PA_CONTEXT_IS_GOOD(pa_context_get_state(context));
    if (failed) {
        const int error = context != nullptr ? pa_context_errno(context) : PA_ERR_INTERNAL;
        return "no sound server at " + serverAddress() + " (" + pa_strerror(error) + ")";
    }
    return "no answer from " + serverAddress() + " within " + std::to_string(patience.count()) + " ms";
}

bool connectAndBuild() {
    const milliseconds patience = reads.nextConnectionPatience();
    const auto deadline = Clock::now() + patience;

    pa_proplist* properties = pa_proplist_new();
    pa_proplist_sets(properties, PA_PROP_APPLICATION_NAME, "quorvel");
    context = pa_context_new_with_proplist(pa_mainloop_get_api(mainLoop), "quorvel", properties);
    pa_proplist_free(properties);
    bool ready = context != nullptr && pa_context_connect(context, nullptr, PA_CONTEXT_NOAUTOSPAWN, nullptr) >= 0 &&
                 runUntil([] { return contextReady(); }, deadline);
    ready = ready && buildMirror(deadline);
    if (!ready) {
        reachability::unreachable(reachability::Server::sound, failureReason(patience));
        dropContext();
        return false;
    }
    pruneAnswered();
    built = true;
    reachability::reached(reachability::Server::sound);
    return true;
}

// The mirror of a connection that broke holds for a while; a connection that never
// built one leaves nothing to hold.
void loseConnection() {
    reachability::lost(reachability::Server::sound);
    if (built) {
        held = std::move(mirror);
        heldUntil = Clock::now() + holdAfterLoss;
    }
    dropContext();
}

bool ensureMirror() {
    if (mainLoop == nullptr) mainLoop = pa_mainloop_new();
    if (mainLoop == nullptr) return false;
    if (contextReady() && built) return true;
    // A failed context cannot connect again; a fresh one can.
    if (context != nullptr) loseConnection();
    if (!reads.connectionAttemptDue()) return false;
    const bool connected = connectAndBuild();
    reads.noteConnectionAttempt(connected);
    return connected;
}

// The steps of a read, as MirrorReads takes them. A server that went away since the last
// call is only noticed now.
struct SoundServerMirror {
    static bool ensure() { return ensureMirror(); }
    static bool awaitingAnswers() { return !pending.empty(); }
    static void takeInArrived() {
        dispatchArrived();
        awaitNamedObjects();
    }
    static bool healthy() { return contextReady(); }
    static void lose() { loseConnection(); }
};

// A client is known across a reconnection by its own pid: the server's indices and its
// credential pid (pipewire-pulse's own, for its clients) may both be new.
std::optional<std::string> recordingClientKey(const Client& client) {
    return client.reportedPid ? client.reportedPid : client.credentialPid;
}

bool everyHeldRecordingIsBack() {
    for (const auto& [index, client] : held.clients) {
        if (!recordsFromMicrophone(held, index)) continue;
        const auto key = recordingClientKey(client);
        const bool back = std::any_of(mirror.clients.begin(), mirror.clients.end(), [&](const auto& entry) {
            return recordingClientKey(entry.second) == key && recordsFromMicrophone(mirror, entry.first);
        });
        if (!back) return false;
    }
    return true;
}

// A hold ends between ticks, never within one: every question of a tick sees the same
// state, or a tick could find the microphone in use by the held state and the tracked
// application gone from the live one.
void settleHold() {
    if (!heldUntil) return;
    const bool connected = contextReady() && built;
    if (Clock::now() >= *heldUntil || (connected && everyHeldRecordingIsBack())) heldUntil.reset();
}

const ServerState* read(bool shareRecentRead) {
    SoundServerMirror connection;
    const bool connected = reads.refresh(shareRecentRead, connection);
    if (heldUntil) return &held;
    return connected ? &mirror : nullptr;
}

}  // namespace

bool recordsFromMicrophone(const ServerState& state, std::uint32_t client) {
    for (const auto& [index, output] : state.sourceOutputs) {
        if (output.client != client || output.corked) continue;
        const auto source = state.sources.find(output.source);
        if (source != state.sources.end() && !source->second.isMonitor) return true;
    }
    return false;
}

const ServerState* serverState() {
    return read(false);
}

const ServerState* recentServerState() {
    return read(true);
}

void takeInArrived() {
    settleHold();
    if (!contextReady() || !built) return;
    reads.noteRead();
    dispatchArrived();
    pruneAnswered();
}

bool synchronize(milliseconds timeout) {
    if (!ensureMirror()) return false;
    const auto deadline = Clock::now() + timeout;
    // The server may answer the first request in the same turn in which it handles
    // another client's change, and it sends out change events a turn later: the answer
    // to a second request comes after them.
    for (int round = 0; round < 2; ++round) {
        bool answered = false;
        pa_operation* fence = pa_context_get_server_info(
            context, [](pa_context*, const pa_server_info*, void* data) { *static_cast<bool*>(data) = true; },
            &answered);
        if (fence == nullptr) return false;
        const bool done = runUntil([&] { return answered; }, deadline);
        if (pa_operation_get_state(fence) == PA_OPERATION_RUNNING) pa_operation_cancel(fence);
        pa_operation_unref(fence);
        if (!done) return false;
    }
    awaitNamedObjects();
    return contextReady() && pending.empty();
}

}  // namespace observer::platform::pulse
