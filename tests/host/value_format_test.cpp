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

// Parses, prints, and parses the printed form again.
std::string round_trip(const std::string& text) {
    Parsed_value value;
    std::string error;
    EXPECT_TRUE(parse_value(text, value, error)) << text << ": " << error;
    std::string printed = format_value(value.bytes, value.is_text);
    Parsed_value again;
    EXPECT_TRUE(parse_value(printed, again, error)) << printed << ": " << error;
    EXPECT_EQ(again.bytes, value.bytes) << printed;
    return printed;
}

} // namespace

TEST(Value_format, numbers_parse_to_little_endian_bytes_and_print_as_hex) {
    EXPECT_EQ(parsed("u32:20"), (std::vector<unsigned char>{0x14, 0, 0, 0}));
    EXPECT_EQ(parsed("u32:0xA1B2C3D4"), (std::vector<unsigned char>{0xD4, 0xC3, 0xB2, 0xA1}));
    EXPECT_EQ(parsed("u32:4294967295"), (std::vector<unsigned char>{0xFF, 0xFF, 0xFF, 0xFF}));
    EXPECT_EQ(parsed("u16:0x7e4"), (std::vector<unsigned char>{0xE4, 0x07}));
    EXPECT_EQ(parsed("flag:1"), (std::vector<unsigned char>{1}));
    EXPECT_EQ(parsed("bytes:00ff10"), (std::vector<unsigned char>{0, 0xFF, 0x10}));
    EXPECT_TRUE(parsed("bytes:").empty());

    EXPECT_EQ(round_trip("u32:20"), "u32:0x14");
    EXPECT_EQ(round_trip("u32:0x10141"), "u32:0x10141");
    EXPECT_EQ(round_trip("u16:2024"), "u16:0x7e8");
    EXPECT_EQ(round_trip("flag:255"), "flag:255");
    EXPECT_EQ(round_trip("bytes:010203"), "bytes:010203");
    // Sizes decide the printed type: 2 bytes are a u16, 8 bytes stay bytes.
    EXPECT_EQ(round_trip("bytes:0102"), "u16:0x201");
    EXPECT_EQ(round_trip("bytes:0102030405060708"), "bytes:0102030405060708");
    // A number below 0x10000 has the bytes of a one-character text: still a number.
    EXPECT_EQ(round_trip("u32:0x41"), "u32:0x41");
    EXPECT_EQ(round_trip("u32:0"), "u32:0x0");
}

TEST(Value_format, texts_round_trip_with_escapes_and_surrogates) {
    EXPECT_EQ(parsed("text:ab"), (std::vector<unsigned char>{'a', 0, 'b', 0, 0, 0}));
    EXPECT_EQ(parsed("text:"), (std::vector<unsigned char>{0, 0}));
    EXPECT_EQ(round_trip("text:\"To upper case\""), "text:\"To upper case\"");
    EXPECT_EQ(round_trip("text:\"q\\\"b\\\\\""), "text:\"q\\\"b\\\\\"");
    // Control characters come out as \u escapes, whichever way they went in.
    EXPECT_EQ(round_trip("text:\"a\\nb\\r\\t\""), "text:\"a\\u000Ab\\u000D\\u0009\"");
    EXPECT_EQ(round_trip("text:\"\\u0001\""), "text:\"\\u0001\"");
    // UTF-8 in, the same UTF-8 out; \u escapes of a pair make one character.
    EXPECT_EQ(round_trip("text:\"gr\xC3\xBC\xC3\x9F\""), "text:\"gr\xC3\xBC\xC3\x9F\"");
    EXPECT_EQ(parsed("text:\"\\uD83D\\uDE00\""), parsed("text:\"\xF0\x9F\x98\x80\""));
    EXPECT_EQ(parsed("text:\"\\uD83D\\uDE00\""),
              (std::vector<unsigned char>{0x3D, 0xD8, 0x00, 0xDE, 0, 0}));
    EXPECT_EQ(round_trip("text:\"\\uD83D\\uDE00\""), "text:\"\xF0\x9F\x98\x80\"");
    // A lone surrogate cannot be UTF-8: it stays an escape.
    EXPECT_EQ(round_trip("text:\"x\\uDE00\""), "text:\"x\\uDE00\"");
    // An embedded NUL before the final one is printed, not cut, for a value
    // written as text; from set it marks binary data such as a pointer.
    EXPECT_EQ(round_trip("text:\"a\\u0000b\""), "text:\"a\\u0000b\"");
    EXPECT_EQ(format_value(parsed("text:\"a\\u0000b\""), false), "bytes:6100000062000000");
    EXPECT_EQ(format_value(parsed("bytes:4074ca0000000000"), false), "bytes:4074ca0000000000");
    // Even size, ends in NUL, not written as text: printed as text all the same.
    EXPECT_EQ(format_value(parsed("text:hey"), false), "text:\"hey\"");
    // The one-character text written through set_text prints as text.
    EXPECT_EQ(format_value(parsed("text:A"), true), "text:\"A\"");
}
