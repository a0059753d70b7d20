// UTF-8 <-> UTF-16 with U+FFFD substitution, written out by hand because the platform's
// own converters fail on the very inputs that must be tolerated here: CFStringCreateWithBytes
// rejects ill-formed UTF-8 and CFStringGetCString rejects an unpaired surrogate.
#include "observer/platform/macos/utf16.h"

namespace observer::platform::macos {
namespace {

constexpr char32_t replacement = 0xFFFD;

bool isContinuation(unsigned char byte) {
    return (byte & 0xC0) == 0x80;
}

// Decodes one scalar value starting at `at` and advances `at` past it. On an ill-formed
// sequence it advances past the maximal subpart only (at least one byte), so that the
// byte that broke the sequence starts the next one.
char32_t decodeOne(std::string_view bytes, std::size_t& at) {
    const auto byteAt = [&](std::size_t i) { return static_cast<unsigned char>(bytes[i]); };
    const unsigned char lead = byteAt(at++);
    if (lead < 0x80) return lead;

    int continuations = 0;
    char32_t value = 0;
    // The second byte's range is narrower after some leads: that is what rules out
    // overlong forms, surrogates and values above U+10FFFF.
    unsigned char low = 0x80;
    unsigned char high = 0xBF;
    if (lead >= 0xC2 && lead <= 0xDF) {
        continuations = 1;
        value = lead & 0x1F;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        continuations = 2;
        value = lead & 0x0F;
        if (lead == 0xE0) low = 0xA0;
        if (lead == 0xED) high = 0x9F;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        continuations = 3;
        value = lead & 0x07;
        if (lead == 0xF0) low = 0x90;
        if (lead == 0xF4) high = 0x8F;
    } else {
        return replacement;  // a stray continuation byte, C0, C1 or F5 to FF
    }

    for (int i = 0; i < continuations; ++i) {
        if (at >= bytes.size()) return replacement;
        const unsigned char byte = byteAt(at);
        const bool inRange = i == 0 ? (byte >= low && byte <= high) : isContinuation(byte);
        if (!inRange) return replacement;
        value = (value << 6) | (byte & 0x3F);
        ++at;
    }
    return value;
}

void appendUtf8(std::string& out, char32_t c) {
    if (c < 0x80) {
        out.push_back(static_cast<char>(c));
    } else if (c < 0x800) {
        out.push_back(static_cast<char>(0xC0 | (c >> 6)));
        out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    } else if (c < 0x10000) {
        out.push_back(static_cast<char>(0xE0 | (c >> 12)));
        out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    } else {
        out.push_back(static_cast<char>(0xF0 | (c >> 18)));
        out.push_back(static_cast<char>(0x80 | ((c >> 12) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    }
}

bool isHighSurrogate(std::uint16_t unit) {
    return unit >= 0xD800 && unit <= 0xDBFF;
}

bool isLowSurrogate(std::uint16_t unit) {
    return unit >= 0xDC00 && unit <= 0xDFFF;
}

}  // namespace

std::vector<std::uint16_t> utf16FromUtf8(std::string_view bytes) {
    std::vector<std::uint16_t> units;
    units.reserve(bytes.size());  // never more units than bytes
    std::size_t at = 0;
    while (at < bytes.size()) {
        const char32_t c = decodeOne(bytes, at);
        if (c < 0x10000) {
            units.push_back(static_cast<std::uint16_t>(c));
        } else {
            const char32_t offset = c - 0x10000;
            units.push_back(static_cast<std::uint16_t>(0xD800 + (offset >> 10)));
            units.push_back(static_cast<std::uint16_t>(0xDC00 + (offset & 0x3FF)));
        }
    }
    return units;
}

std::string utf8FromUtf16(std::span<const std::uint16_t> units) {
    std::string out;
    out.reserve(units.size() * 3);
    for (std::size_t i = 0; i < units.size(); ++i) {
        const std::uint16_t unit = units[i];
        if (isHighSurrogate(unit) && i + 1 < units.size() && isLowSurrogate(units[i + 1])) {
            const char32_t c = 0x10000 + ((char32_t(unit) - 0xD800) << 10) + (char32_t(units[i + 1]) - 0xDC00);
            appendUtf8(out, c);
            ++i;
        } else if (isHighSurrogate(unit) || isLowSurrogate(unit)) {
            appendUtf8(out, replacement);
        } else {
            appendUtf8(out, unit);
        }
    }
    return out;
}

std::string wellFormedUtf8(std::string_view bytes) {
    std::string out;
    out.reserve(bytes.size());
    std::size_t at = 0;
    while (at < bytes.size()) appendUtf8(out, decodeOne(bytes, at));
    return out;
}

}  // namespace observer::platform::macos
