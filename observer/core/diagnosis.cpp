// The diagnosis, in the order a reader follows a detection: the mode and what the
// platform said while it was chosen, the audio processes with the rules' verdicts and
// the parents of those capturing, the devices, the microphone answers, the
// applications and the windows, then what detection would answer and log. Lists and
// titles are cut at bounds that keep the document pasteable, and it says so.
#include "observer/core/diagnosis.h"

#include <algorithm>
#include <set>
#include <string>
#include <type_traits>
#include <variant>
#include <vector>

#include "observer/audio/audio_objects.h"
#include "observer/audio/mic_usage.h"
#include "observer/core/event_stream.h"
#include "observer/core/json_writer.h"
#include "observer/core/startup.h"
#include "observer/core/state.h"
#include "observer/detection/meeting_app.h"
#include "observer/platform/backend_identity.h"
#include "observer/platform/process_control.h"
#include "observer/platform/standard_streams.h"
#include "observer/platform/window_list.h"
#include "observer/platform/workspace.h"
#include "observer/process/process_info.h"
#include "observer/process/process_rules.h"

namespace observer {
namespace {

constexpr std::size_t listBound = 200;
constexpr std::size_t titleBound = 512;

// What the platform logs while it is asked goes into the document.
std::vector<std::string>* platformLines = nullptr;
std::string collectPlatformLine(std::string_view message) {
    if (platformLines != nullptr) platformLines->emplace_back(message);
    return {};
}

// Cut on a character boundary, so that the document stays valid UTF-8.
std::string cutText(std::string_view text, bool& cut) {
    if (text.size() <= titleBound) return std::string(text);
    std::size_t end = titleBound;
    while (end > 0 && (static_cast<unsigned char>(text[end]) & 0xC0) == 0x80) --end;
    cut = true;
    return std::string(text.substr(0, end));
}

// A value that the system may not have told, as null where it did not.
template <typename Value>
void valueOrNull(JsonWriter& json, const std::optional<Value>& value) {
    if (!value) {
        json.null();
    } else if constexpr (std::is_same_v<Value, bool>) {
        json.boolean(*value);
    } else if constexpr (std::is_integral_v<Value>) {
        json.number(*value);
    } else {
        json.string(*value);
    }
}

// A list longer than the bound is written up to it, and the document says so.
std::size_t boundedCount(std::size_t count, std::string_view list, std::vector<std::string>& cuts) {
    if (count <= listBound) return count;
    cuts.push_back(std::string(list) + ": the first " + std::to_string(listBound) + " of " + std::to_string(count));
    return listBound;
}

std::string_view verdictOf(Pid pid) {
    if (pid == platform::currentProcessId()) return "self";
    if (isOwnProcess(pid)) return "host";
    if (isNonMeetingInputService(pid)) return "system service";
    return "foreign";
}

void writeParents(JsonWriter& json, Pid pid) {
    json.beginArray();
    Pid at = pid;
    for (int step = 0; step < parentWalkLimit; ++step) {
        const auto parent = parentPID(at);
        if (!parent || *parent <= 0) break;
        json.beginObject();
        json.key("pid");
        json.number(*parent);
        json.key("command");
        valueOrNull(json, processName(*parent));
        json.endObject();
        if (*parent == 1) break;
        at = *parent;
    }
    json.endArray();
}

struct Counts {
    std::size_t audioProcesses = 0;
    std::size_t capturing = 0;
    std::size_t foreign = 0;
    std::size_t applications = 0;
    std::size_t inCatalogue = 0;
    std::size_t windows = 0;
};

void writeAudioProcesses(JsonWriter& json, Counts& counts, std::vector<std::string>& cuts) {
    json.key("audioProcesses");
    const auto objects = audioProcessObjects();
    if (!objects) {
        json.null();
        return;
    }
    counts.audioProcesses = objects->size();
    const std::size_t shown = boundedCount(objects->size(), "audioProcesses", cuts);
    json.beginArray();
    for (std::size_t i = 0; i < shown; ++i) {
        const AudioObjectID object = (*objects)[i];
        const auto pid = processPID(object);
        const bool running = isProcessRunningInput(object);
        json.beginObject();
        json.key("object");
        json.number(object);
        json.key("pid");
        valueOrNull(json, pid);
        json.key("command");
        valueOrNull(json, pid ? processName(*pid) : std::nullopt);
        json.key("runningInput");
        json.boolean(running);
        json.key("verdict");
        valueOrNull(json, pid ? std::optional<std::string>(verdictOf(*pid)) : std::nullopt);
        if (running) {
            ++counts.capturing;
            if (pid && verdictOf(*pid) == "foreign") ++counts.foreign;
            json.key("parents");
            if (pid) {
                writeParents(json, *pid);
            } else {
                json.null();
            }
        }
        json.endObject();
    }
    json.endArray();
}

void writeInputDevices(JsonWriter& json) {
    json.key("inputDevices");
    json.beginArray();
    for (const AudioObjectID device : inputDevices()) {
        json.beginObject();
        json.key("object");
        json.number(device);
        json.key("running");
        json.boolean(isMicActive(device));
        json.endObject();
    }
    json.endArray();
}

void writeMicrophone(JsonWriter& json) {
    json.key("microphone");
    json.beginObject();
    json.key("anyInputRunning");
    json.boolean(isAnyMicActive());
    json.key("foreignCapture");
    valueOrNull(json, isForeignProcessUsingMic());
    json.key("meetingMicActive");
    json.boolean(isMeetingMicActive());
    json.endObject();
}

void writeApplication(JsonWriter& json, const platform::RunningApplication& app) {
    json.beginObject();
    json.key("name");
    valueOrNull(json, app.localizedName);
    json.key("bundleIdentifier");
    valueOrNull(json, app.bundleIdentifier);
    json.key("pid");
    json.number(app.processIdentifier);
    json.key("catalogue");
    const MeetingApp* row = catalogueRowOf(app);
    valueOrNull(json, row != nullptr ? std::optional<std::string>(row->label) : std::nullopt);
    json.endObject();
}

// Applications, and the pids whose window titles may be shown.
std::set<Pid> writeApplications(JsonWriter& json, Counts& counts, std::vector<std::string>& cuts) {
    const auto running = platform::runningApplications();
    std::set<Pid> meetingPids;
    counts.applications = running.size();
    const std::size_t shown = boundedCount(running.size(), "runningApplications", cuts);
    json.key("runningApplications");
    json.beginArray();
    for (std::size_t i = 0; i < running.size(); ++i) {
        if (catalogueRowOf(running[i]) != nullptr) {
            ++counts.inCatalogue;
            meetingPids.insert(running[i].processIdentifier);
        }
        if (i < shown) writeApplication(json, running[i]);
    }
    json.endArray();
    json.key("frontmost");
    if (const auto frontmost = platform::frontmostApplication()) {
        writeApplication(json, *frontmost);
    } else {
        json.null();
    }
    return meetingPids;
}

void writeWindows(JsonWriter& json, const std::set<Pid>& meetingPids, bool allTitles, Counts& counts,
                  std::vector<std::string>& cuts, bool& titleCut) {
    json.key("windows");
    json.beginObject();
    json.key("titlesReadable");
    valueOrNull(json, platform::windowTitlesReadable());
    json.key("onScreen");
    const auto list = platform::copyOnScreenWindows();
    if (!list) {
        json.null();
        json.endObject();
        return;
    }
    const std::size_t count = platform::windowCount(*list);
    counts.windows = count;
    const std::size_t shown = boundedCount(count, "windows", cuts);
    json.beginArray();
    for (std::size_t i = 0; i < shown; ++i) {
        json.beginObject();
        const auto owner = platform::windowOwnerPid(*list, i);
        const auto* pid = std::get_if<std::int32_t>(&owner);
        json.key("pid");
        valueOrNull(json, pid != nullptr ? std::optional<Pid>(*pid) : std::nullopt);
        if (const auto layer = platform::windowLayer(*list, i)) {
            json.key("layer");
            json.number(*layer);
        }
        const auto name = platform::windowName(*list, i);
        const auto* title = std::get_if<std::string>(&name);
        if (title == nullptr) {
            json.key("title");
            json.null();
            json.key("titleMissing");
            json.string(std::holds_alternative<platform::MissingKey>(name) ? "no name" : "not a string");
        } else if (allTitles || (pid != nullptr && meetingPids.contains(*pid))) {
            json.key("title");
            json.string(cutText(*title, titleCut));
        } else {
            json.key("titleLength");
            json.number(static_cast<std::int64_t>(title->size()));
        }
        json.endObject();
    }
    json.endArray();
    json.endObject();
}

// Detection's lines quote titles as they are: each is cut as a title is.
std::string writeDetection(JsonWriter& json, bool& titleCut) {
    std::vector<std::string> lines;
    collectLogLines(&lines);
    platformLines = &lines;
    const auto result = detectMeetingApp();
    collectLogLines(nullptr);
    json.key("detection");
    json.beginObject();
    json.key("answer");
    std::string summary = "nobody";
    if (result) {
        json.beginObject();
        json.key("app");
        json.string(result->label);
        json.key("pid");
        json.number(result->pid);
        json.key("title");
        json.string(cutText(result->title, titleCut));
        json.endObject();
        summary = result->label + ", pid " + std::to_string(result->pid);
    } else {
        json.null();
    }
    json.key("log");
    json.beginArray();
    for (const auto& line : lines) json.string(cutText(line, titleCut));
    json.endArray();
    json.endObject();
    return summary;
}

}  // namespace

int runDiagnosis(const DiagnosisRequest& request) {
    std::vector<std::string> modeLines;
    platformLines = &modeLines;
    platform::useLogFrame(collectPlatformLine);
    collectLogLines(&modeLines);
    prepareObserverState();
    logLine(detectionModeLine());

    JsonWriter json;
    std::vector<std::string> cuts;
    Counts counts;
    json.beginObject();
    json.key("program");
    json.string(request.program);
    json.key("version");
    json.string(request.version);
    json.key("backend");
    json.string(platform::backendName());
    json.key("system");
    json.string(platform::systemDescription());
    json.key("titles");
    json.string(request.allTitles ? "all" : "meeting applications only");
    json.key("mode");
    json.beginObject();
    json.key("perProcess");
    json.boolean(hasPerProcessInput);
    json.key("ownPid");
    json.number(platform::currentProcessId());
    json.key("hostPid");
    json.number(ownAppPID);
    json.endObject();

    // What is logged from here on (a server out of reach) joins the mode line.
    writeAudioProcesses(json, counts, cuts);
    writeInputDevices(json);
    writeMicrophone(json);
    const auto meetingPids = writeApplications(json, counts, cuts);
    bool titleCut = false;
    writeWindows(json, meetingPids, request.allTitles, counts, cuts, titleCut);
    collectLogLines(nullptr);
    json.key("log");
    json.beginArray();
    for (const auto& line : modeLines) json.string(line);
    json.endArray();
    const std::string answer = writeDetection(json, titleCut);
    if (titleCut) cuts.push_back("titles: at " + std::to_string(titleBound) + " bytes");
    json.key("cut");
    json.beginArray();
    for (const auto& cut : cuts) json.string(cut);
    json.endArray();
    json.endObject();

    platformLines = nullptr;
    platform::useLogFrame(logFrame);
    platform::writeDocument(json.finish());
    platform::writeDiagnosticLine(std::string(request.program) + " " + std::string(request.version) + " diagnosis (" +
                                  std::string(platform::backendName()) + "): " +
                                  (hasPerProcessInput ? "per-process" : "device-level") + " mode; " +
                                  std::to_string(counts.audioProcesses) + " audio processes, " +
                                  std::to_string(counts.capturing) + " capturing (" + std::to_string(counts.foreign) +
                                  " foreign); " + std::to_string(counts.applications) + " applications (" +
                                  std::to_string(counts.inCatalogue) + " in the catalogue); " +
                                  std::to_string(counts.windows) + " windows on screen; detection: " + answer + "\n");
    return 0;
}

}  // namespace observer
