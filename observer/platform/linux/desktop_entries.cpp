// Indexing desktop entries. Only the [Desktop Entry] group's Name, StartupWMClass and
// Hidden keys matter here; the untranslated Name is used, since catalogue fragments are
// matched against application names as their makers spell them.
//
// Anyone may drop files into these folders, so reading them is bounded: only regular
// files are opened (never a FIFO or a device, and never in a way that could block), a
// file larger than any real entry is passed over whole, and an overlong value is ignored.
#include "observer/platform/linux/desktop_entries.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <set>
#include <utility>
#include <vector>

#include "observer/platform/linux/app_identity.h"
#include "observer/platform/text.h"

namespace observer::platform::desktop {
namespace {

namespace fs = std::filesystem;

// Far more than real entries take, translations and all; little to hold while reading.
constexpr std::size_t maximumFileSize = 256 * 1024;
// Longer than any application's name or window class.
constexpr std::size_t maximumValueLength = 1024;

struct Indexed {
    Entry entry;
    std::optional<std::string> startupWmClass;
    std::optional<std::string> program;  // the file name of the program that Exec starts
};

// A searched directory and its modification time when indexed (nothing: missing).
struct Seen {
    std::string path;
    std::optional<std::pair<long long, long long>> modified;
};

std::vector<Indexed> index;
std::vector<Seen> seen;
std::optional<std::vector<std::string>> searched;
std::size_t builds = 0;

std::optional<std::pair<long long, long long>> modificationTime(const std::string& path) {
    struct stat info {};
    if (::stat(path.c_str(), &info) != 0 || !S_ISDIR(info.st_mode)) return std::nullopt;
    return std::pair<long long, long long>(info.st_mtim.tv_sec, info.st_mtim.tv_nsec);
}

void appendDirectories(std::vector<std::string>& bases, std::string_view list) {
    std::size_t start = 0;
    while (start <= list.size()) {
        const auto end = std::min(list.find(':', start), list.size());
        if (end > start) bases.emplace_back(list.substr(start, end - start));
        start = end + 1;
    }
}

std::vector<std::string> applicationDirectories() {
    std::vector<std::string> bases;
    const char* dataHomeVariable = std::getenv("XDG_DATA_HOME");
    const char* home = std::getenv("HOME");
    std::optional<std::string> dataHome;
    if (dataHomeVariable != nullptr && *dataHomeVariable != '\0') {
        dataHome = dataHomeVariable;
    } else if (home != nullptr && *home != '\0') {
        dataHome = std::string(home) + "/.local/share";
    }
    if (dataHome) bases.push_back(*dataHome);
    const char* dataDirs = std::getenv("XDG_DATA_DIRS");
    if (dataDirs != nullptr && *dataDirs != '\0') {
        appendDirectories(bases, dataDirs);
    } else {
        // What a desktop with Flatpak and snapd installed sets, so that their applications
        // are found when quorvel is started outside the session's environment.
        if (dataHome) bases.push_back(*dataHome + "/flatpak/exports/share");
        appendDirectories(bases, "/var/lib/flatpak/exports/share:/usr/local/share:/usr/share:/var/lib/snapd/desktop");
    }
    std::vector<std::string> directories;
    for (const auto& base : bases) directories.push_back(base + "/applications");
    return directories;
}

// The file's bytes when it is a regular file (a symlink to one included) of at most
// maximumFileSize bytes. It is looked at before it is opened, so that devices, FIFOs and
// sockets are never opened; O_NONBLOCK keeps open() from waiting should one take the
// file's place in between, and what was opened is checked again.
std::optional<std::string> readSmallRegularFile(const fs::path& file) {
    struct stat info {};
    if (::stat(file.c_str(), &info) != 0 || !S_ISREG(info.st_mode) ||
        static_cast<unsigned long long>(info.st_size) > maximumFileSize)
        return std::nullopt;
    const int descriptor = ::open(file.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (descriptor < 0) return std::nullopt;
    std::optional<std::string> bytes;
    if (::fstat(descriptor, &info) == 0 && S_ISREG(info.st_mode)) {
        bytes.emplace();
        char chunk[16384];
        while (bytes && bytes->size() <= maximumFileSize) {
            const auto wanted = std::min(sizeof chunk, maximumFileSize + 1 - bytes->size());
            const auto count = ::read(descriptor, chunk, wanted);
            if (count == 0) break;
            if (count < 0 && errno == EINTR) continue;
            if (count < 0) bytes.reset();
            else bytes->append(chunk, static_cast<std::size_t>(count));
        }
        // It grew past the limit since it was looked at.
        if (bytes && bytes->size() > maximumFileSize) bytes.reset();
    }
    ::close(descriptor);
    return bytes;
}

std::string unescape(std::string_view value) {
    std::string text;
    for (std::size_t i = 0; i < value.size(); ++i) {
        if (value[i] != '\\' || i + 1 == value.size()) {
            text += value[i];
            continue;
        }
        switch (value[++i]) {
            case 's': text += ' '; break;
            case 'n': text += '\n'; break;
            case 't': text += '\t'; break;
            case 'r': text += '\r'; break;
            default: text += value[i]; break;
        }
    }
    return text;
}

std::string_view trimmed(std::string_view text) {
    while (!text.empty() && text.front() == ' ') text.remove_prefix(1);
    while (!text.empty() && text.back() == ' ') text.remove_suffix(1);
    return text;
}

// The file name of the program an Exec line starts: its first word, unquoted, after any
// "env VAR=value" prefix ("env GDK_BACKEND=x11 /usr/bin/zoom %U" starts "zoom").
std::optional<std::string> programOf(std::string_view exec) {
    std::vector<std::string> words;
    std::string word;
    bool quoted = false;
    for (const char c : exec) {
        if (c == '"') {
            quoted = !quoted;
        } else if (c == ' ' && !quoted) {
            if (!word.empty()) words.push_back(std::exchange(word, {}));
        } else {
            word += c;
        }
    }
    if (!word.empty()) words.push_back(word);
    std::size_t first = 0;
    if (first < words.size() && (words[first] == "env" || words[first].ends_with("/env"))) {
        ++first;
        while (first < words.size() && words[first].find('=') != std::string::npos) ++first;
    }
    if (first >= words.size()) return std::nullopt;
    const std::string& path = words[first];
    const auto slash = path.rfind('/');
    std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
    if (name.empty()) return std::nullopt;
    return name;
}

// The entry's name and window class from its main group; `hidden` tells whether it hides
// itself (Hidden=true), which also hides the entries of the same id further down.
Indexed parseEntry(std::string_view contents, std::string fileId, bool& hidden) {
    Indexed result{{std::move(fileId), std::nullopt}, std::nullopt, std::nullopt};
    bool inMainGroup = false;
    while (!contents.empty()) {
        const auto newline = std::min(contents.find('\n'), contents.size());
        std::string_view line = contents.substr(0, newline);
        contents.remove_prefix(std::min(newline + 1, contents.size()));
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        if (line.empty() || line[0] == '#') continue;
        if (line[0] == '[') {
            inMainGroup = line == "[Desktop Entry]";
            continue;
        }
        if (!inMainGroup) continue;
        const auto equals = line.find('=');
        if (equals == std::string_view::npos) continue;
        const auto key = trimmed(line.substr(0, equals));
        auto value = line.substr(equals + 1);
        while (!value.empty() && value.front() == ' ') value.remove_prefix(1);
        if (value.size() > maximumValueLength) continue;
        if (key == "Name") result.entry.name = decodeUtf8(unescape(value));
        if (key == "StartupWMClass") result.startupWmClass = unescape(value);
        if (key == "Exec") result.program = programOf(unescape(value));
        if (key == "Hidden" && value == "true") hidden = true;
    }
    return result;
}

void rebuild(const std::vector<std::string>& directories) {
    ++builds;
    index.clear();
    seen.clear();
    std::set<std::string> taken;
    for (const auto& directory : directories) {
        // Each time is taken before the directory is listed, so a change made while it is
        // read leaves a time that differs (unless it falls in the same tick of the
        // kernel's coarse file-time clock).
        seen.push_back({directory, modificationTime(directory)});
        if (!seen.back().modified) continue;
        std::error_code error;
        std::vector<fs::path> files;
        for (fs::recursive_directory_iterator it(directory, fs::directory_options::skip_permission_denied, error), end;
             !error && it != end; it.increment(error)) {
            if (it->is_directory(error)) {
                seen.push_back({it->path().string(), modificationTime(it->path().string())});
            } else if (it->path().extension() == ".desktop") {
                files.push_back(it->path());
            }
        }
        std::sort(files.begin(), files.end());
        for (const auto& file : files) {
            // The file id is the path below applications/, its slashes turned into dashes;
            // worked out from the names alone, as Flatpak's entries are symlinks elsewhere.
            std::string fileId = file.lexically_relative(directory).string();
            std::replace(fileId.begin(), fileId.end(), '/', '-');
            if (taken.contains(fileId)) continue;
            // What is not a readable entry of sensible size is no entry, and hides nothing.
            const auto contents = readSmallRegularFile(file);
            if (!contents) continue;
            taken.insert(fileId);
            bool hidden = false;
            Indexed entry = parseEntry(*contents, fileId, hidden);
            if (!hidden) index.push_back(std::move(entry));
        }
    }
    searched = directories;
}

// Compared for difference, not order: a time in the future, or one set back, must not
// make every lookup read everything again.
bool changed(const std::vector<std::string>& directories) {
    if (searched != directories) return true;
    return std::any_of(seen.begin(), seen.end(),
                       [](const Seen& entry) { return modificationTime(entry.path) != entry.modified; });
}

bool equalsIgnoringCase(std::string_view a, std::string_view b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; };
               return lower(x) == lower(y);
           });
}

