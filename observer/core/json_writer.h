// A JSON document written for people to read: two spaces of indentation a level, keys in
// the order they are written. Events are never written with it: they are single lines
// of their own (event_stream.h).
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace observer {

class JsonWriter {
public:
    void beginObject();
    void endObject();
    void beginArray();
    void endArray();
    // The key of the next value inside an object.
    void key(std::string_view name);

    void string(std::string_view text);
    void number(std::int64_t value);
    void boolean(bool value);
    void null();

    // The document, with a final "\n".
    std::string finish();

private:
    void beforeValue();
    void open(char bracket);
    void close(char bracket);

    std::string text_;
    std::vector<bool> levelHasItems_;
    bool afterKey_ = false;
};

}  // namespace observer
