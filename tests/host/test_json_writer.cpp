// The JSON text of `vortan info --json`: escaping and layout.
#include "host/JsonWriter.h"

#include <gtest/gtest.h>
#include <limits>
#include <sstream>

namespace zel::vortan {
namespace {

TEST(JsonWriter, EscapesQuotesBackslashesAndControlCharacters) {
    EXPECT_EQ(jsonQuoted("plain"), "\"plain\"");
    EXPECT_EQ(jsonQuoted("a\"b\\c"), "\"a\\\"b\\\\c\"");
    EXPECT_EQ(jsonQuoted(std::string("t\ta\nb\x01", 6)), "\"t\\u0009a\\u000ab\\u0001\"");
    EXPECT_EQ(jsonQuoted(std::string("\0", 1)), "\"\\u0000\"");
}

TEST(JsonWriter, KeepsValidUtf8AndReplacesInvalidBytes) {
    EXPECT_EQ(jsonQuoted("caf\xc3\xa9 \xe2\x82\xac \xf0\x9f\x8e\xb9"),
              "\"caf\xc3\xa9 \xe2\x82\xac \xf0\x9f\x8e\xb9\"");
    EXPECT_EQ(jsonQuoted("Latin-1 \xe9t\xe9"), "\"Latin-1 \\ufffdt\\ufffd\"");
    EXPECT_EQ(jsonQuoted("\xc0\x80"), "\"\\ufffd\\ufffd\"");            // overlong zero
    EXPECT_EQ(jsonQuoted("\xed\xa0\x80"), "\"\\ufffd\\ufffd\\ufffd\""); // surrogate
    EXPECT_EQ(jsonQuoted("cut \xe2\x82"), "\"cut \\ufffd\\ufffd\"");    // truncated at the end
}

TEST(JsonWriter, NestsObjectsAndArraysWithIndentation) {
    std::ostringstream out;
    JsonWriter json(out);
    json.beginObject();
    json.field("name", "Zel");
    json.field("count", int32_t{36});
    json.field("ratio", 0.5);
    json.field("on", true);
    json.field("nothing", std::numeric_limits<double>::quiet_NaN());
    json.key("list");
    json.beginArray();
    json.value(int64_t{1});
    json.beginObject();
    json.endObject();
    json.endArray();
    json.key("empty");
    json.beginArray();
    json.endArray();
    json.endObject();
    EXPECT_EQ(out.str(), "{\n"
                         "  \"name\": \"Zel\",\n"
                         "  \"count\": 36,\n"
                         "  \"ratio\": 0.5,\n"
                         "  \"on\": true,\n"
                         "  \"nothing\": null,\n"
                         "  \"list\": [\n"
                         "    1,\n"
                         "    {}\n"
                         "  ],\n"
                         "  \"empty\": []\n"
                         "}\n");
}

TEST(JsonWriter, FloatsRoundTrip) {
    std::ostringstream out;
    JsonWriter json(out);
    json.value(static_cast<double>(1.0f / 35.0f));
    EXPECT_EQ(std::stof(out.str()), 1.0f / 35.0f);
}

} // namespace
} // namespace zel::vortan