std::string_view withoutSuffix(std::string_view fileId) {
    constexpr std::string_view suffix = ".desktop";
    if (fileId.size() >= suffix.size() && fileId.substr(fileId.size() - suffix.size()) == suffix)
        fileId.remove_suffix(suffix.size());
    return fileId;
}

const Entry* installedEntry(std::string_view instance, std::string_view className) {
    for (const auto& indexedEntry : index)
        if (indexedEntry.startupWmClass && !className.empty() && equalsIgnoringCase(*indexedEntry.startupWmClass, className))
            return &indexedEntry.entry;
    for (const auto& indexedEntry : index) {
        const auto id = withoutSuffix(indexedEntry.entry.fileId);
        if ((!className.empty() && equalsIgnoringCase(id, className)) || (!instance.empty() && equalsIgnoringCase(id, instance)))
            return &indexedEntry.entry;
    }
    return nullptr;
}

}  // namespace

void refreshEntries() {
    const auto directories = applicationDirectories();
    if (changed(directories)) rebuild(directories);
}

std::optional<Entry> findEntry(std::string_view instance, std::string_view className) {
    refreshEntries();
    return findIndexedEntry(instance, className);
}

std::optional<Entry> findIndexedEntry(std::string_view instance, std::string_view className) {
    const Entry* entry = installedEntry(instance, className);
    for (const auto linuxId : {entry != nullptr ? withoutSuffix(entry->fileId) : std::string_view(), className, instance})
        if (const auto product = macIdentity(linuxId))
            return Entry{std::string(product->bundleIdentifier) + ".desktop", std::string(product->name)};
    if (entry == nullptr) return std::nullopt;
    return *entry;
}

std::optional<std::string> installedProgram(std::string_view appId) {
    refreshEntries();
    for (const auto& indexedEntry : index)
        if (&indexedEntry.entry == installedEntry(appId, appId)) return indexedEntry.program;
    return std::nullopt;
}

std::size_t indexBuilds() { return builds; }

}  // namespace observer::platform::desktop
