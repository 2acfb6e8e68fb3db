#include "builtin_actions/text_codecs.h"

#include <gtest/gtest.h>

#include <stdexcept>

namespace {

std::string decoded(const std::wstring& text) {
    auto bytes = base64_decode(text.data(), text.size());
    return std::string(bytes.begin(), bytes.end());
}

std::wstring decoded_text(const std::wstring& text) {
    auto bytes = base64_decode(text.data(), text.size());
    return utf8_to_utf16(bytes.data(), bytes.size());
}

bool rejected(const std::wstring& text) {
    try {
        base64_decode(text.data(), text.size());
    } catch (const std::invalid_argument& e) {
        return std::string(e.what()) == "not a base64 string";
    }
    return false;
}

} // namespace

TEST(Base64, PaddingAndTrailingGarbage) {
    EXPECT_EQ(decoded(L"SGVsbG8="), "Hello");
    EXPECT_EQ(decoded(L"SGVsbG8"), "Hello");          // padding is optional
    EXPECT_EQ(decoded(L"SGVsbG8=garbage!"), "Hello"); // everything after "=" is ignored
    EXPECT_EQ(decoded(L"SGVsbA=="), "Hell");
    EXPECT_EQ(decoded(L"="), "");
    EXPECT_EQ(decoded(L""), "");
    EXPECT_EQ(decoded(L"S"), ""); // six bits: no byte
    EXPECT_EQ(decoded(L"+/+/"), "\xfb\xff\xbf");
    // Every byte value survives.
    EXPECT_EQ(decoded(L"AAEC/w=="), std::string("\x00\x01\x02\xff", 4));
}

TEST(Base64, RejectsAnythingOutsideTheStandardAlphabet) {
    EXPECT_TRUE(rejected(L"SGVs bG8="));
    EXPECT_TRUE(rejected(L"SGVs\r\nbG8="));
    EXPECT_TRUE(rejected(L"SGVs-G8_")); // URL-safe alphabet
    EXPECT_TRUE(rejected(L"SGVs_G8"));
    EXPECT_TRUE(rejected(L"SGVsbG8!"));
    EXPECT_TRUE(rejected(std::wstring(L"SGVs\0bG8", 8)));
}

TEST(Base64, UnitsAboveFfCountByTheirLowByte) {
    std::wstring text = L"SGVsbG8=";
    text[0] = static_cast<wchar_t>(0x0100 | L'S'); // U+0153, low byte 'S'
    EXPECT_EQ(decoded(text), "Hello");
    std::wstring blank = L"SGVsbG8=";
    blank[1] = static_cast<wchar_t>(0x4120); // low byte is a blank
    EXPECT_TRUE(rejected(blank));
}

TEST(Base64, Utf8ResultsAndReplacementCharacters) {
    EXPECT_EQ(decoded_text(L"w6TDtsO8"), L"\u00e4\u00f6\u00fc");
    EXPECT_EQ(decoded_text(L"8J+YgA=="), L"\U0001F600"); // outside the BMP: a surrogate pair
    // 0xFF is never valid UTF-8: one replacement character, the rest intact.
    EXPECT_EQ(decoded_text(L"/0hp"), L"\ufffdHi");
    EXPECT_EQ(utf8_to_utf16(nullptr, 0), L"");
}

TEST(Base64, OneMebibyteDecodesInOnePiece) {
    std::wstring big;
    big.reserve(1 << 20);
    while (big.size() + 4 <= (1u << 20))
        big += L"QUJD"; // "ABC"
    auto bytes = base64_decode(big.data(), big.size());
    ASSERT_EQ(bytes.size(), big.size() / 4 * 3);
    EXPECT_EQ(bytes[0], 'A');
    EXPECT_EQ(bytes[bytes.size() - 1], 'C');
}

TEST(CaseConversion, OnlyAsciiAndTheThreeUmlautPairs) {
    EXPECT_EQ(to_upper_case(L"stra\u00dfe \u00e4\u00f6\u00fc \u00e9a"),
              L"STRA\u00dfE \u00c4\u00d6\u00dc \u00e9A");
    EXPECT_EQ(to_lower_case(L"\u00c4\u00d6\u00dc \u00c9A"), L"\u00e4\u00f6\u00fc \u00c9a");
    // Units whose low byte is a letter are not letters.
    std::wstring tricky = {static_cast<wchar_t>(0x0161), static_cast<wchar_t>(0x01E4),
                           static_cast<wchar_t>(0xD83D), static_cast<wchar_t>(0xDE00)};
    EXPECT_EQ(to_upper_case(tricky), tricky);
    EXPECT_EQ(to_lower_case(tricky), tricky);
    EXPECT_EQ(to_upper_case(L""), L"");
    EXPECT_EQ(to_upper_case(L"az AZ 09 [`{@"), L"AZ AZ 09 [`{@");
    EXPECT_EQ(to_lower_case(L"az AZ 09 [`{@"), L"az az 09 [`{@");
}
