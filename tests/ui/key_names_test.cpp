#include "text/textprovider.h"
#include "ui/key_choice.h"
#include "ui/key_names.h"

#include "support/test_support.h"

#include <gtest/gtest.h>

namespace {

// The virtual display types with a US layout.
TEST(KeyNames, FixedNamesModifierChainsAndLayoutCharacters) {
    const struct {
        std::uint16_t code;
        const wchar_t* name;
    } cases[] = {
        {0x0014, L"Caps Lock"},
        {0x0111, L"Shift + Control"},
        {0x0212, L"Control + Alt"},
        {0x0312, L"Shift + Control + Alt"},
        {0x0612, L"AltGr + Alt"},       // Control and Alt together read as AltGr
        {0x0741, L"Shift + AltGr + a"}, // types nothing on the US layout: no hint
        {0x0041, L"a"},
        {0x0141, L"Shift + a    ( 'A' )"},
        {0x0131, L"Shift + 1    ( '!' )"},
        {0x00BA, L";"},
        {0x0241, L"Control + a"}, // U+0001: no unprintable hint
        {0x0070, L"F1"},
        {0x0087, L"F24"},
        {0x0174, L"Shift + F5"},
        {0x0060, L"Num 0"},
        {0x006E, L"Num ,"},
        {0x00B7, L"Start App2"},
        // Keys without a name or a printable character give nothing, prefix included.
        {0x00A6, L""},
        {0x0107, L""},
        {0x0000, L""},
        {0xFFFF, L""},
    };
    for (const auto& c : cases)
        EXPECT_EQ(key_display_name(c.code), c.name) << std::hex << c.code;
}

TEST(KeyNames, NamesAndModifiersFollowTheLanguageButFunctionKeysDoNot) {
    std::wstring lng = Test_support::exe_directory() + L"plugins\\zaptor.lng";
    ASSERT_TRUE(Test_support::file_exists(lng));
    text_provider().set_language_from_file(lng, L"de");
    std::wstring german_chain = key_display_name(0x0111);
    std::wstring german_caps = key_display_name(0x0014);
    std::wstring german_f5 = key_display_name(0x0274);
    std::wstring german_altgr = key_display_name(0x0651);
    text_provider().set_language_from_file(lng, L"");
    EXPECT_EQ(german_chain, L"Umschalt + Strg");
    EXPECT_EQ(german_caps, L"Feststelltaste");
    EXPECT_EQ(german_f5, L"Strg + F5");
    EXPECT_EQ(german_altgr.rfind(L"AltGr + q", 0), 0u) << german_altgr;
    EXPECT_EQ(key_display_name(0x0111), L"Shift + Control");
}

TEST(KeyChoice, PrefixesInFixedOrderAndTheirPreselection) {
    auto prefixes = prefix_choices(L"Caps Lock");
    ASSERT_EQ(prefixes.size(), 15u);
    const std::uint32_t codes[] = {0x00000, 0x10000, 0x00100, 0x00200, 0x00400,
                                   0x00300, 0x00500, 0x00700, 0x10100, 0x10200,
                                   0x10400, 0x10300, 0x10500, 0x10600, 0x10700};
    for (std::size_t i = 0; i < 15; ++i)
        EXPECT_EQ(prefixes[i].code, codes[i]) << i;
    EXPECT_EQ(prefixes[0].text, L"Caps Lock");
    EXPECT_EQ(prefixes[1].text, L" ");
    EXPECT_EQ(prefixes[2].text, L"Caps Lock + Shift");
    EXPECT_EQ(prefixes[7].text, L"Caps Lock + Shift + Control + Alt");
    EXPECT_EQ(prefixes[12].text, L"Shift + Alt");
    EXPECT_EQ(prefixes[13].text, L"Control + Alt");

    EXPECT_EQ(preselected_prefix(prefixes, 0xFFFF), 1);
    EXPECT_EQ(preselected_prefix(prefixes, 0x10041), 1);
    EXPECT_EQ(preselected_prefix(prefixes, 0x00141), 2);
    EXPECT_EQ(preselected_prefix(prefixes, 0x00041), 0);
    EXPECT_EQ(preselected_prefix(prefixes, 0x10774), 14);
    // The activation key with Control and Alt is not offered.
    EXPECT_EQ(preselected_prefix(prefixes, 0x00674), 1);
}

TEST(KeyChoice, CandidateKeysOnTheUsLayout) {
    HKL layout = GetKeyboardLayout(0);
    auto codes = candidate_key_codes(layout);
    ASSERT_GE(codes.size(), 12u + 36u + 4u + 12u);
    for (std::uint32_t i = 0; i < 12; ++i)
        EXPECT_EQ(codes[i], 112 + i);
    EXPECT_EQ(codes[12], 0x41u); // a
    EXPECT_EQ(codes[37], 0x5Au); // z
    EXPECT_EQ(codes[38], 0x30u); // 0
    EXPECT_EQ(codes[48], 32u);
    EXPECT_EQ(codes[51], 19u);
    EXPECT_EQ(codes[52], 96u);
    EXPECT_EQ(codes[63], 107u);
    // Each extra code lies in its ranges and they ascend.
    for (std::size_t i = 67; i < codes.size(); ++i) {
        std::uint32_t n = codes[i];
        EXPECT_TRUE((n >= 33 && n <= 47) || (n >= 58 && n <= 64) || (n >= 91 && n <= 96) ||
                    (n >= 123 && n <= 255))
            << n;
        if (i > 67) {
            EXPECT_LT(codes[i - 1], n);
        }
    }

    auto keys = key_choices(layout);
    ASSERT_FALSE(keys.empty());
    EXPECT_EQ(keys[0].text, L"F1");
    for (const auto& key : keys)
        EXPECT_FALSE(key.text.empty()) << key.code;
    EXPECT_EQ(preselected_key(keys, 0xFFFF), 0);
    int a = preselected_key(keys, 0x10041);
    EXPECT_EQ(keys[static_cast<std::size_t>(a)].code, 0x41u);
    EXPECT_EQ(keys[static_cast<std::size_t>(a)].text, L"a");
    // Num 0 (96) is offered twice when ` (96) is typeable: the last one is preselected.
    int last = preselected_key(keys, 0x60);
    EXPECT_EQ(keys[static_cast<std::size_t>(last)].code & 0xFF, 0x60u);
    for (std::size_t i = static_cast<std::size_t>(last) + 1; i < keys.size(); ++i)
        EXPECT_NE(keys[i].code & 0xFF, 0x60u);
}

} // namespace
