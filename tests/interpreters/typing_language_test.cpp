#include "interpreters/typing_language.h"

#include "contract/filter_registration.h"
#include "contract/parameter_values.h"
#include "host/reference_host.h"
#include "interpreters/interpreters_test_support.h"
#include "interpreters/kv_store.h"
#include "interpreters/time_shift.h"
#include "interpreters/typing_data.h"
#include "storage/trace_capture.h"
#include "support/test_support.h"

#include <gtest/gtest.h>

namespace {

std::vector<unsigned char> text_bytes(const std::wstring& text) {
    std::vector<unsigned char> bytes;
    for (wchar_t c : text) {
        bytes.push_back(static_cast<unsigned char>(c & 0xFF));
        bytes.push_back(static_cast<unsigned char>((c >> 8) & 0xFF));
    }
    bytes.push_back(0);
    bytes.push_back(0);
    return bytes;
}

std::vector<unsigned char> u16_bytes(unsigned value) {
    return {static_cast<unsigned char>(value & 0xFF), static_cast<unsigned char>(value >> 8)};
}

const std::wstring press = L"\x0001";
const std::wstring down = L"\x0002";
const std::wstring up = L"\x0003";

class Typing_language_test : public ::testing::Test {
protected:
    std::wstring expand(const std::wstring& text) {
        Typing_expander expander(&host, environment, clipboard);
        return expander.expand(text);
    }

