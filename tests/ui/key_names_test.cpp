#include "ui/key_choice.h"
#include "ui/key_names.h"

#include "dialog_driver.h"

#include <array>

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
    std::wstring german[4];
    {
        Language_scope scope(true);
        for (int i = 0; i < 4; ++i)
            german[i] =
                key_display_name(std::array<std::uint16_t, 4>{0x111, 0x14, 0x274, 0x651}[i]);
    }
    EXPECT_EQ(german[0], L"Umschalt + Strg");
    EXPECT_EQ(german[1], L"Feststelltaste");
    EXPECT_EQ(german[2], L"Strg + F5");
    EXPECT_EQ(german[3].rfind(L"AltGr + q", 0), 0u) << german[3];
    EXPECT_EQ(key_display_name(0x0111), L"Shift + Control");
}

TEST(KeyChoice, PrefixesInFixedOrderAndTheirPreselection) {
    auto prefixes = prefix_choices(L"Caps Lock");
    const struct {
        std::uint32_t code;
        const wchar_t* text; // null: not checked
    } expected[] = {{0x00000, L"Caps Lock"},
                    {0x10000, L" "},
                    {0x00100, L"Caps Lock + Shift"},
                    {0x00200, nullptr},
                    {0x00400, nullptr},
                    {0x00300, nullptr},
                    {0x00500, nullptr},
                    {0x00700, L"Caps Lock + Shift + Control + Alt"},
                    {0x10100, nullptr},
                    {0x10200, nullptr},
                    {0x10400, nullptr},
                    {0x10300, nullptr},
                    {0x10500, L"Shift + Alt"},
                    {0x10600, L"Control + Alt"},
                    {0x10700, nullptr}};
    ASSERT_EQ(prefixes.size(), std::size(expected));
    for (std::size_t i = 0; i < prefixes.size(); ++i) {
        EXPECT_EQ(prefixes[i].code, expected[i].code) << i;
        if (expected[i].text)
            EXPECT_EQ(prefixes[i].text, expected[i].text) << i;
    }
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
    // a, z, 0, Space, Pause, Num 0, Num +
    const std::pair<std::size_t, std::uint32_t> marks[] = {
        {12, 0x41}, {37, 0x5A}, {38, 0x30}, {48, 32}, {51, 19}, {52, 96}, {63, 107}};
    for (const auto& [index, code] : marks)
        EXPECT_EQ(codes[index], code) << index;
    // Each extra code lies in its ranges and they ascend.
    for (std::size_t i = 67; i < codes.size(); ++i) {
        std::uint32_t n = codes[i];
        EXPECT_TRUE((n >= 33 && n <= 47) || (n >= 58 && n <= 64) || (n >= 91 && n <= 96) ||
                    (n >= 123 && n <= 255))
            << n;
        EXPECT_TRUE(i == 67 || codes[i - 1] < n) << n;
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
