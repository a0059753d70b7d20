// Desktop entries in private data directories: how applications are presented, and what
// hostile files in an applications folder cannot do.
#include "observer/platform/linux/desktop_entries.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cctype>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <future>
#include <string>

#include "observer/platform/linux/app_identity.h"

namespace observer::platform::desktop {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

std::string described(const std::optional<Entry>& entry) {
    if (!entry) return "<none>";
    return entry->name.value_or("<no name>") + " | " + entry->fileId;
}

class DesktopEntriesTest : public ::testing::Test {
protected:
    void SetUp() override {
        std::string pattern = (fs::temp_directory_path() / "desktop-entries-XXXXXX").string();
        ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
        root = pattern;
        dataHome = root + "/home";
        dataDir = root + "/system";
        ::setenv("XDG_DATA_HOME", dataHome.c_str(), 1);
        ::setenv("XDG_DATA_DIRS", dataDir.c_str(), 1);
    }

    void TearDown() override {
        std::error_code error;
        fs::remove_all(root, error);
    }

    static void write(const std::string& path, const std::string& contents) {
        fs::create_directories(fs::path(path).parent_path());
        std::ofstream(path, std::ios::binary) << contents;
    }

    static void setModificationTime(const std::string& path, std::chrono::seconds fromNow) {
        const timespec times[2] = {{0, UTIME_OMIT}, {::time(nullptr) + fromNow.count(), 0}};
        ASSERT_EQ(::utimensat(AT_FDCWD, path.c_str(), times, 0), 0) << path;
    }

