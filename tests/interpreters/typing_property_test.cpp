// Generated code texts: whatever a user writes, rendering ends, never
// crashes, and leaves what it does not understand as it was.
#include "host/reference_host.h"
#include "interpreters/interpreters_test_support.h"
#include "interpreters/typing_language.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

namespace {

const std::vector<std::wstring> known_names = {
    L"selection", L"time",  L"key",       L"key_down", L"key_up", L"sleep",
    L"open",      L"title", L"link",      L"image",    L"var",    L"action",
    L"date",      L"ask",   L"clipboard", L"DATE",     L"Key",    L"ÄCTION"};
const std::vector<std::wstring> unknown_names = {L"zz", L"dates", L" date",     L"cursor", L"|",
                                                 L"",   L"key ",  L"klipboard", L"\xD800", L"ä"};
// Fragments of arguments and text: any one character of the first, or one of
// the rest. No braces, so that a placeholder's extent is known.
const std::wstring characters = L"da :()*+?[]\\/|^$.-\t\x0001\xDC00\x00C4";
const std::vector<std::wstring> fragments = {
    L"s/",     L"/g",   L"/i",   L"-0",   L"-99999",  L"0x",           L"(+1d)",
    L"(ask)",  L"(1M",  L"text", L"date", L"ctrl",    L"shift",        L"end",
    L"back-3", L"yyyy", L"hh",   L"\r\n", L"\x0005L", L"\xD83D\xDE00", L"99999999999999999999"};

class Property_test : public ::testing::Test {
protected:
    unsigned below(unsigned bound) {
        state = state * 6364136223846793005ULL + 1442695040888963407ULL;
        return static_cast<unsigned>(state >> 33) % bound;
    }
    const std::wstring& pick(const std::vector<std::wstring>& items) {
        return items[below(static_cast<unsigned>(items.size()))];
    }
    std::wstring random_text(unsigned max_parts) {
        std::wstring text;
        for (unsigned i = 0, n = below(max_parts + 1); i < n; ++i)
            text +=
                below(2) ? pick(fragments) : std::wstring(1, characters[below(characters.size())]);
        return text;
    }
    std::wstring expand(const std::wstring& text) {
        return Typing_expander(&host, environment, clipboard).expand(text);
    }

    std::uint64_t state = 20261206;
    Reference_host host;
    Fake_environment environment;
    Fake_clipboard clipboard;
};

TEST_F(Property_test, GeneratedTextsRenderWithoutSurprises) {
    clipboard.text = L"abc 1 def 22 (a|b) x";
    environment.selection = L"sel";
    for (int round = 0; round < 25000; ++round) {
        // Unknown names stay literal, braces included, between plain text.
        std::wstring text;
        for (unsigned i = 0, n = 1 + below(4); i < n; ++i) {
            text += random_text(3) + L"{" + pick(unknown_names);
            if (below(2))
                text += L":" + random_text(4);
            text += L"}";
        }
        ASSERT_EQ(expand(text), text) << round;

        // Independent placeholders: the whole renders as its pieces do, unless
        // the shift-return rewrite joins pieces.
        std::wstring whole, expected;
        for (unsigned i = 0, n = 1 + below(4); i < n; ++i) {
            const std::wstring plain = random_text(3);
            std::wstring placeholder = L"{" + (below(3) ? pick(known_names) : pick(unknown_names));
            if (below(3))
                placeholder += L":" + random_text(4);
            placeholder += L"}";
            whole += plain + placeholder;
            expected += expand(plain) + expand(placeholder);
        }
        if (expected.find(L'\x0002') == std::wstring::npos &&
            whole.find(L'\r') == std::wstring::npos)
            ASSERT_EQ(expand(whole), expected) << round;

        // Anything at all, braces too, ends and gives some text back.
        std::wstring any;
        for (unsigned i = 0, n = below(31); i < n; ++i)
            any += below(8) ? random_text(1) : below(2) ? L"{" : L"}";
        expand(any);
    }
    EXPECT_FALSE(environment.opened.empty()); // "open" reached the machine
}

} // namespace
