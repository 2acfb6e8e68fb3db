#include "builtin_actions/text_codecs.h"

#include <gtest/gtest.h>

#include <stdexcept>

TEST(Base64, DecodesTheStandardAlphabetAndRejectsAnythingElse) {
    const std::wstring high_s = {static_cast<wchar_t>(0x0100 | L'S')}; // low byte 'S'
    const std::wstring high_blank = {static_cast<wchar_t>(0x4120)};    // low byte a blank
    // Everything after "=" is ignored, padding is optional, six bits make no byte.
    const struct {
        std::wstring text;
        std::string decoded;
    } cases[] = {{L"SGVsbG8=", "Hello"},
                 {L"SGVsbG8", "Hello"},
                 {L"SGVsbG8=garbage!", "Hello"},
                 {L"SGVsbA==", "Hell"},
                 {L"=", ""},
                 {L"", ""},
                 {L"S", ""},
                 {L"+/+/", "\xfb\xff\xbf"},
                 {L"AAEC/w==", std::string("\x00\x01\x02\xff", 4)},
                 {high_s + L"GVsbG8=", "Hello"},
                 {L"SGVs bG8=", "rejected"},
                 {L"SGVs\r\nbG8=", "rejected"},
                 {L"SGVs-G8_", "rejected"},
                 {L"SGVsbG8!", "rejected"},
                 {std::wstring(L"SGVs\0bG8", 8), "rejected"},
                 {L"S" + high_blank + L"VsbG8=", "rejected"}};
    for (const auto& c : cases) {
        std::string decoded = "rejected";
        try {
            const auto bytes = base64_decode(c.text.data(), c.text.size());
            decoded.assign(bytes.begin(), bytes.end());
        } catch (const std::invalid_argument&) {
        }
        EXPECT_EQ(decoded, c.decoded) << std::string(c.text.begin(), c.text.end());
    }
    std::wstring big; // 1 MiB decodes in one piece
    while (big.size() + 4 <= (1u << 20))
        big += L"QUJD"; // "ABC"
    EXPECT_EQ(base64_decode(big.data(), big.size()).size(), big.size() / 4 * 3);
}

TEST(Base64, Utf8ResultsAndReplacementCharacters) {
    const std::pair<const wchar_t*, std::wstring> cases[] = {
        {L"w6TDtsO8", L"\u00e4\u00f6\u00fc"},
        {L"8J+YgA==", L"\U0001F600"}, // outside the BMP: a surrogate pair
        {L"/0hp", L"\ufffdHi"}};      // 0xFF is never valid UTF-8
    for (const auto& [text, expected] : cases) {
        auto bytes = base64_decode(text, wcslen(text));
        EXPECT_EQ(utf8_to_utf16(bytes.data(), bytes.size()), expected) << text;
    }
    EXPECT_EQ(utf8_to_utf16(nullptr, 0), L"");
}

TEST(CaseConversion, OnlyAsciiAndTheThreeUmlautPairs) {
    EXPECT_EQ(to_upper_case(L"stra\u00dfe \u00e4\u00f6\u00fc \u00e9a az AZ 09 [`{@"),
              L"STRA\u00dfE \u00c4\u00d6\u00dc \u00e9A AZ AZ 09 [`{@");
    EXPECT_EQ(to_lower_case(L"\u00c4\u00d6\u00dc \u00c9A az AZ 09 [`{@"),
              L"\u00e4\u00f6\u00fc \u00c9a az az 09 [`{@");
    // Units whose low byte is a letter are not letters.
    const std::wstring tricky = {static_cast<wchar_t>(0x0161), static_cast<wchar_t>(0x01E4),
                                 static_cast<wchar_t>(0xD83D), static_cast<wchar_t>(0xDE00)};
    EXPECT_EQ(to_upper_case(tricky), tricky);
    EXPECT_EQ(to_lower_case(tricky), tricky);
}