    std::string root;
    std::string dataHome;
    std::string dataDir;
};

// The Linux identities of the catalogue's products carry the fragment by which the
// catalogue recognises the product: its Mac name or bundle identifier.
TEST(AppIdentityTest, LinuxIdentitiesCarryTheCatalogueFragmentOfTheirProduct) {
    struct Case {
        std::string linuxId;
        std::string fragment;
    };
    const Case cases[] = {
        {"Zoom", "zoom.us"},
        {"us.zoom.Zoom", "zoom.us"},
        {"zoom-client_zoom-client", "zoom.us"},
        {"teams-for-linux", "Microsoft Teams"},
        {"com.github.IsmaelMartinez.teams_for_linux", "Microsoft Teams"},
        {"Microsoft Teams - Preview", "Microsoft Teams"},
        {"webex", "Cisco Webex"},
        {"CiscoCollabHost", "Cisco Webex"},
        {"Slack", "Slack"},
        {"com.slack.Slack", "Slack"},
        {"slack_slack", "Slack"},
        {"Google-chrome", "Google Chrome"},
        {"com.google.Chrome", "Google Chrome"},
        {"Microsoft-edge", "edgemac"},
        {"microsoft-edge-beta", "edgemac"},
        {"com.microsoft.Edge", "edgemac"},
        {"firefox-esr", "Firefox"},
        {"org.mozilla.firefox", "Firefox"},
        {"firefox_firefox", "Firefox"},
        {"Opera", "Opera"},
        {"com.opera.Opera", "Opera"},
        {"Brave-browser", "Brave Browser"},
        {"com.brave.Browser", "Brave Browser"},
        {"brave_brave", "Brave Browser"},
    };
    const auto lowered = [](std::string text) {
        for (auto& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        return text;
    };
    for (const auto& [linuxId, fragment] : cases) {
        const auto product = macIdentity(linuxId);
        ASSERT_TRUE(product) << linuxId;
        const auto name = lowered(std::string(product->name));
        const auto bundle = lowered(std::string(product->bundleIdentifier));
        EXPECT_TRUE(name.find(lowered(fragment)) != std::string::npos || bundle.find(lowered(fragment)) != std::string::npos)
            << linuxId << " is presented as " << product->name << " / " << product->bundleIdentifier;
    }
    for (const std::string other : {"", "chromium", "org.gnome.Epiphany", "zoomit", "edge", "brave", "teams-for-linux-x"})
        EXPECT_FALSE(macIdentity(other)) << other;
}

TEST_F(DesktopEntriesTest, CatalogueProductsArePresentedAsOnTheMacOthersByTheirEntry) {
    write(dataDir + "/applications/microsoft-edge.desktop", "[Desktop Entry]\nName=Microsoft Edge\nStartupWMClass=Microsoft-edge\n");
    // Found by its Flatpak id although its window class is unknown to the table.
    write(dataDir + "/applications/us.zoom.Zoom.desktop", "[Desktop Entry]\nName=Zoom Workplace\nStartupWMClass=zoomclient\n");
    write(dataDir + "/applications/org.gnome.gedit.desktop", "[Desktop Entry]\nName=Text Editor\nStartupWMClass=Gedit\n");
    write(dataDir + "/applications/chromium.desktop", "[Desktop Entry]\nName=Chromium\n");
    // A user's own entry for a product, under an id of its own, is still that product.
    write(dataHome + "/applications/work-chat.desktop", "[Desktop Entry]\nName=Work chat\nStartupWMClass=Slack\n");

    EXPECT_EQ(described(findEntry("microsoft-edge", "Microsoft-edge")), "Microsoft Edge | com.microsoft.edgemac.desktop");
    EXPECT_EQ(described(findEntry("zoomclient", "zoomclient")), "zoom.us | us.zoom.xos.desktop");
    EXPECT_EQ(described(findEntry("slack", "Slack")), "Slack | com.tinyspeck.slackmacgap.desktop");
    EXPECT_EQ(described(findEntry("gedit", "Gedit")), "Text Editor | org.gnome.gedit.desktop");
    EXPECT_EQ(described(findEntry("chromium", "Chromium")), "Chromium | chromium.desktop");
    EXPECT_EQ(described(findEntry("thing", "Thing")), "<none>");

    // Without any entry the window class alone names the product, and the instance
    // when the class is unknown.
    EXPECT_EQ(described(findEntry("brave-browser", "Brave-browser")), "Brave Browser | com.brave.Browser.desktop");
    EXPECT_EQ(described(findEntry("teams-for-linux", "")), "Microsoft Teams | com.microsoft.teams2.desktop");
    EXPECT_EQ(described(findEntry("Webex", "CiscoCollabHost")), "Cisco Webex Meetings | com.cisco.webexmeetingsapp.desktop");
}

// Where windows do not tell their owner, the program that an application's entry starts
// finds its process: the file name of Exec's program, past an env prefix and quotes.
TEST_F(DesktopEntriesTest, TheProgramAnEntryStartsIsTheFileNameOfExecsProgram) {
    write(dataDir + "/applications/us.zoom.Zoom.desktop",
          "[Desktop Entry]\nName=Zoom\nExec=env BAMF_DESKTOP_FILE_HINT=x GDK_BACKEND=x11 /usr/bin/zoom %U\n"
          "StartupWMClass=zoom\n");
    write(dataDir + "/applications/firefox-esr.desktop", "[Desktop Entry]\nName=Firefox ESR\nExec=\"/usr/lib/firefox esr/firefox-esr\" %u\n");
    write(dataDir + "/applications/org.gnome.gedit.desktop", "[Desktop Entry]\nName=Text Editor\nExec=gedit\n");
    write(dataDir + "/applications/empty.desktop", "[Desktop Entry]\nName=Nothing\nExec=env A=b\n");

    EXPECT_EQ(installedProgram("zoom"), "zoom") << "by StartupWMClass";
    EXPECT_EQ(installedProgram("us.zoom.Zoom"), "zoom") << "by file id";
    EXPECT_EQ(installedProgram("firefox-esr"), "firefox-esr");
    EXPECT_EQ(installedProgram("org.gnome.gedit"), "gedit");
    EXPECT_EQ(installedProgram("empty"), std::nullopt);
    EXPECT_EQ(installedProgram("firefox"), std::nullopt) << "no entry of that id or class";
}

TEST_F(DesktopEntriesTest, WithoutDataDirsFlatpakExportsAreSearchedThroughTheirSymlinks) {
    ::unsetenv("XDG_DATA_DIRS");
    // Flatpak exports an application's entry as a symlink into the application's files.
    write(dataHome + "/flatpak/app/com.example.Meetly/export/com.example.Meetly.desktop",
          "[Desktop Entry]\nName=Meetly\nStartupWMClass=meetly-flat\n");
    fs::create_directories(dataHome + "/flatpak/exports/share/applications");
    fs::create_symlink(dataHome + "/flatpak/app/com.example.Meetly/export/com.example.Meetly.desktop",
                       dataHome + "/flatpak/exports/share/applications/com.example.Meetly.desktop");
    EXPECT_EQ(described(findEntry("meetly", "meetly-flat")), "Meetly | com.example.Meetly.desktop");
}

// A FIFO is never opened: opening one for reading waits for a writer. Should the lookup
// wait nonetheless, the test plays the writer so that it ends.
TEST_F(DesktopEntriesTest, AFifoNamedLikeAnEntryNeitherBlocksNorHidesTheEntryBelow) {
    write(dataDir + "/applications/meetly.desktop", "[Desktop Entry]\nName=Meetly\n");
    fs::create_directories(dataHome + "/applications");
    const std::string fifo = dataHome + "/applications/meetly.desktop";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0644), 0);
    auto lookup = std::async(std::launch::async, [] { return described(findEntry("meetly", "Meetly")); });
    if (lookup.wait_for(10s) != std::future_status::ready) {
        ADD_FAILURE() << "the lookup waits on the FIFO";
        const int writer = ::open(fifo.c_str(), O_WRONLY | O_NONBLOCK);
        if (writer >= 0) ::close(writer);
    }
    EXPECT_EQ(lookup.get(), "Meetly | meetly.desktop");
}

