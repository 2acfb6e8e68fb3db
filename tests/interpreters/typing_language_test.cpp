#include "interpreters/typing_language.h"

#include "contract/parameter_values.h"
#include "host/reference_host.h"
#include "interpreters/interpreters_test_support.h"
#include "interpreters/kv_store.h"
#include "interpreters/typing_data.h"
#include "output_test_support.h"
#include "support/test_support.h"
#include "support/trace_capture.h"
#include "support/work_folder.h"

#include <gtest/gtest.h>

#include <random>

namespace {

const std::wstring press = L"\x0001", down = L"\x0002", up = L"\x0003", pause = L"\x0004";

std::vector<unsigned char> u16_bytes(unsigned value) {
    return {static_cast<unsigned char>(value & 0xFF), static_cast<unsigned char>(value >> 8)};
}

std::wstring times(const std::wstring& text, unsigned count) {
    std::wstring result;
    while (count-- > 0)
        result += text;
    return result;
}

SYSTEMTIME at(WORD year, WORD month, WORD day, WORD hour, WORD minute) {
    return SYSTEMTIME{year, month, 0, day, hour, minute, 0, 0};
}

class Typing_language_test : public ::testing::Test {
protected:
    std::wstring expand(const std::wstring& text) {
        return Typing_expander(&host, environment, clipboard).expand(text);
    }

