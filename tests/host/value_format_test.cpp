#include "host/value_format.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using namespace Value_format;

namespace {

std::vector<unsigned char> parsed(const std::string& text) {
    Parsed_value value;
    std::string error;
    EXPECT_TRUE(parse_value(text, value, error)) << text << ": " << error;
    return value.bytes;
}

} // namespace

// Each value is parsed, printed, and the printed form parsed to the same bytes.
TEST(Value_format, values_round_trip) {
    const struct {
        std::string in, printed;
    } rows[] = {
        {"u32:20", "u32:0x14"},
        {"u32:0xA1B2C3D4", "u32:0xa1b2c3d4"},
        {"u16:2024", "u16:0x7e8"},
        {"flag:255", "flag:255"},
        {"bytes:010203", "bytes:010203"},
        // Sizes decide the printed type: 2 bytes are a u16, 8 bytes stay bytes.
        {"bytes:0102", "u16:0x201"},
        {"bytes:0102030405060708", "bytes:0102030405060708"},
        // Below 0x10000 a number has the bytes of a one-character text: still a number.
        {"u32:0x41", "u32:0x41"},
        {"text:\"q\\\"b\\\\\"", "text:\"q\\\"b\\\\\""},
        // Control characters come out as \u escapes, whichever way they went in.
        {"text:\"a\\nb\\r\\t\"", "text:\"a\\u000Ab\\u000D\\u0009\""},
        {"text:\"gr\xC3\xBC\xC3\x9F\"", "text:\"gr\xC3\xBC\xC3\x9F\""},
        {"text:\"\\uD83D\\uDE00\"", "text:\"\xF0\x9F\x98\x80\""},
        // A lone surrogate cannot be UTF-8: it stays an escape.
        {"text:\"x\\uDE00\"", "text:\"x\\uDE00\""},
        // An embedded NUL written as text is printed, not cut.
        {"text:\"a\\u0000b\"", "text:\"a\\u0000b\""},
    };
    for (const auto& row : rows) {
        Parsed_value value, again;
        std::string error;
        ASSERT_TRUE(parse_value(row.in, value, error)) << row.in << ": " << error;
        const std::string printed = format_value(value.bytes, value.is_text);
        EXPECT_EQ(printed, row.printed);
        ASSERT_TRUE(parse_value(printed, again, error)) << printed << ": " << error;
        EXPECT_EQ(again.bytes, value.bytes) << printed;
    }
    EXPECT_EQ(parsed("u32:0xA1B2C3D4"), (std::vector<unsigned char>{0xD4, 0xC3, 0xB2, 0xA1}));
    EXPECT_EQ(parsed("text:ab"), (std::vector<unsigned char>{'a', 0, 'b', 0, 0, 0}));
    EXPECT_EQ(parsed("text:"), (std::vector<unsigned char>{0, 0}));
    EXPECT_EQ(parsed("text:\"\\uD83D\\uDE00\""),
              (std::vector<unsigned char>{0x3D, 0xD8, 0x00, 0xDE, 0, 0}));
    // From set, an embedded NUL marks binary data such as a pointer.
    EXPECT_EQ(format_value(parsed("text:\"a\\u0000b\""), false), "bytes:6100000062000000");
    EXPECT_EQ(format_value(parsed("text:hey"), false), "text:\"hey\"");
}
