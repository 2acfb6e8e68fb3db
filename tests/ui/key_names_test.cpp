#include "ui/key_choice.h"
#include "ui/key_names.h"

#include "dialog_driver.h"

#include <gtest/gtest.h>

namespace {

// The virtual display types with a US layout.
TEST(KeyNames, FixedNamesModifierChainsAndLayoutCharactersInEitherLanguage) {
    const struct {
        std::uint16_t code;
        const wchar_t* name;
        bool german = false;
    } cases[] = {
        {0x0014, L"Caps Lock"},
        {0x0312, L"Shift + Control + Alt"},
        {0x0612, L"AltGr + Alt"},       // Control and Alt together read as AltGr
        {0x0741, L"Shift + AltGr + a"}, // types nothing on the US layout: no hint
        {0x0041, L"a"},
        {0x0141, L"Shift + a    ( 'A' )"},
        {0x0131, L"Shift + 1    ( '!' )"},
        {0x00BA, L";"},
        {0x0241, L"Control + a"}, // U+0001: no unprintable hint
        {0x0087, L"F24"},
        {0x0174, L"Shift + F5"},
        {0x0060, L"Num 0"},
        {0x006E, L"Num ,"},
        {0x00B7, L"Start App2"},
        {0x00A6, L""}, // no name and nothing printable: nothing, prefix included
        {0x0107, L""},
        {0xFFFF, L""},
        {0x0111, L"Umschalt + Strg", true},
        {0x0014, L"Feststelltaste", true},
        {0x0274, L"Strg + F5", true}, // function keys keep their names
    };
    for (const auto& c : cases) {
        Language_scope language(c.german);
        EXPECT_EQ(key_display_name(c.code), c.name) << std::hex << c.code;
    }
}

TEST(KeyChoice, PrefixesInFixedOrderAndTheirPreselection) {
    auto prefixes = prefix_choices(L"Caps Lock");
    const std::uint32_t codes[] = {0,       0x10000, 0x100,   0x200,   0x400,
                                   0x300,   0x500,   0x700,   0x10100, 0x10200,
                                   0x10400, 0x10300, 0x10500, 0x10600, 0x10700};
    ASSERT_EQ(prefixes.size(), 15u);
    for (std::size_t i = 0; i < 15; ++i)
        EXPECT_EQ(prefixes[i].code, codes[i]) << i;
    EXPECT_EQ(prefixes[0].text + L"|" + prefixes[1].text + L"|" + prefixes[7].text + L"|" +
                  prefixes[13].text,
              L"Caps Lock| |Caps Lock + Shift + Control + Alt|Control + Alt");
    // {binding, preselected prefix}; activation key + Control + Alt is not offered.
    const std::pair<std::uint32_t, int> bindings[] = {{0xFFFF, 1},  {0x10041, 1},  {0x00141, 2},
                                                      {0x00041, 0}, {0x10774, 14}, {0x00674, 1}};
    for (const auto& [code, index] : bindings)
        EXPECT_EQ(preselected_prefix(prefixes, code), index) << std::hex << code;
}

TEST(KeyChoice, CandidateKeysOnTheUsLayout) {
    HKL layout = GetKeyboardLayout(0);
    auto codes = candidate_key_codes(layout);
    ASSERT_GE(codes.size(), 64u);
    // F1, F12, a, z, 0, Space, Pause, Num 0, Num +
    const std::pair<std::size_t, std::uint32_t> marks[] = {{0, 112},   {11, 123},  {12, 0x41},
                                                           {37, 0x5A}, {38, 0x30}, {48, 32},
                                                           {51, 19},   {52, 96},   {63, 107}};
    for (const auto& [index, code] : marks)
        EXPECT_EQ(codes[index], code) << index;
    for (std::size_t i = 68; i < codes.size(); ++i) // the typeable extras, ascending
        EXPECT_LT(codes[i - 1], codes[i]) << i;
    auto keys = key_choices(layout);
    // Num 0 (96) is offered twice when ` (96) is typeable: the last is preselected.
    std::size_t last = static_cast<std::size_t>(preselected_key(keys, 0x60));
    EXPECT_EQ(keys.at(last).code & 0xFF, 0x60u);
    for (std::size_t i = last + 1; i < keys.size(); ++i)
        EXPECT_NE(keys[i].code & 0xFF, 0x60u);
    // Every offered key is found again from a binding of it, whatever the
    // modifier and direct bits: all eight bits of the virtual key count.
    for (const auto& key : keys) {
        const auto found = static_cast<std::size_t>(preselected_key(keys, key.code | 0x10700));
        EXPECT_EQ(keys.at(found).code & 0xFF, key.code & 0xFF) << std::hex << key.code;
    }
    // A key the layout does not offer (bound on another one) preselects the
    // first entry, never a key that shares some of its bits.
    for (std::uint32_t key = 0; key < 256; ++key) {
        bool offered = false;
        for (const auto& entry : keys)
            offered = offered || (entry.code & 0xFF) == key;
        if (!offered) {
            EXPECT_EQ(preselected_key(keys, key | 0x300), 0) << std::hex << key;
        }
    }
}

} // namespace
