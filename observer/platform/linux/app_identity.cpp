// The Linux identities of the products, as their makers and the Flatpak and Snap stores
// publish them (docs/linux.md lists where each comes from). Window classes are matched
// with ASCII case ignored, so "Google-chrome" finds "google-chrome".
#include "observer/platform/linux/app_identity.h"

#include <algorithm>
#include <array>

namespace observer::platform::desktop {
namespace {

constexpr MacIdentity zoom{"zoom.us", "us.zoom.xos"};
constexpr MacIdentity teams{"Microsoft Teams", "com.microsoft.teams2"};
constexpr MacIdentity webex{"Cisco Webex Meetings", "com.cisco.webexmeetingsapp"};
constexpr MacIdentity slack{"Slack", "com.tinyspeck.slackmacgap"};
constexpr MacIdentity chrome{"Google Chrome", "com.google.Chrome"};
constexpr MacIdentity edge{"Microsoft Edge", "com.microsoft.edgemac"};
constexpr MacIdentity firefox{"Firefox", "org.mozilla.firefox"};
constexpr MacIdentity opera{"Opera", "com.operasoftware.Opera"};
constexpr MacIdentity brave{"Brave Browser", "com.brave.Browser"};

struct Known {
    std::string_view linuxId;
    const MacIdentity* product;
};

// Safari has no Linux build. Teams has had no Microsoft client for Linux since 2022; its
// earlier client and the community client people use instead count as Teams.
constexpr std::array known{
    Known{"Zoom", &zoom},  // the vendor's package: Zoom.desktop, window class "zoom"
    Known{"us.zoom.Zoom", &zoom},
    Known{"zoom-client_zoom-client", &zoom},

    Known{"teams", &teams},
    Known{"teams-insiders", &teams},
    Known{"Microsoft Teams - Preview", &teams},
    Known{"teams-for-linux", &teams},
    Known{"com.github.IsmaelMartinez.teams_for_linux", &teams},
    Known{"teams-for-linux_teams-for-linux", &teams},

    Known{"webex", &webex},
    Known{"CiscoCollabHost", &webex},

    Known{"slack", &slack},
    Known{"com.slack.Slack", &slack},
    Known{"slack_slack", &slack},

    Known{"google-chrome", &chrome},
    Known{"google-chrome-beta", &chrome},
    Known{"google-chrome-unstable", &chrome},
    Known{"com.google.Chrome", &chrome},

    Known{"microsoft-edge", &edge},
    Known{"microsoft-edge-beta", &edge},
    Known{"microsoft-edge-dev", &edge},
    Known{"com.microsoft.Edge", &edge},

    Known{"firefox", &firefox},
    Known{"firefox-esr", &firefox},
    Known{"org.mozilla.firefox", &firefox},
    Known{"firefox_firefox", &firefox},

    Known{"opera", &opera},
    Known{"com.opera.Opera", &opera},
    Known{"opera_opera", &opera},

    Known{"brave-browser", &brave},
    Known{"brave-browser-beta", &brave},
    Known{"brave-browser-nightly", &brave},
    Known{"com.brave.Browser", &brave},
    Known{"brave_brave", &brave},
};

char lower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

bool equalsIgnoringCase(std::string_view a, std::string_view b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) { return lower(x) == lower(y); });
}

}  // namespace

std::optional<MacIdentity> macIdentity(std::string_view linuxId) {
    if (linuxId.empty()) return std::nullopt;
    for (const auto& entry : known)
        if (equalsIgnoringCase(entry.linuxId, linuxId)) return *entry.product;
    return std::nullopt;
}

}  // namespace observer::platform::desktop
