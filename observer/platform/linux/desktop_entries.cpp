// Indexing desktop entries. Only the [Desktop Entry] group's Name, StartupWMClass and
// Hidden keys matter here; the untranslated Name is used, since catalogue fragments are
// matched against application names as their makers spell them.
#include "observer/platform/linux/desktop_entries.h"

#include <sys/stat.h>
#include <time.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <set>
#include <vector>

#include "observer/platform/text.h"

namespace observer::platform::desktop {
namespace {

namespace fs = std::filesystem;

struct Indexed {
    Entry entry;
    std::optional<std::string> startupWmClass;
};

// A searched directory and its modification time when indexed (nothing: missing).
struct Seen {
    std::string path;
    std::optional<std::pair<long long, long long>> modified;
};

std::vector<Indexed> index;
std::vector<Seen> seen;
std::optional<std::vector<std::string>> searched;
long long indexedAt = 0;  // nanoseconds of the real-time clock

// Directory times come from a coarse clock: a change made in the same few milliseconds
// as the indexing would leave the time as it was. Such fresh directories are read again.
constexpr long long settleTime = 2'000'000'000;

long long nanoseconds(const std::pair<long long, long long>& time) {
    return time.first * 1'000'000'000 + time.second;
}

std::optional<std::pair<long long, long long>> modificationTime(const std::string& path) {
    struct stat info {};
    if (::stat(path.c_str(), &info) != 0 || !S_ISDIR(info.st_mode)) return std::nullopt;
    return std::pair<long long, long long>(info.st_mtim.tv_sec, info.st_mtim.tv_nsec);
}

std::vector<std::string> applicationDirectories() {
    std::vector<std::string> bases;
    const char* dataHome = std::getenv("XDG_DATA_HOME");
    const char* home = std::getenv("HOME");
    if (dataHome != nullptr && *dataHome != '\0') {
        bases.emplace_back(dataHome);
    } else if (home != nullptr && *home != '\0') {
        bases.push_back(std::string(home) + "/.local/share");
    }
    const char* dataDirs = std::getenv("XDG_DATA_DIRS");
    const std::string dirs = dataDirs != nullptr && *dataDirs != '\0' ? dataDirs : "/usr/local/share:/usr/share";
    std::size_t start = 0;
    while (start <= dirs.size()) {
        const auto end = std::min(dirs.find(':', start), dirs.size());
        if (end > start) bases.push_back(dirs.substr(start, end - start));
        start = end + 1;
    }
    std::vector<std::string> directories;
    for (const auto& base : bases) directories.push_back(base + "/applications");
    return directories;
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

// Nothing when the entry hides itself, which also hides entries of the same id below it.
std::optional<Indexed> readEntry(const fs::path& file, std::string fileId, bool& hidden) {
    std::ifstream in(file);
    if (!in) return std::nullopt;
    Indexed result{{std::move(fileId), std::nullopt}, std::nullopt};
    bool inMainGroup = false;
    std::string line;
    while (std::getline(in, line)) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (line.empty() || line[0] == '#') continue;
        if (line[0] == '[') {
            inMainGroup = line == "[Desktop Entry]";
            continue;
        }
        if (!inMainGroup) continue;
        const auto equals = line.find('=');
        if (equals == std::string::npos) continue;
        std::string key = line.substr(0, equals);
        std::string value = line.substr(equals + 1);
        while (!key.empty() && key.back() == ' ') key.pop_back();
        value.erase(0, value.find_first_not_of(' '));
        if (key == "Name") result.entry.name = decodeUtf8(unescape(value));
        if (key == "StartupWMClass") result.startupWmClass = unescape(value);
        if (key == "Hidden" && value == "true") hidden = true;
    }
    return result;
}

void rebuild(const std::vector<std::string>& directories) {
    timespec now{};
    ::clock_gettime(CLOCK_REALTIME, &now);
    indexedAt = nanoseconds({now.tv_sec, now.tv_nsec});
    index.clear();
    seen.clear();
    std::set<std::string> taken;
    for (const auto& directory : directories) {
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
            // The file id is the path below applications/, its slashes turned into dashes.
            std::string fileId = fs::relative(file, directory, error).string();
            std::replace(fileId.begin(), fileId.end(), '/', '-');
            if (!taken.insert(fileId).second) continue;
            bool hidden = false;
            auto entry = readEntry(file, fileId, hidden);
            if (entry && !hidden) index.push_back(std::move(*entry));
        }
    }
    searched = directories;
}

bool changed(const std::vector<std::string>& directories) {
    if (searched != directories) return true;
    return std::any_of(seen.begin(), seen.end(), [](const Seen& entry) {
        return modificationTime(entry.path) != entry.modified ||
               (entry.modified && nanoseconds(*entry.modified) + settleTime > indexedAt);
    });
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

}  // namespace

std::optional<Entry> findEntry(std::string_view instance, std::string_view className) {
    const auto directories = applicationDirectories();
    if (changed(directories)) rebuild(directories);
    for (const auto& indexedEntry : index)
        if (indexedEntry.startupWmClass && !className.empty() && equalsIgnoringCase(*indexedEntry.startupWmClass, className))
            return indexedEntry.entry;
    for (const auto& indexedEntry : index) {
        const auto id = withoutSuffix(indexedEntry.entry.fileId);
        if ((!className.empty() && equalsIgnoringCase(id, className)) || (!instance.empty() && equalsIgnoringCase(id, instance)))
            return indexedEntry.entry;
    }
    return std::nullopt;
}

}  // namespace observer::platform::desktop