    Reference_host host;
    Fake_environment environment;
    Fake_clipboard clipboard;
};

TEST_F(Typing_language_test, RendersEachPlaceholder) {
    clipboard.text = L"banAna 1 22";
    // Results are not scanned again, and text from outside presses no keys.
    environment.selection = L"one {date}\u00025b";
    environment.title = L"Report - Editor";
    const SYSTEMTIME first = at(1601, 1, 1, 0, 0), last = at(30827, 12, 31, 12, 0),
                     leap = at(2024, 2, 29, 12, 0);
    const struct {
        std::wstring code, expected;
        unsigned errors = 0; // error lines
        SYSTEMTIME now = Fake_environment::start;
    } cases[] = {
        {L"plain, {DATE}|{Date}|{date}", L"plain, 2026-03-14|2026-03-14|2026-03-14"},
        {L"}{}{unknown:x}{ date}{date }{ open", L"}{}{unknown:x}{ date}{date }{ open"},
        {L"a { b {date:dd.MM.} c", L"a { b 14.03. c"}, // the later "{" opens
        {L"a{|}b{cursor}c", L"a\u0006b{cursor}c"},     // the first marker, for the cursor rule
        {L"{time:hh':'mm}", L"15:09"},                 // further colons are the argument's
        // A malformed shift is format.
        {L"{date:(1 2d)yyyy}|{date:(2x)yyyy}|{date:(+1dyyyy}", L"(1 214)2026|(2x)2026|(+1142026"},
        {L"{date:(+1d)dd.MM.yyyy}", L"01.01.2027", 0, at(2026, 12, 31, 22, 0)},
        {L"{date:(1M)}", L"2027-02-28", 0, at(2027, 1, 31, 12, 0)},
        {L"{date:(1M)}", L"2028-02-29", 0, at(2028, 1, 31, 12, 0)},
        {L"{date:(1y)}|{date:(4y)}", L"2025-02-28|2028-02-29", 0, leap},
        {L"{date:(-1M)}|{date:(-14M)}", L"2024-01-29|2022-12-29", 0, leap},
        {L"{date:(+1d)}|{date:(1y 1M -1d)}", L"2024-03-01|2025-03-28", 0, leap},
        {L"{time:(-90m)}|{date:(-90m)}", L"23:00:00|2026-03-13", 0, at(2026, 3, 14, 0, 30)},
        {L"{time:(+1h 2s)HH-mm-ss}", L"01-30-02", 0, at(2026, 3, 14, 0, 30)},
        // The year range ends at 1601 and 30827.
        {L"{date:(+1d)}|{date:(+5y)}", L"30827-12-31|30827-12-31", 0, last},
        {L"{date:(99999999999999999999999d)}", L"30827-12-31", 0, last},
        {L"{date:(-1s)}|{time:(-1s)}", L"1601-01-01|00:00:00", 0, first},
        {L"{date:(-99999999999y)}|{date:(-99999999999999M)}", L"1601-01-01|1601-01-01", 0, first},
        {L"{key:ctrl shift end}",
         down + L"11" + down + L"10" + press + L"23" + up + L"10" + up + L"11"},
        {L"{KEY:Back-3}{key:ctrl c}", times(press + L"08", 3) + down + L"11c" + up + L"11"},
        {L"{key:tab}{key:return}{key:space}{key:f12}{key:lbutton}{key:page_down}",
         L"\t\r " + press + L"7b" + press + L"01" + press + L"22"},
        {L"{key_down:alt}x{key_up:alt}", down + L"12x" + up + L"12"},
        // No count: the dash is part of the name.
        {L"{key:back-0}{key:-0}{key:}{key:x-}{key:a--2}", L"x-a-a-"},
        {L"{key:shift return}\r\nx", down + L"10\r" + up + L"10x"}, // the line break dropped
        {L"{key:back-99999}", times(press + L"08", Typing_language::max_key_repeat), 1},
        {L"{sleep:500}{sleep:0x10}{sleep:0X10}{sleep:010}", // the last octal
         pause + L" 1f4" + pause + L"  10" + pause + L"  10" + pause + L"   8"},
        {L"{sleep:65535}{sleep:65536}", pause + L"   0" + pause + L"   1"},
        {L"{sleep:-5}{sleep:soon}", pause + L"   0" + pause + L"   0", 2},
        {L"{clipboard:\\d+}|{clipboard}|{clipboard:s/a/b/gi}", L"1\t22|banAna 1 22|bbnbnb 1 22"},
        {L"{clipboard:(unclosed}", L"", 1},
        {L"{selection}|{selection:s/o/0/g}", L"one {date}5b|0ne {date}5b"},
        {L"{selection:\\w+}", L"one\tdate\t5b"},
        {L"{title:^\\w+}{title:s/R/X/}", L"Report"}, // no substitution for titles
        {L"[{var:nowhere}]", L"[]", 1},
        {L"{link:Home|https://example.org}", L"\x0005L00000004|00000013Homehttps://example.org"},
        {L"{link:just text}{link:a|b|c}",
         L"\x0005L00000009|00000000just text\x0005L00000001|00000003ab|c"},
        {L"{image:https://x.org/a.png}{image:D:/pics/a.png}",
         L"\x0005I00000013https://x.org/a.png\x0005I0000000dD:/pics/a.png"},
        {L"a{open:https://example.org}b{open:}", L"ab"},
    };
    for (const auto& c : cases) {
        environment.now = c.now;
        Trace_capture trace;
        EXPECT_EQ(expand(c.code), c.expected) << c.code;
        EXPECT_EQ(trace.error_count(), c.errors) << c.code;
    }
    EXPECT_EQ(environment.opened, (std::vector<std::wstring>{L"https://example.org"}));
    EXPECT_EQ(expand(L"{sleep:99999999999999999999999}").size(), 5u);
}

TEST_F(Typing_language_test, ImageFolderComesFromTheStoreOrIsPicturesStoredThere) {
    const Work_folder work(L"zp_images");
    const std::wstring& folder = work.path();
    environment.pictures = folder;
    ASSERT_TRUE(Test_support::write_file(folder + L"\\logo.png", "x"));
    ASSERT_TRUE(Test_support::write_file(folder + L"\\Logo.bmp", "x"));
    EXPECT_EQ(expand(L"{image:logo}"), Typing_data::image_record(folder + L"\\Logo.bmp"));
    std::wstring stored;
    ASSERT_TRUE(host.kv_read(L"WE_default_image_path", stored));
    EXPECT_EQ(stored, folder);
    EXPECT_EQ(expand(L"{image:missing}"), Typing_data::image_record(folder + L"\\missing"));
    host.kv_store(L"WE_default_image_path", L"E:\\Art\\");
    EXPECT_EQ(expand(L"{image:sun.jpg}"), Typing_data::image_record(L"E:\\Art\\sun.jpg"));
}

// Actions whose runs expand texts that run actions again: a chain stops at
// the depth limit, a fan-out at the budget of runs for the top-level text,
// each with one error line; the next top-level text has a budget of its own.
TEST_F(Typing_language_test, ActionsRunThroughTheHostWithinDepthAndBudget) {
    const struct {
        std::wstring nested;
        std::size_t runs;
    } cases[] = {
        {L"{action:loop}", static_cast<std::size_t>(Typing_language::max_action_depth)},
        {L"{action:a}{action:b}{action:c}",
         static_cast<std::size_t>(Typing_language::max_action_runs)},
    };
    for (const auto& c : cases) {
        std::vector<std::wstring> idents;
        host.set_request_observer([&](const std::wstring& name, Parameters* list) {
            if (name != L"vq_default_action_handler")
                return;
            idents.push_back(Param::read_text(list, L"vq_default_action_handler"));
            EXPECT_EQ(Param::read_text(list, L"request"), L"execute");
            EXPECT_EQ(expand(c.nested), L"");
        });
        for (int round = 0; round < 2; ++round) {
            idents.clear();
            Trace_capture trace;
            EXPECT_EQ(expand(L"[{action:ZP_Loop}]"), L"[]");
            ASSERT_EQ(idents.size(), c.runs);
            EXPECT_EQ(idents[0], L"zp_loop");
            EXPECT_EQ(trace.error_count(), 1u);
        }
        host.set_request_observer(nullptr);
    }
}

// Text from outside the code never becomes key elements, whatever its
// source, and a long one arrives whole.
TEST_F(Typing_language_test, OutsideTextsAreTypedAsCharactersOnly) {
    const std::wstring marked = L"a\u00015b\u000211\u000311\u0004 1f4\u0005I00000001xz";
    const std::wstring plain = L"a5b1111 1f4I00000001xz";
    const std::wstring huge(300000, L'w');
    clipboard.text = marked;
    environment.selection = marked;
    environment.title = marked;
    host.kv_store(L"we_var_marked", marked);
    host.kv_store(L"we_var_huge", huge);
    host.set_answer(L"ask_text", {{{L"text"}, Output_test::utf16_bytes(marked), true}});
    const struct {
        std::wstring code, expected;
    } cases[] = {
        {L"{clipboard}", plain},  {L"{selection}", plain},
        {L"{title}", plain},      {L"{title:\\d[a-z]}", L"5b\t1f\t1x"},
        {L"{var:marked}", plain}, {L"{ask:text Which}", plain},
        {L"{var:huge}", huge},
    };
    for (const auto& c : cases)
        EXPECT_EQ(expand(c.code), c.expected) << c.code;
    // A cursor marker from outside is typed as it stands; only the user's
    // own moves the caret, and outside text cannot bring its mark either.
    host.kv_store(L"we_var_marker", L"a{|}b{cursor}\u0006c");
    const struct {
        std::wstring code, typed;
        unsigned left;
    } markers[] = {{L"{var:marker}x{|}yz", L"a{|}b{cursor}cxyz", 2},
                   {L"{var:marker}x{cursor}y", L"a{|}b{cursor}cxy", 1},
                   {L"{var:marker}xy", L"a{|}b{cursor}cxy", 0}};
    for (const auto& m : markers) {
        const Expansion_result r = render_code(&host, &environment, m.code, Inserted_text::plain);
        EXPECT_EQ(r.text + L"|" + std::to_wstring(r.left_presses),
                  m.typed + L"|" + std::to_wstring(m.left))
            << m.code;
    }
    // An answer of an odd byte count: the whole code units, nothing more.
    host.set_answer(L"ask_text", {{{L"text"}, {'a', 0, 'b', 0, 'c'}, false}});
    EXPECT_EQ(expand(L"{ask:text Which}"), L"ab");
}

TEST_F(Typing_language_test, QuestionsFromLastToFirstAndVariables) {
    std::vector<std::wstring> titles;
    host.set_request_observer([&](const std::wstring& name, Parameters* list) {
        if (name == L"ask_text")
            titles.push_back(Param::read_text(list, L"title"));
    });
    expand(L"{ask:text First}{ask:text,Second}{ask: text  Third }");
    EXPECT_EQ(titles, (std::vector<std::wstring>{L"Third", L"Second", L"First"}));
    host.set_answer(L"ask_text", {{{L"text"}, Output_test::utf16_bytes(L"Bob"), true}});
    EXPECT_EQ(expand(L"Hi {ask:text Name}!|{ask:color red}"), L"Hi Bob!|color red");
    host.set_answer(L"ask_date", {{{L"year"}, u16_bytes(1999), false},
                                  {{L"month"}, u16_bytes(12), false},
                                  {{L"day"}, u16_bytes(31), false}});
    EXPECT_EQ(expand(L"{ask:date When?}|{date:(ask)(+1d)yyyy/MM/dd}"), L"31.12.1999|1999/12/31");
    // Values of the wrong size are the defaults; an impossible date is made valid.
    host.set_answer(L"ask_date", {{{L"year"}, {1, 2, 3, 4}, false},
                                  {{L"month"}, u16_bytes(2), false},
                                  {{L"day"}, u16_bytes(31), false}});
    EXPECT_EQ(expand(L"{ask:date}"), L"28.02.1970");
    std::vector<unsigned> proposal;
    host.set_request_observer([&](const std::wstring& name, Parameters* list) {
        if (name == L"ask_date")
            proposal = {Param::read_u16(list, L"day", 0), Param::read_u16(list, L"month", 0),
                        Param::read_u16(list, L"year", 0)};
    });
    host.clear_answer(L"ask_date");
    EXPECT_EQ(expand(L"{date:(ask)(+1d)}"), L"2026-03-15"); // the host accepts the proposal
    EXPECT_EQ(proposal, (std::vector<unsigned>{15, 3, 2026}));

    host.set_parameters_available(false); // "ask" keeps its argument
    EXPECT_EQ(expand(L"{ask:text Name}|{ask:date x}|{var:x}"), L"text Name|date x|");
    host.set_parameters_available(true);
    host.kv_store(L"we_var_city", L"Bern");
    EXPECT_EQ(expand(L"{VAR:City}"), L"Bern");
    EXPECT_THROW(KVStore::read(&host, L""), std::invalid_argument);
    EXPECT_THROW(KVStore::read(&host, L"unknown"), KVStore::KVStore_exception);
    host.set_answer(L"kvstore_read", {{{L"result"}, {1, 2, 3}, false}}); // an odd byte count
    EXPECT_THROW(KVStore::read(&host, L"odd"), KVStore::KVStore_exception);
}

// Generated code texts: whatever a user writes, rendering ends, never
// crashes, and leaves what it does not understand as it was.
TEST_F(Typing_language_test, GeneratedTextsRenderWithoutSurprises) {
    const std::vector<std::wstring> known = {
        L"selection", L"time",      L"key",  L"key_down", L"key_up",      L"sleep",
        L"open",      L"title",     L"link", L"image",    L"var",         L"date",
        L"ask",       L"clipboard", L"DATE", L"Key",      L"\u00c4CTION", L"action"};
    const std::vector<std::wstring> unknown = {L"zz",     L"dates", L" date", L"cursor ",
                                               L"||",     L"",      L"key ",  L"klipboard",
                                               L"\xD800", L"\u00e4"};
    // No braces among the parts, so that a placeholder's extent is known.
    const std::vector<std::wstring> parts = {
        L"d",      L"a",      L" ",    L":",    L"(",    L")",       L"*",
        L"+",      L"?",      L"[",    L"]",    L"\\",   L"/",       L"|",
        L"^",      L"$",      L".",    L"-",    L"\t",   L"\u0001",  L"\xDC00",
        L"\u00c4", L"s/",     L"/g",   L"/i",   L"-0",   L"-99999",  L"0x",
        L"(+1d)",  L"(ask)",  L"(1M",  L"text", L"date", L"ctrl",    L"shift",
        L"end",    L"back-3", L"yyyy", L"hh",   L"\r\n", L"\u0005L", L"\xD83D"};
    std::minstd_rand random(20261206);
    auto below = [&](std::size_t bound) { return static_cast<std::size_t>(random() % bound); };
    auto text = [&](std::size_t max_parts) {
        std::wstring result;
        for (std::size_t i = 0, n = below(max_parts + 1); i < n; ++i)
            result += parts[below(parts.size())];
        return result;
    };
    auto placeholder = [&](const std::vector<std::wstring>& names) {
        return L"{" + names[below(names.size())] + (below(2) ? L":" + text(4) : L"") + L"}";
    };
    clipboard.text = L"abc 1 def 22 (a|b) x";
    environment.selection = L"sel";
    for (int round = 0; round < 25000; ++round) {
        // Unknown names stay literal, braces included, between plain text.
        std::wstring literal, whole, pieces, any;
        for (std::size_t i = 0, n = 1 + below(4); i < n; ++i)
            literal += text(3) + placeholder(unknown);
        ASSERT_EQ(expand(literal), literal) << round;
        // Independent placeholders render as their pieces do, unless the
        // shift-return rewrite joins pieces.
        for (std::size_t i = 0, n = 1 + below(4); i < n; ++i) {
            const std::wstring plain = text(3), code = placeholder(below(3) ? known : unknown);
            whole += plain + code;
            pieces += expand(plain) + expand(code);
        }
        if (pieces.find(L'\u0002') == std::wstring::npos &&
            whole.find(L'\r') == std::wstring::npos) {
            ASSERT_EQ(expand(whole), pieces) << round;
        }
        // Anything at all, braces too, ends.
        for (std::size_t i = 0, n = below(31); i < n; ++i)
            any += below(8) ? text(1) : below(2) ? L"{" : L"}";
        expand(any);
    }
    EXPECT_FALSE(environment.opened.empty()); // "open" reached the machine
}

} // namespace
