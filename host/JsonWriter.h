// A small streaming JSON writer for `vortan info --json`: objects, arrays,
// strings (escaped, invalid UTF-8 replaced), numbers and booleans, indented.
#pragma once

#include <cstdint>
#include <ostream>
#include <string>
#include <string_view>
#include <vector>

namespace zel::vortan {

class JsonWriter {
public:
    explicit JsonWriter(std::ostream& out) : stream(out) {}

    void beginObject() { open('{'); }
    void endObject() { close('}'); }
    void beginArray() { open('['); }
    void endArray() { close(']'); }
    void key(std::string_view name);

    void value(std::string_view text);
    void value(const char* text) { value(std::string_view(text)); }
    void value(double number);
    void value(int64_t number);
    void value(int32_t number) { value(static_cast<int64_t>(number)); }
    void value(bool flag);

    template <typename T> void field(std::string_view name, const T& v) {
        key(name);
        value(v);
    }

private:
    void open(char bracket);
    void close(char bracket);
    void beforeValue();
    void newline();

    std::ostream& stream;
    std::vector<bool> firstInScope; // one entry per open object or array
    bool afterKey = false;
};

// The JSON string literal for a text, quotes included.
std::string jsonQuoted(std::string_view text);

} // namespace zel::vortan
