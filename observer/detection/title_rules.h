// What a window title and an application label tell about a meeting.
#pragma once

#include <string_view>

namespace observer {

bool isMeetingTitle(std::string_view title);
// A dedicated meeting client: its microphone use needs no title to confirm a meeting.
bool shouldTrustMicWithoutTitle(std::string_view label);
bool isBrowserMeetingApp(std::string_view label);

}  // namespace observer
