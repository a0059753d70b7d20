// Builds the document through the library's event interface rather than its parse
// callback: the callback makes the parse time grow with the square of a list's length.
#include "replay/json_reader.h"

#include <cstdio>
#include <vector>

#include "replay/scenario.h"

namespace replay {
namespace {

using nlohmann::json;

// Library messages quote the token they stopped at, which may be megabytes long.
constexpr std::size_t longestDetail = 160;

std::string shortened(std::string text, std::size_t longest = longestDetail) {
    if (text.size() <= longest) return text;
    std::size_t cut = longest;
    while (cut > 0 && (static_cast<unsigned char>(text[cut]) & 0xC0) == 0x80) --cut;  // keep UTF-8 whole
    text.resize(cut);
    return text + "...";
}

class DocumentBuilder : public nlohmann::json_sax<json> {
public:
    explicit DocumentBuilder(const std::string& text) : text_(&text) {}

    json document;

    bool null() override { return place(json(nullptr)); }
    bool boolean(bool value) override { return place(json(value)); }
    bool number_integer(number_integer_t value) override { return place(json(value)); }
    bool number_unsigned(number_unsigned_t value) override { return place(json(value)); }
    bool number_float(number_float_t value, const string_t&) override { return place(json(value)); }
    bool string(string_t& value) override { return place(json(std::move(value))); }
    bool binary(binary_t& value) override { return place(json::binary(std::move(value))); }

    bool start_object(std::size_t) override { return open(json::object()); }
    bool start_array(std::size_t) override { return open(json::array()); }
    bool end_object() override { return close(); }
    bool end_array() override { return close(); }

    bool key(string_t& name) override {
        Open& top = opened_.back();
        if (top.value->contains(name)) {
            throw ScenarioError(placeName(opened_.size()) + (opened_.size() > 1 ? ": " : "") + "key \"" +
                                shownKey(name) + "\" appears twice in one object");
        }
        top.key = name;
        top.member = &(*top.value)[name];
        return true;
    }

    bool parse_error(std::size_t position, const std::string& lastToken, const nlohmann::detail::exception& error) override {
        if (error.id == 406) {  // out_of_range: a number beyond a double's range
            const std::size_t start = position >= lastToken.size() ? position - lastToken.size() + 1 : position;
            throw ScenarioError("number too large at " + positionOf(*text_, start));
        }
        std::string detail = error.what();
        // Keep the library's explanation, without its own prefix and position.
        if (const auto colon = detail.find(": "); colon != std::string::npos) detail = detail.substr(colon + 2);
        throw ScenarioError("not valid JSON at " + positionOf(*text_, position) + ": " + shortened(detail));
    }

private:
    struct Open {
        json* value;
        std::string key;          // objects: the member being read
        json* member = nullptr;   // objects: where that member's value goes
    };

    json* put(json value) {
        if (opened_.empty()) {
            document = std::move(value);
            return &document;
        }
        Open& top = opened_.back();
        if (top.value->is_array()) {
            top.value->push_back(std::move(value));
            return &top.value->back();
        }
        *top.member = std::move(value);
        return top.member;
    }

    bool place(json value) {
        put(std::move(value));
        return true;
    }

    bool open(json container) {
        opened_.push_back(Open{put(std::move(container)), {}, nullptr});
        if (opened_.size() > maxJsonDepth) {
            throw ScenarioError(placeName(opened_.size()) + ": nested more than " + std::to_string(maxJsonDepth) +
                                " levels deep");
        }
        return true;
    }

    bool close() {
        opened_.pop_back();
        return true;
    }

    // Where the innermost `depth` open values are, as "states[2].apps[0]".
    std::string placeName(std::size_t depth) const {
        std::string name;
        for (std::size_t level = 0; level + 1 < depth; ++level) {
            const Open& step = opened_[level];
            if (step.value->is_array()) {
                name += "[" + std::to_string(step.value->size() - 1) + "]";
            } else {
                if (!name.empty()) name += ".";
                name += shownKey(step.key);
            }
        }
        return name;
    }

    const std::string* text_;
    std::vector<Open> opened_;
};

}  // namespace

std::string shownKey(std::string_view key) {
    std::string shown;
    for (const char c : key) {
        if (shown.size() > 64) break;
        if (static_cast<unsigned char>(c) < 0x20 || c == '\x7f') {
            char code[7];
            std::snprintf(code, sizeof code, "\\u%04x", static_cast<unsigned>(static_cast<unsigned char>(c)));
            shown += code;
        } else {
            shown += c;
        }
    }
    return shortened(std::move(shown), 60);
}

std::string positionOf(const std::string& text, std::size_t byte) {
    std::size_t line = 1;
    std::size_t column = 1;
    for (std::size_t at = 0; at + 1 < byte && at < text.size(); ++at) {
        if (text[at] == '\n') {
            ++line;
            column = 1;
        } else {
            ++column;
        }
    }
    return "line " + std::to_string(line) + ", column " + std::to_string(column);
}

json readStrictJson(const std::string& text) {
    if (const auto nul = text.find('\0'); nul != std::string::npos) {
        throw ScenarioError("NUL byte at " + positionOf(text, nul + 1));
    }
    DocumentBuilder builder(text);
    json::sax_parse(text, &builder);
    return std::move(builder.document);
}

}  // namespace replay
