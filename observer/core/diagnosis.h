// `--diagnose`: what the observer sees and decides at this moment, as one JSON document
// for a bug report. Every platform service is asked once and the rules run once, without
// a single event written; the rules' log lines go into the document. Titles of windows
// whose application is no meeting application are given as their length only, unless
// `allTitles`, and the document says which.
#pragma once

#include <string_view>

namespace observer {

struct DiagnosisRequest {
    std::string_view program;  // "quorvel", "quorvel-replay"
    std::string_view version;
    bool allTitles = false;
};

// Writes the document to standard output and a one-line summary to standard error;
// answers the exit status, 0. Call it instead of starting the observer.
int runDiagnosis(const DiagnosisRequest& request);

}  // namespace observer
