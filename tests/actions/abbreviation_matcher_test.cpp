// The typed-abbreviation matcher on its own: characters in, fires out.
#include "actions/abbreviation_matcher.h"
#include "actions/shortcut_listener.h"

#include <gtest/gtest.h>

#include <string>

namespace {

// Each row types its text one character (a surrogate pair as one) at a time;
// '<' is a Backspace and '|' a reset (focus change, navigation key). Fires
// are listed as ident:shown:separator:case, joined by commas.
TEST(Abbreviation_matcher, fires_at_the_tail_as_typed) {
    const Abbreviation_set set({
        {L"btw", L"btw", false, false},
        {L"Btw", L"dup", false, false}, // clashes with "btw": left out
        {L"my", L"my", false, false},
        {L"myself", L"myself", false, false},
        {L"111", L"ones", true, false},
        {L";sig", L"sig", true, false},
        {L"ID", L"id", false, true},
        {L"o\U0001F600", L"smile", true, false},
        {L"\U0001F600k", L"pairk", false, false},
    });
    const struct {
        const wchar_t* typed;
        const wchar_t* fires;
    } cases[] = {
        {L"btw ", L"btw:3: :0"},
        {L"xbtw ", L""},
        {L"(btw)", L"btw:3:):0"},
        {L"btw", L""},
        {L"btwx ", L""},
        {L"Btw ", L"btw:3: :1"},
        {L"BTW.", L"btw:3:.:2"},
        {L"bTW ", L"btw:3: :0"},
        {L"my ", L"my:2: :0"},
        {L"myself ", L"myself:6: :0"},
        {L"mys ", L""},
        {L"my my ", L"my:2: :0,my:2: :0"},
        {L"1111", L"ones:2::0"},
        {L"111111", L"ones:2::0,ones:2::0"},
        {L"x;sig", L"sig:3::0"},
        {L"ID ", L"id:2: :0"},
        {L"id ", L""},
        {L"Id ", L""},
        {L"btx<w ", L"btw:3: :0"},
        {L"bt<<<btw ", L"btw:3: :0"},
        {L"xb<btw ", L""},
        {L"x <btw ", L""},
        {L"x|btw ", L"btw:3: :0"},
        {L"bt|w ", L""},
        {L"xo\U0001F600", L"smile:1::0"},
        {L" \U0001F600k ", L"pairk:2: :0"},
        {L" \U0001F600<\U0001F600k ", L"pairk:2: :0"},
        {L" x\U0001F600<<\U0001F600k ", L"pairk:2: :0"},
        {L"a\U0001F600k ", L""},
        {L"xxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxx btw ",
         L"btw:3: :0"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(::testing::PrintToString(std::wstring(c.typed)));
        Abbreviation_matcher matcher;
        std::wstring fires;
        const std::wstring typed = c.typed;
        for (std::size_t i = 0; i < typed.size(); ++i) {
            if (typed[i] == L'<') {
                matcher.backspace();
                continue;
            }
            if (typed[i] == L'|') {
                matcher.clear();
                continue;
            }
            const std::size_t count = typed[i] >= 0xD800 && typed[i] <= 0xDBFF ? 2 : 1;
            Abbreviation_match match;
            if (matcher.type(&typed[i], count, set, match)) {
                if (!fires.empty())
                    fires += L",";
                fires += match.ident + L":" + std::to_wstring(match.shown) + L":" +
                         match.separator + L":" +
                         std::to_wstring(static_cast<int>(match.typed_case));
                EXPECT_TRUE(matcher.text().empty()) << "the buffer is cleared after a fire";
            }
            i += count - 1;
        }
        EXPECT_EQ(fires, c.fires);
    }
}

TEST(Abbreviation_matcher, image_patterns_match_case_blind_with_wildcards) {
    const struct {
        const wchar_t* pattern;
        const wchar_t* name;
        bool matches;
    } cases[] = {
        {L"keepass*.exe", L"KeePass.exe", true},
        {L"keepass*.exe", L"KeePassXC.exe", true},
        {L"keepass*.exe", L"keepass.exe.bak", false},
        {L"?ash.exe", L"bash.exe", true},
        {L"?ash.exe", L"ash.exe", false},
        {L"*", L"", true},
        {L"notepad.exe", L"notepad.exe", true},
        {L"note*pad*.exe", L"notepad.exe", true},
        {L"putty.exe", L"putty.exe2", false},
    };
    for (const auto& c : cases)
        EXPECT_EQ(matches_image_pattern(c.pattern, c.name), c.matches)
            << ::testing::PrintToString(std::wstring(c.pattern)) << " "
            << ::testing::PrintToString(std::wstring(c.name));
}

} // namespace