    Reference_host host;
    Fake_environment environment;
    Fake_clipboard clipboard;
};

TEST_F(Typing_language_test, ScannerLeavesUnansweredAndUnmatchedBracesLiteral) {
    EXPECT_EQ(expand(L"plain text, no braces"), L"plain text, no braces");
    // Capitals in the name run the same command; spaces around it match nothing.
    EXPECT_EQ(expand(L"{DATE}|{Date}|{date}"), L"2026-03-14|2026-03-14|2026-03-14");
    EXPECT_EQ(expand(L"{ date}{date }"), L"{ date}{date }");
    // A lone "{" before a complete placeholder stays, with the text between.
    EXPECT_EQ(expand(L"a { b {date:dd.MM.} c"), L"a { b 14.03. c");
    EXPECT_EQ(expand(L"open { never closed"), L"open { never closed");
    EXPECT_EQ(expand(L"}{}{unknown:x}"), L"}{}{unknown:x}");
    // Results are not scanned again: a clipboard holding a placeholder stays literal.
    clipboard.text = L"{date}";
    EXPECT_EQ(expand(L"[{clipboard}]"), L"[{date}]");
    // The cursor markers are left for the cursor rule.
    EXPECT_EQ(expand(L"a{|}b{cursor}c"), L"a{|}b{cursor}c");
    // Further colons belong to the argument.
    EXPECT_EQ(expand(L"{time:hh':'mm}"), L"15:09");

    const auto spans = find_placeholders(L"x{a}{b{c}}");
    ASSERT_EQ(spans.size(), 2u);
    EXPECT_EQ(spans[0].begin, 1u);
    EXPECT_EQ(spans[0].end, 4u);
    EXPECT_EQ(spans[1].begin, 6u); // "{b" is text: the later "{" opens
    EXPECT_EQ(spans[1].end, 9u);
}

TEST_F(Typing_language_test, PlaceholdersRunFromLastToFirst) {
    std::vector<std::wstring> titles;
    host.set_request_observer([&](const std::wstring& name, Parameters* list) {
        if (name == L"ask_text")
            titles.push_back(Param::read_text(list, L"title"));
    });
    expand(L"{ask:text First}{ask:text,Second}{ask: text  Third }");
    EXPECT_EQ(titles, (std::vector<std::wstring>{L"Third", L"Second", L"First"}));
}

TEST_F(Typing_language_test, DatesAndTimesWithShifts) {
    environment.set_now(2026, 12, 31, 22, 0, 0);
    EXPECT_EQ(expand(L"{date:(+1d)dd.MM.}"), L"01.01.");
    EXPECT_EQ(expand(L"{date:(+1d)yyyy}"), L"2027");
    environment.set_now(2027, 1, 31, 12, 0, 0);
    EXPECT_EQ(expand(L"{date:(1M)}"), L"2027-02-28");
    environment.set_now(2028, 1, 31, 12, 0, 0);
    EXPECT_EQ(expand(L"{date:(1M)}"), L"2028-02-29"); // leap year
    environment.set_now(2024, 2, 29, 12, 0, 0);
    EXPECT_EQ(expand(L"{date:(1y)}"), L"2025-02-28");
    EXPECT_EQ(expand(L"{date:(4y)}"), L"2028-02-29");
    EXPECT_EQ(expand(L"{date:(-1M)}"), L"2024-01-29");
    EXPECT_EQ(expand(L"{date:(-14M)}"), L"2022-12-29"); // months carry into years backwards
    EXPECT_EQ(expand(L"{date:(+1d)}"), L"2024-03-01");
    EXPECT_EQ(expand(L"{date:(1y 1M -1d)}"), L"2025-03-28");
    environment.set_now(2026, 3, 14, 0, 30, 0);
    EXPECT_EQ(expand(L"{time:(-90m)}"), L"23:00:00");
    EXPECT_EQ(expand(L"{date:(-90m)}"), L"2026-03-13");
    EXPECT_EQ(expand(L"{time:(+1h 2s)HH-mm-ss}"), L"01-30-02");
    // Malformed shifts are no shifts and stay part of the format.
    EXPECT_EQ(expand(L"{date:(1 2d)yyyy}"), L"(1 214)2026"); // "d" is the day
    EXPECT_EQ(expand(L"{date:(2x)yyyy}"), L"(2x)2026");
    EXPECT_EQ(expand(L"{date:(+1dyyyy}"), L"(+1142026");
}

TEST_F(Typing_language_test, ShiftsStopAtTheEdgesOfTheYearRange) {
    environment.set_now(30827, 12, 31, 12, 0, 0);
    EXPECT_EQ(expand(L"{date:(+1d)}"), L"30827-12-31");
    EXPECT_EQ(expand(L"{date:(+5y)}"), L"30827-12-31");
    EXPECT_EQ(expand(L"{date:(99999999999999999999999d)}"), L"30827-12-31");
    environment.set_now(1601, 1, 1, 0, 0, 0);
    EXPECT_EQ(expand(L"{date:(-1s)}"), L"1601-01-01");
    EXPECT_EQ(expand(L"{date:(-99999999999y)}"), L"1601-01-01");
    EXPECT_EQ(expand(L"{date:(-99999999999999M)}"), L"1601-01-01");
    EXPECT_EQ(expand(L"{time:(-1s)}"), L"00:00:00");

    Time_shift shift;
    std::wstring argument = L"( +3y -2M 4d )rest";
    ASSERT_TRUE(take_time_shift(argument, shift));
    EXPECT_EQ(argument, L"rest");
    EXPECT_EQ(shift.years, 3);
    EXPECT_EQ(shift.months, -2);
    EXPECT_EQ(shift.seconds, 4 * 86400);
}

TEST_F(Typing_language_test, KeysAndPauses) {
    EXPECT_EQ(expand(L"{key:ctrl shift end}"),
              down + L"11" + down + L"10" + press + L"23" + up + L"10" + up + L"11");
    EXPECT_EQ(expand(L"{KEY:Back-3}"), press + L"08" + press + L"08" + press + L"08");
    EXPECT_EQ(expand(L"{key:ctrl c}"), down + L"11c" + up + L"11");
    EXPECT_EQ(expand(L"{key:tab}{key:return}{key:space}"), L"\t\r ");
    EXPECT_EQ(expand(L"{key:f12}{key:lbutton}{key:page_down}"),
              press + L"7b" + press + L"01" + press + L"22");
    EXPECT_EQ(expand(L"{key_down:alt}x{key_up:alt}"), down + L"12x" + up + L"12");
    EXPECT_EQ(expand(L"{key:back-0}"), L"");
    EXPECT_EQ(expand(L"{key:-0}"), L"");
    EXPECT_EQ(expand(L"{key:x-}"), L"x-"); // no count: the dash is part of the name
    EXPECT_EQ(expand(L"{key:}"), L"");
    {
        Trace_capture trace;
        const std::wstring many = expand(L"{key:back-99999}");
        EXPECT_EQ(many.size(), 3u * Typing_language::max_key_repeat);
        EXPECT_EQ(trace.errors("Typing_language::key_sequence").size(), 1u);
    }
    EXPECT_EQ(expand(L"{key:a--2}"), L"a-a-");

    EXPECT_EQ(expand(L"{sleep:500}"), L"\x0004 1f4");
    EXPECT_EQ(expand(L"{sleep:0x10}"), L"\x0004  10");
    EXPECT_EQ(expand(L"{sleep:0X10}"), L"\x0004  10"); // lower-cased first
    EXPECT_EQ(expand(L"{sleep:010}"), L"\x0004   8");  // octal
    EXPECT_EQ(expand(L"{sleep:65535}"), L"\x0004   0");
    EXPECT_EQ(expand(L"{sleep:65536}"), L"\x0004   1");
    EXPECT_EQ(expand(L"{sleep:99999999999999999999999}").size(), 5u);
    {
        Trace_capture trace;
        EXPECT_EQ(expand(L"{sleep:-5}"), L"\x0004   0");
        EXPECT_EQ(expand(L"{sleep:soon}"), L"\x0004   0");
        EXPECT_EQ(trace.errors("Typing_language::sleep_element").size(), 2u);
    }
    // A line break right after shift-return is dropped.
    EXPECT_EQ(expand(L"{key:shift return}\r\nx"), down + L"10\r" + up + L"10x");
}

TEST_F(Typing_language_test, ClipboardFiltersAndSelection) {
    clipboard.text = L"abc 1 def 22 x";
    EXPECT_EQ(expand(L"{clipboard:\\d+}"), L"1\t22");
    EXPECT_EQ(expand(L"{clipboard:zzz}"), L"");
    EXPECT_EQ(expand(L"{clipboard}"), L"abc 1 def 22 x");
    clipboard.text = L"banAna";
    EXPECT_EQ(expand(L"{clipboard:s/a/b/}"), L"bbnAna");
    EXPECT_EQ(expand(L"{clipboard:s/a/b/g}"), L"bbnAnb");
    EXPECT_EQ(expand(L"{clipboard:s/a/b/gi}"), L"bbnbnb");
    EXPECT_EQ(expand(L"{clipboard:s/a/b/i}"), L"bbnAna");
    // A malformed substitution is a plain pattern.
    EXPECT_EQ(expand(L"{clipboard:s/a/b/x}"), L"");

    environment.selection = L"one two";
    EXPECT_EQ(expand(L"{selection}"), L"one two");
    EXPECT_EQ(expand(L"{selection:s/o/0/g}"), L"0ne tw0");
    EXPECT_EQ(expand(L"{selection:\\w+}"), L"one\ttwo");
    environment.title = L"Report - Editor";
    EXPECT_EQ(expand(L"{title}"), L"Report - Editor");
    EXPECT_EQ(expand(L"{title:^\\w+}"), L"Report");
    // Title has no substitution: the argument is a pattern.
    EXPECT_EQ(expand(L"{title:s/R/X/}"), L"");
    {
        Trace_capture trace;
        EXPECT_EQ(expand(L"{clipboard:(unclosed}"), L"");
        EXPECT_EQ(trace.errors("Regex_filter::join_matches").size(), 1u);
    }
}

TEST_F(Typing_language_test, LinksImagesOpenAndActions) {
    EXPECT_EQ(expand(L"{link:Home|https://example.org}"),
              L"\x0005L00000004|00000013Homehttps://example.org");
    EXPECT_EQ(expand(L"{link:just text}"), L"\x0005L00000009|00000000just text");
    EXPECT_EQ(expand(L"{link:a|b|c}"), L"\x0005L00000001|00000003ab|c");
    EXPECT_EQ(expand(L"{image:https://x.org/a.png}"), L"\x0005I00000013https://x.org/a.png");
    EXPECT_EQ(expand(L"{image:D:/pics/a.png}"), L"\x0005I0000000dD:/pics/a.png");

    // The image folder comes from the host's store; without an entry the
    // Pictures folder is stored there and used.
    std::wstring folder = Test_support::make_temp_directory(L"zp_images");
    while (!folder.empty() && folder.back() == L'\\')
        folder.pop_back();
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
    Test_support::remove_tree(folder);

    EXPECT_EQ(expand(L"a{open:https://example.org}b{open:}"), L"ab");
    EXPECT_EQ(environment.opened, (std::vector<std::wstring>{L"https://example.org"}));

    std::vector<std::wstring> runs;
    host.set_request_observer([&](const std::wstring& name, Parameters* list) {
        if (name != L"vq_default_action_handler")
            return;
        runs.push_back(Param::read_text(list, L"vq_default_action_handler"));
        EXPECT_EQ(Param::read_text(list, L"request"), L"execute");
        const void* data = nullptr;
        unsigned size = 0;
        ASSERT_TRUE(list->get(L"deactivate", &data, &size));
        EXPECT_EQ(size, 4u);
    });
    EXPECT_EQ(expand(L"[{action:ZP_Uppercase}]"), L"[]");
    EXPECT_EQ(runs, (std::vector<std::wstring>{L"zp_uppercase"}));
}

// A filter that answers an action by expanding a text that runs it again.
class Self_running_action final : public Filter {
public:
    Self_running_action(Reference_host& host, Fake_environment& environment,
                        Fake_clipboard& clipboard)
        : host_(host), environment_(environment), clipboard_(clipboard),
          registration_(&host, this, {L"vq_default_action_handler"}) {}
    void* destroy(unsigned) override { return this; }
    int status() override { return 1; }
    int process(const wchar_t*, unsigned, Parameters*) override {
        ++runs;
        Typing_expander expander(&host_, environment_, clipboard_);
        expander.expand(L"{action:loop}");
        return 0;
    }
    int runs = 0;

private:
    Reference_host& host_;
    Fake_environment& environment_;
    Fake_clipboard& clipboard_;
    Filter_registration registration_;
};

TEST_F(Typing_language_test, AnActionRunningItselfStopsAtTheDepthLimit) {
    Trace_capture trace;
    Self_running_action action(host, environment, clipboard);
    EXPECT_EQ(expand(L"{action:loop}"), L"");
    EXPECT_EQ(action.runs, Typing_language::max_action_depth);
    EXPECT_EQ(trace.errors("Typing_expander::action").size(), 1u);
}

TEST_F(Typing_language_test, QuestionsAndVariables) {
    host.set_answer(L"ask_text", {{{L"text"}, text_bytes(L"Bob"), true}});
    EXPECT_EQ(expand(L"Hi {ask:text Name}!"), L"Hi Bob!");
    EXPECT_EQ(expand(L"{ask:color red}"), L"color red"); // unknown kind: the argument

    host.set_answer(L"ask_date", {{{L"year"}, u16_bytes(1999), false},
                                  {{L"month"}, u16_bytes(12), false},
                                  {{L"day"}, u16_bytes(31), false}});
    EXPECT_EQ(expand(L"{ask:date When?}"), L"31.12.1999");
    EXPECT_EQ(expand(L"{date:(ask)(+1d)yyyy/MM/dd}"), L"1999/12/31");
    // Values of the wrong size are the defaults; an impossible date is made valid.
    host.set_answer(L"ask_date", {{{L"year"}, {1, 2, 3, 4}, false},
                                  {{L"month"}, u16_bytes(2), false},
                                  {{L"day"}, u16_bytes(31), false}});
    EXPECT_EQ(expand(L"{ask:date}"), L"28.02.1970");
    host.set_no_answer(L"ask_date");
    std::vector<unsigned> proposal;
    host.set_request_observer([&](const std::wstring& name, Parameters* list) {
        if (name == L"ask_date")
            proposal = {Param::read_u16(list, L"day", 0), Param::read_u16(list, L"month", 0),
                        Param::read_u16(list, L"year", 0)};
    });
    host.clear_answer(L"ask_date");
    EXPECT_EQ(expand(L"{date:(ask)(+1d)}"), L"2026-03-15"); // the host accepts the proposal
    EXPECT_EQ(proposal, (std::vector<unsigned>{15, 3, 2026}));

    // No parameter list from the host: "ask" keeps its argument.
    host.set_parameters_available(false);
    EXPECT_EQ(expand(L"{ask:text Name}|{ask:date x}"), L"text Name|date x");
    EXPECT_EQ(expand(L"{var:x}"), L"");
    host.set_parameters_available(true);

    host.kv_store(L"we_var_city", L"Bern");
    EXPECT_EQ(expand(L"{VAR:City}"), L"Bern");
    {
        Trace_capture trace;
        EXPECT_EQ(expand(L"[{var:nowhere}]"), L"[]");
        EXPECT_EQ(trace.errors("Typing_expander::var").size(), 1u);
    }
    EXPECT_THROW(KVStore::read(&host, L""), std::invalid_argument);
    EXPECT_THROW(KVStore::read(&host, L"unknown"), KVStore::KVStore_exception);
    host.set_answer(L"kvstore_read", {{{L"result"}, {1, 2, 3}, false}});
    try {
        KVStore::read(&host, L"odd");
        ADD_FAILURE() << "an odd byte count must not read as a text";
    } catch (const KVStore::KVStore_exception& e) {
        EXPECT_STREQ(e.what(), "kv_store returned invalid object");
    }
}

TEST_F(Typing_language_test, TypingDataElements) {
    EXPECT_EQ(Typing_data::pause_element(0xfffe), L"\x0004"
                                                  L"fffe");
    EXPECT_EQ(Typing_data::key_element(Typing_data::key_up, 0xAB), L"\x0003"
                                                                   L"ab");
    EXPECT_EQ(Typing_language::lower_case(L"ÄÖÜ-ABCxyz-É"), L"äöü-abcxyz-É");
    EXPECT_EQ(Typing_language::drop_break_after_shift_return(L"a\r\n"), L"a\r\n");
}

TEST(Render_code_test, CursorMarkerBecomesLeftPresses) {
    Reference_host host;
    Fake_environment environment;
    const Expansion_result result =
        render_code(&host, &environment, L"Dear {|}World, {date:yyyy}", Inserted_text::plain);
    EXPECT_EQ(result.text, L"Dear World, 2026");
    EXPECT_EQ(result.left_presses, 11u);
    const std::wstring typed = append_cursor_moves(
        render_code(&host, &environment, L"say {cursor}hello", Inserted_text::plain));
    std::wstring expected = L"say hello";
    for (int i = 0; i < 5; ++i)
        expected += L"\x0001"
                    L"25";
    EXPECT_EQ(typed, expected);
}

} // namespace
