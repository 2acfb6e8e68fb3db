// How fast the keyboard listener answers, beside a bare std::map lookup
// measured in the same run. The listener runs inside the host's keyboard
// hook, so an unbound key must cost next to nothing.
#include "actions/abbreviation_matcher.h"
#include "actions/filter_base_key_action.h"
#include "actions/keyboard_shortcuts.h"
#include "actions/shortcut_listener.h"
#include "bench/actions/quiet_action.h"
#include "contract/parameter_values.h"
#include "host/reference_host.h"
#include "support/test_support.h"

#include <windows.h>

#include <sqlite3.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <map>
#include <string>
#include <vector>

namespace {

template <class F> double nanoseconds_per_call(int count, F&& call) {
    auto start = std::chrono::steady_clock::now();
    for (int i = 0; i < count; ++i)
        call(i);
    std::chrono::duration<double, std::nano> elapsed = std::chrono::steady_clock::now() - start;
    return elapsed.count() / count;
}

volatile unsigned sink = 0;

double median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values.empty() ? 0 : values[values.size() / 2];
}

// Typed text with 10,000 abbreviations: the listener's time per key press
// (window lookups, translation, matching, and a fire now and then) beside
// the translation alone, each key timed on its own.
void typed_keys(Keyboard_shortcuts_impl& shortcuts, Keyboard_listener* listener,
                Running_tasks& tasks) {
    const std::string typed = "the quick brown fox jumps over the lazy dog qzx ";
    {
        sqlite3* db = nullptr;
        sqlite3_open16(L"plugins\\zaptor.db", &db);
        sqlite3_exec(db,
                     "BEGIN; CREATE TABLE IF NOT EXISTS abbreviations (abbreviation TEXT PRIMARY "
                     "KEY, ident TEXT NOT NULL, kind INTEGER NOT NULL, case_sensitive INTEGER NOT "
                     "NULL);",
                     nullptr, nullptr, nullptr);
        for (int i = 0; i < 10000; ++i) {
            // Two to four letters, a quarter of them immediate; "qzx" fires.
            std::string text;
            for (int n = i + 26 * 26; n > 0; n /= 26)
                text += static_cast<char>('a' + n % 26);
            if (i == 9999)
                text = "qzx";
            // Only "qzx" fires in the typed text: fires are rare in real typing.
            else if (typed.find(text) != std::string::npos)
                continue;
            std::string sql = "INSERT OR IGNORE INTO abbreviations VALUES ('" + text + "', '" +
                              (i == 9999 ? std::string("zp_bench") : "zp_b" + std::to_string(i)) +
                              "', " + (i % 4 == 0 ? "1" : "0") + ", 0);";
            sqlite3_exec(db, sql.c_str(), nullptr, nullptr, nullptr);
        }
        sqlite3_exec(db, "COMMIT;", nullptr, nullptr, nullptr);
        sqlite3_close(db);
    }
    shortcuts.reload();
    std::printf("abbreviations loaded: %u\n",
                static_cast<unsigned>(shortcuts.list_abbreviations().size()));
    auto* shortcut_listener = static_cast<Shortcut_listener*>(listener);
    const std::string& text = typed;
    LARGE_INTEGER frequency;
    QueryPerformanceFrequency(&frequency);
    auto microseconds = [&](LARGE_INTEGER a, LARGE_INTEGER b) {
        return static_cast<double>(b.QuadPart - a.QuadPart) * 1e6 /
               static_cast<double>(frequency.QuadPart);
    };
    std::vector<double> listener_us, translate_us;
    int swallowed = 0;
    const int rounds = 60;
    for (int round = 0; round < rounds; ++round) {
        for (char c : text) {
            const DWORD vk = c == ' ' ? VK_SPACE : static_cast<DWORD>(c - 'a' + 'A');
            KBDLLHOOKSTRUCT event{};
            event.vkCode = vk;
            event.scanCode = MapVirtualKeyW(vk, MAPVK_VK_TO_VSC);
            LARGE_INTEGER t0, t1, t2;
            wchar_t characters[8];
            QueryPerformanceCounter(&t0);
            sink =
                sink + static_cast<unsigned>(shortcut_listener->translate(&event, characters, 8));
            QueryPerformanceCounter(&t1);
            swallowed += listener->key_event(&event, 0) ? 1 : 0;
            QueryPerformanceCounter(&t2);
            translate_us.push_back(microseconds(t0, t1));
            listener_us.push_back(microseconds(t1, t2));
            event.flags = LLKHF_UP;
            sink = sink + listener->key_event(&event, 0);
        }
        // The text ends with a fire; keys typed while it is under way are
        // held for the host's typing, which a user typing on would meet:
        // here the next round waits until it is over.
        tasks.clear();
        Sleep(200);
    }
    tasks.clear();
    // The matching alone, on the same keys.
    const Abbreviation_set set(shortcuts.list_abbreviations());
    Abbreviation_matcher matcher;
    std::vector<double> matcher_us;
    for (int round = 0; round < rounds; ++round) {
        for (char c : text) {
            const wchar_t character = static_cast<wchar_t>(c);
            Abbreviation_match match;
            LARGE_INTEGER t0, t1;
            QueryPerformanceCounter(&t0);
            sink = sink + matcher.type(&character, 1, set, match);
            QueryPerformanceCounter(&t1);
            matcher_us.push_back(microseconds(t0, t1));
        }
    }
    auto percentile = [](std::vector<double> values, double share) {
        std::sort(values.begin(), values.end());
        return values[static_cast<std::size_t>(share * static_cast<double>(values.size() - 1))];
    };
    std::printf("per key press, %d keys (%d swallowed, %d fires):\n",
                static_cast<int>(listener_us.size()), swallowed, rounds);
    const double translate_median = median(translate_us);
    std::printf("ToUnicodeEx alone            median %8.2f us  worst %8.2f us\n", translate_median,
                *std::max_element(translate_us.begin(), translate_us.end()));
    std::printf("listener, 10,000 abbrev.     median %8.2f us  worst %8.2f us  (median %.2fx "
                "ToUnicodeEx)\n",
                median(listener_us), *std::max_element(listener_us.begin(), listener_us.end()),
                median(listener_us) / translate_median);
    std::printf("99th percentile: ToUnicodeEx %.2f us, listener %.2f us\n",
                percentile(translate_us, 0.99), percentile(listener_us, 0.99));
    std::printf("matching alone               median %8.3f us  worst %8.2f us\n",
                median(matcher_us), *std::max_element(matcher_us.begin(), matcher_us.end()));
}

} // namespace

