#include "host/JsonWriter.h"

#include <cmath>
#include <cstdio>

namespace zel::vortan {

namespace {

// Length of the valid UTF-8 sequence starting at text[i], or 0 if invalid.
size_t utf8SequenceLength(std::string_view text, size_t i) {
    const auto byte = [&](size_t k) { return static_cast<unsigned char>(text[k]); };
    const unsigned char lead = byte(i);
    size_t length = 0;
    uint32_t minimum = 0;
    uint32_t code = 0;
    if (lead < 0x80) return 1;
    if ((lead & 0xE0) == 0xC0) {
        length = 2, minimum = 0x80, code = lead & 0x1F;
    } else if ((lead & 0xF0) == 0xE0) {
        length = 3, minimum = 0x800, code = lead & 0x0F;
    } else if ((lead & 0xF8) == 0xF0) {
        length = 4, minimum = 0x10000, code = lead & 0x07;
    } else {
        return 0;
    }
    if (i + length > text.size()) return 0;
    for (size_t k = 1; k < length; ++k) {
        if ((byte(i + k) & 0xC0) != 0x80) return 0;
        code = (code << 6) | (byte(i + k) & 0x3F);
    }
    const bool surrogate = code >= 0xD800 && code <= 0xDFFF;
    return code < minimum || code > 0x10FFFF || surrogate ? 0 : length;
}

} // namespace

std::string jsonQuoted(std::string_view text) {
    std::string out = "\"";
    for (size_t i = 0; i < text.size();) {
        const unsigned char c = static_cast<unsigned char>(text[i]);
        const size_t length = utf8SequenceLength(text, i);
        if (length == 0) {
            out += "\\ufffd";
            ++i;
            continue;
        }
        if (c == '"' || c == '\\') {
            out += '\\';
            out += static_cast<char>(c);
        } else if (c < 0x20) {
            char escaped[8];
            std::snprintf(escaped, sizeof escaped, "\\u%04x", c);
            out += escaped;
        } else {
            out.append(text.substr(i, length));
        }
        i += length;
    }
    out += '"';
    return out;
}

void JsonWriter::newline() {
    stream << '\n';
    for (size_t level = 0; level < firstInScope.size(); ++level) stream << "  ";
}

void JsonWriter::beforeValue() {
    if (afterKey) {
        afterKey = false;
        return;
    }
    if (!firstInScope.empty()) {
        if (!firstInScope.back()) stream << ',';
        firstInScope.back() = false;
        newline();
    }
}

void JsonWriter::open(char bracket) {
    beforeValue();
    stream << bracket;
    firstInScope.push_back(true);
}

void JsonWriter::close(char bracket) {
    const bool empty = firstInScope.back();
    firstInScope.pop_back();
    if (!empty) newline();
    stream << bracket;
    if (firstInScope.empty()) stream << '\n';
}

void JsonWriter::key(std::string_view name) {
    beforeValue();
    stream << jsonQuoted(name) << ": ";
    afterKey = true;
}

void JsonWriter::value(std::string_view text) {
    beforeValue();
    stream << jsonQuoted(text);
}

void JsonWriter::value(double number) {
    beforeValue();
    if (!std::isfinite(number)) {
        stream << "null";
        return;
    }
    char text[32];
    std::snprintf(text, sizeof text, "%.9g", number);
    stream << text;
}

void JsonWriter::value(int64_t number) {
    beforeValue();
    stream << number;
}

void JsonWriter::value(bool flag) {
    beforeValue();
    stream << (flag ? "true" : "false");
}

} // namespace zel::vortan
