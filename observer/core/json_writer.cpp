// Commas and line breaks go before each item but the first; a container that stays empty
// closes on the line it opened.
#include "observer/core/json_writer.h"

#include "observer/core/event_stream.h"

namespace observer {

void JsonWriter::beforeValue() {
    if (afterKey_) {
        afterKey_ = false;
        return;
    }
    if (levelHasItems_.empty()) return;
    if (levelHasItems_.back()) text_ += ',';
    levelHasItems_.back() = true;
    text_ += '\n';
    text_.append(2 * levelHasItems_.size(), ' ');
}

void JsonWriter::open(char bracket) {
    beforeValue();
    text_ += bracket;
    levelHasItems_.push_back(false);
}

void JsonWriter::close(char bracket) {
    const bool hadItems = levelHasItems_.back();
    levelHasItems_.pop_back();
    if (hadItems) {
        text_ += '\n';
        text_.append(2 * levelHasItems_.size(), ' ');
    }
    text_ += bracket;
}

void JsonWriter::beginObject() { open('{'); }
void JsonWriter::endObject() { close('}'); }
void JsonWriter::beginArray() { open('['); }
void JsonWriter::endArray() { close(']'); }

void JsonWriter::key(std::string_view name) {
    beforeValue();
    text_ += '"';
    text_ += escapeJSONString(name);
    text_ += "\": ";
    afterKey_ = true;
}

void JsonWriter::string(std::string_view text) {
    beforeValue();
    text_ += '"';
    text_ += escapeJSONString(text);
    text_ += '"';
}

void JsonWriter::number(std::int64_t value) {
    beforeValue();
    text_ += std::to_string(value);
}

void JsonWriter::boolean(bool value) {
    beforeValue();
    text_ += value ? "true" : "false";
}

void JsonWriter::null() {
    beforeValue();
    text_ += "null";
}

std::string JsonWriter::finish() {
    text_ += '\n';
    return std::move(text_);
}

}  // namespace observer