int main() {
    std::wstring folder = Test_support::make_temp_directory(L"bench_actions");
    CreateDirectoryW((folder + L"\\plugins").c_str(), nullptr);
    SetCurrentDirectoryW(folder.c_str());
    {
        Reference_host host;
        Running_tasks tasks;
        Keyboard_shortcuts_impl shortcuts(&host, L"plugins\\zaptor.db", tasks);
        if (!shortcuts.initialize()) {
            std::printf("cannot open the key-binding database\n");
            return 1;
        }
        Quiet_action action(L"zp_bench", &host);
        // A realistic set: 40 activation-key bindings and 10 direct ones.
        std::map<std::uint32_t, std::wstring> bare;
        for (std::uint32_t key = 0x41; key < 0x41 + 40; ++key) {
            shortcuts.set_binding(key | 0x100, L"zp_bench", L"Bench");
            bare[key | 0x100] = L"zp_bench";
        }
        for (std::uint32_t key = 0x30; key < 0x30 + 10; ++key) {
            shortcuts.set_binding(key | 0x10200, L"zp_bench", L"Bench");
            bare[key | 0x10200] = L"zp_bench";
        }
        Keyboard_listener* listener = shortcuts.listener();

        const int rounds = 2000000;
        double bare_ns = nanoseconds_per_call(rounds, [&](int i) {
            auto it = bare.find(0x70u + static_cast<std::uint32_t>(i & 7));
            sink = sink + (it != bare.end());
        });
        KBDLLHOOKSTRUCT unbound{};
        unbound.vkCode = 0x70; // F1, nothing bound
        double unbound_ns = nanoseconds_per_call(rounds, [&](int i) {
            unbound.vkCode = 0x70u + static_cast<DWORD>(i & 7);
            sink = sink + listener->key_event(&unbound, listener_control);
        });
        KBDLLHOOKSTRUCT press{};
        press.vkCode = 0x31;
        double bound_ns = nanoseconds_per_call(
            rounds, [&](int) { sink = sink + listener->key_event(&press, listener_control); });
        // Bound key on a bound virtual key but with other modifiers.
        double near_ns = nanoseconds_per_call(
            rounds, [&](int) { sink = sink + listener->key_event(&press, listener_shift); });

        auto list = Reference_host::make_list();
        const int sends = 200000;
        double processing_ns = nanoseconds_per_call(sends, [&](int) {
            Param::write_u32(list.get(), L"key_down", 0x42u | 0x10000000u);
            host.deliver(L"key_processing", list.get());
        });
        double bare_deliver_ns = nanoseconds_per_call(sends, [&](int) {
            auto it = bare.find(0x142);
            sink = sink + (it != bare.end());
        });

        std::printf("bare std::map lookup            %8.1f ns\n", bare_ns);
        std::printf("listener, unbound key           %8.1f ns  (%.2fx the bare lookup)\n",
                    unbound_ns, unbound_ns / bare_ns);
        std::printf("listener, bound key press       %8.1f ns  (%.2fx)\n", bound_ns,
                    bound_ns / bare_ns);
        std::printf("listener, bound key other mods  %8.1f ns  (%.2fx)\n", near_ns,
                    near_ns / bare_ns);
        std::printf("key_processing, bound combi     %8.1f ns  (%.2fx; bare lookup here %.1f ns)\n",
                    processing_ns, processing_ns / bare_deliver_ns, bare_deliver_ns);
        std::printf("action runs: %d\n", action.runs.load());
        typed_keys(shortcuts, listener, tasks);
    }
    wchar_t temp[MAX_PATH];
    GetTempPathW(MAX_PATH, temp);
    SetCurrentDirectoryW(temp);
    Test_support::remove_tree(folder);
    return 0;
}