TEST_F(DesktopEntriesTest, DevicesAndOversizedFilesAreNoEntriesAndOverlongValuesAreIgnored) {
    write(dataDir + "/applications/meetly.desktop", "[Desktop Entry]\nName=Meetly\n");
    fs::create_directories(dataHome + "/applications");
    // Read as a file, /dev/zero never ends.
    fs::create_symlink("/dev/zero", dataHome + "/applications/meetly.desktop");
    write(dataHome + "/applications/big.desktop", "[Desktop Entry]\nStartupWMClass=Big\nName=" + std::string(8 << 20, 'x') + "\n");
    write(dataHome + "/applications/long.desktop",
          "[Desktop Entry]\nName=" + std::string(5000, 'y') + "\nStartupWMClass=" + std::string(5000, 'z') + "\n");
    write(dataHome + "/applications/fair.desktop",
          "[Desktop Entry]\nName=" + std::string(1000, 'f') + "\nComment=" + std::string(100'000, 'c') + "\n");

    EXPECT_EQ(described(findEntry("meetly", "Meetly")), "Meetly | meetly.desktop");
    EXPECT_EQ(described(findEntry("big", "Big")), "<none>");
    EXPECT_EQ(described(findEntry("", std::string(5000, 'z'))), "<none>") << "an overlong class is no class";
    EXPECT_EQ(described(findEntry("long", "")), "<no name> | long.desktop");
    EXPECT_EQ(described(findEntry("fair", "")), std::string(1000, 'f') + " | fair.desktop");
}

TEST_F(DesktopEntriesTest, AFolderTimeInTheFutureIsIndexedOnceAndAnyChangeOfItIsNoticed) {
    const std::string folder = dataDir + "/applications";
    write(folder + "/meetly.desktop", "[Desktop Entry]\nName=Meetly\n");
    setModificationTime(folder, 24h);
    EXPECT_EQ(described(findEntry("meetly", "")), "Meetly | meetly.desktop");
    const auto builds = indexBuilds();
    for (int lookup = 0; lookup < 5; ++lookup) EXPECT_EQ(described(findEntry("meetly", "")), "Meetly | meetly.desktop");
    EXPECT_EQ(indexBuilds(), builds) << "lookups reuse the index while nothing changes";

    // A new file moves the folder's time back to now: a change although the time is earlier.
    write(folder + "/talkity.desktop", "[Desktop Entry]\nName=Talkity\n");
    EXPECT_EQ(described(findEntry("talkity", "")), "Talkity | talkity.desktop");
    EXPECT_EQ(indexBuilds(), builds + 1);

    write(folder + "/chatter.desktop", "[Desktop Entry]\nName=Chatter\n");
    setModificationTime(folder, -24h);
    EXPECT_EQ(described(findEntry("chatter", "")), "Chatter | chatter.desktop");
    EXPECT_EQ(described(findEntry("talkity", "")), "Talkity | talkity.desktop");
    EXPECT_EQ(indexBuilds(), builds + 2);
}

TEST_F(DesktopEntriesTest, IndexedLookupsLeaveTheFoldersToOneRefresh) {
    const std::string folder = dataDir + "/applications";
    write(folder + "/meetly.desktop", "[Desktop Entry]\nName=Meetly\n");
    refreshEntries();
    const auto builds = indexBuilds();
    write(folder + "/talkity.desktop", "[Desktop Entry]\nName=Talkity\n");
    setModificationTime(folder, -1h);  // a change, however coarse the file system's clock
    EXPECT_EQ(described(findIndexedEntry("talkity", "")), "<none>") << "the index as it stood";
    EXPECT_EQ(described(findIndexedEntry("meetly", "")), "Meetly | meetly.desktop");
    EXPECT_EQ(indexBuilds(), builds);
    refreshEntries();
    EXPECT_EQ(indexBuilds(), builds + 1);
    EXPECT_EQ(described(findIndexedEntry("talkity", "")), "Talkity | talkity.desktop");
}

}  // namespace
}  // namespace observer::platform::desktop
