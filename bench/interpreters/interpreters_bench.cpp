// Rendering cost of the typing language, its regex filter and the links built
// from large selections, and the cost of one search keystroke in the action
// list, each beside a baseline or a ratio measured in the same run.
#include "bench/bench_support.h"
#include "builtin_actions/tweet_action.h"
#include "contract/parameter_values.h"
#include "host/reference_host.h"
#include "interpreters/typing_environment.h"
#include "interpreters/typing_interpreter.h"
#include "interpreters/typing_language.h"
#include "interpreters/url_interpreter.h"
#include "storage/code_storage.h"

#include <sqlite3.h>
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <string>

namespace {

using Bench::measure;
using Bench::sink;

class Quiet_environment final : public Typing_environment {
public:
    SYSTEMTIME local_time() override {
        SYSTEMTIME time{};
        time.wYear = 2026;
        time.wMonth = 3;
        time.wDay = 14;
        return time;
    }
    std::wstring selection = L"selection";
    std::wstring selection_text() override { return selection; }
    std::wstring foreground_window_title() override { return L"Title"; }
    void open(const std::wstring&) override {}
    std::wstring pictures_folder() override { return L"C:\\Pictures"; }
};

class Fixed_clipboard final : public Clipboard_text_source {
public:
    std::wstring text = L"clip 1 board 22";
    std::wstring clipboard_text() override { return text; }
};

// `count` placeholders of a mix of commands, with text between them.
std::wstring text_with_placeholders(int count) {
    const wchar_t* placeholders[] = {L"{key:ctrl c}",     L"{date:dd.MM.yyyy}", L"{sleep:50}",
                                     L"{clipboard:\\d+}", L"{link:a|b}",        L"{unknown}"};
    std::wstring text;
    for (int i = 0; i < count; ++i) {
        text += L"some words between ";
        text += placeholders[i % 6];
    }
    return text;
}

void expansion_figures() {
    Reference_host host;
    Quiet_environment environment;
    Fixed_clipboard clipboard;
    auto render = [&](const std::wstring& text) {
        Typing_expander expander(&host, environment, clipboard);
        sink = expander.expand(text).size();
    };
    std::wstring plain(1 << 20, L'x');
    for (std::size_t i = 0; i < plain.size(); i += 7)
        plain[i] = L' ';
    const double plain_ms = measure(5, [&] { render(plain); });
    std::printf("expand 1 MiB plain text: %.2f ms, %.2f ns per byte\n", plain_ms,
                plain_ms * 1e6 / (plain.size() * sizeof(wchar_t)));
    double per_byte[2] = {0, 0};
    double total[2] = {0, 0};
    const int counts[2] = {1000, 10000};
    for (int i = 0; i < 2; ++i) {
        const std::wstring text = text_with_placeholders(counts[i]);
        total[i] = measure(5, [&] { render(text); });
        per_byte[i] = total[i] * 1e6 / (text.size() * sizeof(wchar_t));
        std::printf("expand %d placeholders (%zu bytes): %.2f ms, %.2f ns per byte\n", counts[i],
                    text.size() * sizeof(wchar_t), total[i], per_byte[i]);
    }
    std::printf("10x placeholders cost %.2fx the time (linear: 10, goal: at most 12)\n",
                total[1] / total[0]);

    const std::wstring pathological[][2] = {
        {L"(a|b)*", L"ab"}, {L"s/(x+x+)+y/z/g", L"x"}, {L"(x+x+)+y", L"x"}, {L"s/x/&&/g", L"x"}};
    for (const auto& [filter, alphabet] : pathological) {
        std::wstring big(1 << 20, alphabet[0]);
        for (std::size_t i = 0; i < big.size(); i += 2)
            big[i] = alphabet.back();
        clipboard.text = big;
        const std::wstring placeholder = L"{clipboard:" + filter + L"}";
        std::size_t size = 0;
        const double ms = measure(1, [&] {
            Typing_expander expander(&host, environment, clipboard);
            size = expander.expand(placeholder).size();
        });
        std::printf("1 MiB clipboard, %ls: %.0f ms, %zu characters (goal: within 2000 ms)\n",
                    placeholder.c_str(), ms, size);
    }
    for (std::size_t length : {1000u, 10000u, 100000u, 1000000u}) {
        clipboard.text.assign(length, L'a');
        Typing_expander expander(&host, environment, clipboard);
        std::printf("(a|b)* over %zu characters gives %zu characters\n", length,
                    expander.expand(L"{clipboard:(a|b)*}").size());
    }
}

// The same text of short lines through the "clipboard" filter and through a
// bare character replace.
void regex_figures() {
    Reference_host host;
    Quiet_environment environment;
    Fixed_clipboard clipboard;
    std::wstring lines;
    for (int i = 0; lines.size() < 2000000; ++i)
        lines += L"line " + std::to_wstring(i) + L"\n";
    clipboard.text = lines;
    std::size_t size = 0;
    const double filter_ms = measure(3, [&] {
        Typing_expander expander(&host, environment, clipboard);
        size = expander.expand(L"{clipboard:s/\n/,/g}").size();
    });
    const double bare_ms = measure(3, [&] {
        std::wstring copy = lines;
        std::replace(copy.begin(), copy.end(), L'\n', L',');
        sink = copy.size();
    });
    std::printf("s/\\n/,/g over %zu characters of short lines: %.1f ms, %zu of %zu characters "
                "kept; bare std::replace: %.1f ms (ratio %.1f)\n",
                lines.size(), filter_ms, size, lines.size(), bare_ms, filter_ms / bare_ms);
}

// Half of the selection is "&", "%" and "#", the characters that escaping
// replaces; the URL action runs as the host runs it, from its stored code.
void link_figures(const std::wstring& folder) {
    std::shared_ptr<Code_storage> storage = Code_storage::open_path(folder + L"\\code_storage.db");
    storage->store_code(L"zp_1_user_id", L"url_interpreter", L"https://s.example/?q=%s&again=%s",
                        L"Search", L"", L"");
    Reference_host host;
    auto owned = std::make_unique<Quiet_environment>();
    Quiet_environment& environment = *owned;
    Url_interpreter interpreter(&host, storage, std::move(owned));
    const std::size_t sizes[] = {10000, 100000, 1000000};
    double url_ms[3] = {0, 0, 0};
    double tweet_ms[3] = {0, 0, 0};
    for (int i = 0; i < 3; ++i) {
        std::wstring selection(sizes[i], L'a');
        for (std::size_t at = 0; at < selection.size(); at += 2)
            selection[at] = L"&%#"[(at / 2) % 3];
        environment.selection = selection;
        const int repeats = 30 / (i + 1);
        url_ms[i] = measure(repeats, [&] {
            auto list = Reference_host::make_list();
            Param::write_text(list.get(), L"request", L"execute");
            Param::write_u32(list.get(), L"deactivate", 0);
            host.deliver(L"zp_1_user_id", list.get());
        });
        tweet_ms[i] = measure(
            repeats, [&] { sink = FilterTwitterAction::build_link(selection, L"").size(); });
        std::printf("%7zu characters: URL action %8.2f ms, tweet link %8.2f ms\n", sizes[i],
                    url_ms[i], tweet_ms[i]);
    }
    for (int i = 1; i < 3; ++i)
        std::printf("%zu -> %zu characters: URL action %.1fx, tweet link %.1fx the time "
                    "(linear: 10, goal: at most 12)\n",
                    sizes[i - 1], sizes[i], url_ms[i] / url_ms[i - 1],
                    tweet_ms[i] / tweet_ms[i - 1]);
    std::printf(
        "1,000,000 characters: URL action %.1f ms, tweet link %.1f ms (goal: under 50 ms)\n",
        url_ms[2], tweet_ms[2]);
}

void search_figures(const std::wstring& folder) {
    const std::wstring path = folder + L"\\code_storage.db";
    constexpr int rows = 10000;
    {
        auto storage = Code_storage::open_path(path);
        for (int i = 0; i < rows; ++i) {
            const std::wstring n = std::to_wstring(i);
            storage->store_code(L"zp_" + n + L"_user_id", L"typing_interpreter", L"code " + n,
                                L"Action number " + n, L"Types the text of entry " + n,
                                i % 10 ? L"General" : L"Mail");
        }
    }
    std::shared_ptr<Code_storage> storage = Code_storage::open_path(path);
    Reference_host host;
    Typing_interpreter interpreter(&host, storage);
    std::size_t answered = 0;
    const double search_ms = measure(5, [&] {
        auto list = Reference_host::make_list();
        Param::write_text(list.get(), L"search_text", L"NUMBER 12");
        host.deliver(L"zp_broadcast_get_action_text", list.get());
        answered = 0;
        for (const auto& entry : list->entries())
            answered += entry.is_child ? 1 : 0;
        sink = answered;
    });

    sqlite3* db = nullptr;
    sqlite3_open16(path.c_str(), &db);
    const double scan_ms = measure(5, [&] {
        sqlite3_stmt* statement = nullptr;
        sqlite3_prepare16_v2(
            db, L"SELECT ident, name, description, category FROM code_store WHERE type=?1;", -1,
            &statement, nullptr);
        sqlite3_bind_text16(statement, 1, L"typing_interpreter", -1, SQLITE_STATIC);
        std::size_t seen = 0;
        while (sqlite3_step(statement) == SQLITE_ROW) {
            for (int column = 0; column < 4; ++column)
                if (sqlite3_column_text16(statement, column))
                    ++seen;
        }
        sqlite3_finalize(statement);
        sink = seen;
    });
    sqlite3_close(db);
    std::printf("search over %d actions: %.2f ms (%zu answered); bare SQLite scan: %.2f ms; "
                "ratio %.2f (goal: at most 2)\n",
                rows, search_ms, answered, scan_ms, search_ms / scan_ms);
}

// Runs `figures` in a fresh temporary folder and removes it afterwards, when
// what `figures` made is gone: the interpreters' share of the storage too,
// whose open file Windows would not let go.
void in_fresh_folder(const wchar_t* name, void (*figures)(const std::wstring& folder)) {
    const std::wstring folder = std::filesystem::temp_directory_path().wstring() + name;
    std::error_code error;
    std::filesystem::remove_all(folder, error);
    std::filesystem::create_directories(folder);
    figures(folder);
    std::filesystem::remove_all(folder, error);
    if (error)
        std::printf("cannot remove %ls: %s\n", folder.c_str(), error.message().c_str());
}

} // namespace

int main() {
    expansion_figures();
    regex_figures();
    in_fresh_folder(L"zaptor_link_bench", link_figures);
    in_fresh_folder(L"zaptor_interpreters_bench", search_figures);
    return 0;
}
