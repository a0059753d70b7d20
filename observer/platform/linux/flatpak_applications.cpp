// Reading a sandbox's /.flatpak-info through /proc: the same file that PipeWire reads to
// tell that a client is sandboxed, and which application it is.
#include "observer/platform/linux/flatpak_applications.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <string>

namespace observer::platform::flatpak {
namespace {

// Far more than Flatpak writes; a larger file is no sandbox's.
constexpr std::size_t maximumInfoSize = 64 * 1024;

std::string_view trimmed(std::string_view text) {
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t' || text.back() == '\r')) text.remove_suffix(1);
    return text;
}

}  // namespace

std::optional<std::string> applicationIdIn(std::string_view info) {
    bool inApplication = false;
    while (!info.empty()) {
        const auto newline = std::min(info.find('\n'), info.size());
        const std::string_view line = trimmed(info.substr(0, newline));
        info.remove_prefix(std::min(newline + 1, info.size()));
        if (line.empty() || line.front() == '#') continue;
        if (line.front() == '[') {
            inApplication = line == "[Application]";
            continue;
        }
        if (!inApplication) continue;
        const auto equals = line.find('=');
        if (equals == std::string_view::npos || trimmed(line.substr(0, equals)) != "name") continue;
        const std::string_view id = trimmed(line.substr(equals + 1));
        if (id.empty()) return std::nullopt;
        return std::string(id);
    }
    return std::nullopt;
}

std::optional<std::string> applicationIdOf(std::int32_t pid) {
    const std::string path = "/proc/" + std::to_string(pid) + "/root/.flatpak-info";
    // Never a FIFO or a device that could keep the call waiting.
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
    if (fd < 0) return std::nullopt;
    struct stat status {};
    if (::fstat(fd, &status) != 0 || !S_ISREG(status.st_mode)) {
        ::close(fd);
        return std::nullopt;
    }
    std::string text;
    char buffer[4096];
    ssize_t got = 0;
    while (text.size() <= maximumInfoSize && (got = ::read(fd, buffer, sizeof buffer)) > 0)
        text.append(buffer, static_cast<std::size_t>(got));
    ::close(fd);
    if (got < 0 || text.size() > maximumInfoSize) return std::nullopt;
    return applicationIdIn(text);
}

}  // namespace observer::platform::flatpak
