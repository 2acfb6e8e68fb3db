// The keyboard hook's side of the hand-over: what one key event costs the
// host's hook thread, and whether releases in a burst reach the worker in
// the order they were made.
//
// 1. A burst of 1,000 releases of direct bindings, without a pause. Every
//    parameter list the plug-in asks for is numbered by the host as it is
//    created, and the worker creates a release's list when it takes it, so
//    the numbers that the runs receive tell in which order the worker took
//    the releases. The hook's time per event is printed for the first and
//    the last hundred: it should not grow as the queue fills.
// 2. 100,000 key events with every key code bound that leaves typing alone
//    (3,584 of the 4,096 there are: 8 bits of key, 3 modifiers and the
//    direct bit; a key code cannot say more) and 10,000 abbreviations: typed
//    text with an abbreviation fired now and then and a direct binding
//    released now and then, each event timed on its own.
#include "actions/filter_base_key_action.h"
#include "actions/key_code.h"
#include "actions/keyboard_shortcuts.h"
#include "actions/running_tasks.h"
#include "bench/actions/quiet_action.h"
#include "contract/parameter_values.h"
#include "host/reference_host.h"
#include "support/test_support.h"

#include <windows.h>

#include <sqlite3.h>

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <cstdio>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

namespace {

LARGE_INTEGER frequency() {
    LARGE_INTEGER f;
    QueryPerformanceFrequency(&f);
    return f;
}

double microseconds(LARGE_INTEGER a, LARGE_INTEGER b) {
    static const LARGE_INTEGER f = frequency();
    return static_cast<double>(b.QuadPart - a.QuadPart) * 1e6 / static_cast<double>(f.QuadPart);
}

// One key event through the listener, timed.
double timed_event(Keyboard_listener* listener, DWORD virtual_key, bool down, unsigned modifiers,
                   bool* swallowed = nullptr) {
    KBDLLHOOKSTRUCT event{};
    event.vkCode = virtual_key;
    event.scanCode = MapVirtualKeyW(virtual_key, MAPVK_VK_TO_VSC);
    event.flags = down ? 0 : LLKHF_UP;
    LARGE_INTEGER t0, t1;
    QueryPerformanceCounter(&t0);
    const bool answer = listener->key_event(&event, modifiers);
    QueryPerformanceCounter(&t1);
    if (swallowed)
        *swallowed = answer;
    return microseconds(t0, t1);
}

void print_spread(const char* label, std::vector<double> values) {
    std::sort(values.begin(), values.end());
    if (values.empty())
        return;
    std::printf("%-34s median %8.2f us  99%% %8.2f us  worst %8.2f us  (%u events)\n", label,
                values[values.size() / 2], values[(values.size() - 1) * 99 / 100], values.back(),
                static_cast<unsigned>(values.size()));
}

// The reference host, with every list it creates numbered ("seq").
class Numbering_host final : public Interaction_if {
public:
    explicit Numbering_host(Reference_host& inner) : inner_(inner) {}
    void reserved0() override { inner_.reserved0(); }
    void subscribe(const wchar_t* name, unsigned int length, Filter* filter) override {
        inner_.subscribe(name, length, filter);
    }
    unsigned int register_filter(Filter* filter, const Name_ref* names,
                                 unsigned int count) override {
        return inner_.register_filter(filter, names, count);
    }
    void unsubscribe(const wchar_t* name, unsigned int length, Filter* filter) override {
        inner_.unsubscribe(name, length, filter);
    }
    void unregister_filter(unsigned int id) override { inner_.unregister_filter(id); }
    void reserved5() override { inner_.reserved5(); }
    int send(const wchar_t* name, unsigned int length, Parameters* list) override {
        return inner_.send(name, length, list);
    }
    Parameters* create_parameters() override {
        Parameters* list = inner_.create_parameters();
        if (list)
            Param::write_u32(list, L"seq", next_.fetch_add(1));
        return list;
    }

private:
    Reference_host& inner_;
    std::atomic<std::uint32_t> next_{1};
};

// Records the list number and the key code of every run it receives.
class Order_filter final : public Filter {
public:
    void* destroy(unsigned int) override { return this; }
    int status() override { return 1; }
    int process(const wchar_t*, unsigned int, Parameters* list) override {
        std::lock_guard<std::mutex> lock(mutex_);
        runs_.emplace_back(Param::read_u32(list, L"seq", 0),
                           Param::read_u32(list, L"deactivate", 0));
        return 0;
    }
    std::vector<std::pair<std::uint32_t, std::uint32_t>> runs() {
        std::lock_guard<std::mutex> lock(mutex_);
        return runs_;
    }

private:
    std::mutex mutex_;
    std::vector<std::pair<std::uint32_t, std::uint32_t>> runs_;
};

const unsigned modifier_sets[] = {listener_control, listener_shift, listener_alt,
                                  listener_control | listener_shift};

std::uint32_t code_of(DWORD virtual_key, unsigned modifiers) {
    return Key_code::from_listener_event(virtual_key, modifiers);
}

// Burst of releases; answers false when they reached the worker out of order.
bool burst() {
    Reference_host host;
    Numbering_host numbering(host);
    Order_filter order;
    host.subscribe(L"zp_order", 8, &order);
    bool in_order = true;
    {
        Running_tasks tasks;
        Keyboard_shortcuts_impl shortcuts(&numbering, L"plugins\\burst.db", tasks);
        if (!shortcuts.initialize()) {
            std::printf("cannot open the key-binding database\n");
            return false;
        }
        std::vector<DWORD> keys;
        for (DWORD key = 0x30; key <= 0x39; ++key)
            keys.push_back(key);
        for (DWORD key = 0x41; key <= 0x5A; ++key)
            keys.push_back(key);
        for (DWORD key : keys)
            for (unsigned modifiers : modifier_sets)
                shortcuts.set_binding(code_of(key, modifiers) | Key_code::direct, L"zp_order",
                                      L"Order");
        Keyboard_listener* listener = host.keyboard_listener();
        const int releases = 1000;
        const std::size_t combinations = keys.size() * 4;
        std::vector<std::uint32_t> expected;
        std::vector<double> press_us, release_us;
        for (int i = 0; i < releases; ++i) {
            const DWORD key = keys[(static_cast<std::size_t>(i) % combinations) / 4];
            const unsigned modifiers = modifier_sets[i % 4];
            bool swallowed = false;
            press_us.push_back(timed_event(listener, key, true, modifiers, &swallowed));
            release_us.push_back(timed_event(listener, key, false, modifiers, &swallowed));
            expected.push_back(code_of(key, modifiers));
        }
        tasks.clear();
        auto runs = order.runs();
        std::sort(runs.begin(), runs.end());
        std::vector<std::uint32_t> arrived;
        for (const auto& run : runs)
            arrived.push_back(run.second);
        in_order = arrived == expected;
        std::printf("burst: %d releases made, %u ran; in the order made: %s\n", releases,
                    static_cast<unsigned>(arrived.size()), in_order ? "yes" : "NO");
        std::printf("taken by the worker (key codes, first and last ten):");
        for (std::size_t i = 0; i < arrived.size(); ++i)
            if (i < 10 || i + 10 >= arrived.size())
                std::printf("%s %03X", i == arrived.size() - 10 && i >= 10 ? " ..." : "",
                            arrived[i]);
        std::printf("\n");
        auto part = [](const std::vector<double>& all, bool first) {
            return first ? std::vector<double>(all.begin(), all.begin() + 100)
                         : std::vector<double>(all.end() - 100, all.end());
        };
        print_spread("burst, first 100 presses", part(press_us, true));
        print_spread("burst, last 100 presses", part(press_us, false));
        print_spread("burst, first 100 releases", part(release_us, true));
        print_spread("burst, last 100 releases", part(release_us, false));
    }
    host.unsubscribe(L"zp_order", 8, &order);
    return in_order;
}

void fill_database(const wchar_t* path, const std::string& typed, bool abbreviations) {
    sqlite3* db = nullptr;
    sqlite3_open16(path, &db);
    sqlite3_exec(db,
                 "BEGIN; CREATE TABLE IF NOT EXISTS key_bindings (key INTEGER PRIMARY KEY, "
                 "ident TEXT NOT NULL, name TEXT NOT NULL); CREATE TABLE IF NOT EXISTS "
                 "abbreviations (abbreviation TEXT PRIMARY KEY, ident TEXT NOT NULL, kind "
                 "INTEGER NOT NULL, case_sensitive INTEGER NOT NULL);",
                 nullptr, nullptr, nullptr);
    // Every key code there is, except the direct ones without Control or
    // Alt, which would take the typing: 256 keys times 8 modifier sets with
    // the activation key, 256 times 6 direct.
    for (std::uint32_t code = 0; code < 0x800; ++code)
        for (std::uint32_t direct : {0u, Key_code::direct}) {
            if (direct && (code & (Key_code::control | Key_code::alt)) == 0)
                continue;
            const std::string sql = "INSERT OR REPLACE INTO key_bindings VALUES (" +
                                    std::to_string(code | direct) + ", 'zp_bench', 'Bench');";
            sqlite3_exec(db, sql.c_str(), nullptr, nullptr, nullptr);
        }
    // 10,000 abbreviations of two to four letters that the text does not
    // contain, and "qzx", which fires.
    int stored = 0;
    for (int i = 0; abbreviations && stored < 10000; ++i) {
        std::string text;
        for (int n = i + 26 * 26; n > 0; n /= 26)
            text += static_cast<char>('a' + n % 26);
        if (stored == 9999)
            text = "qzx";
        else if (typed.find(text) != std::string::npos || text == "qzx")
            continue;
        const std::string sql =
            "INSERT OR IGNORE INTO abbreviations VALUES ('" + text + "', '" +
            (text == "qzx" ? std::string("zp_bench") : "zp_b" + std::to_string(i)) + "', " +
            (i % 4 == 0 ? "1" : "0") + ", 0);";
        sqlite3_exec(db, sql.c_str(), nullptr, nullptr, nullptr);
        ++stored;
    }
    sqlite3_exec(db, "COMMIT;", nullptr, nullptr, nullptr);
    sqlite3_close(db);
}

void many_events(const wchar_t* database, bool abbreviations) {
    const std::string plain = "the quick brown fox jumps over the lazy dog ";
    fill_database(database, plain, abbreviations);
    Reference_host host;
    Running_tasks tasks;
    Keyboard_shortcuts_impl shortcuts(&host, database, tasks);
    if (!shortcuts.initialize()) {
        std::printf("cannot open the key-binding database\n");
        return;
    }
    Quiet_action action(L"zp_bench", &host);
    std::printf("bindings: %u, abbreviations: %u\n",
                static_cast<unsigned>(shortcuts.list_bindings().size()),
                static_cast<unsigned>(shortcuts.list_abbreviations().size()));
    Keyboard_listener* listener = host.keyboard_listener();
    std::vector<double> typed_us, direct_us, all_us;
    const int events = 100000;
    int made = 0, rounds = 0, swallowed = 0;
    while (made < events) {
        // Every 25th round ends with the abbreviation, and the next one
        // waits until its run is over (keys typed on meanwhile are held,
        // which the listener times too, but they should not be all).
        const bool fire = ++rounds % 25 == 0;
        const std::string text = fire ? plain + "qzx " : plain;
        for (std::size_t i = 0; i < text.size() && made < events; ++i) {
            const char c = text[i];
            const DWORD key = c == ' ' ? VK_SPACE : static_cast<DWORD>(c - 'a' + 'A');
            for (bool down : {true, false}) {
                bool answer = false;
                const double us = timed_event(listener, key, down, 0, &answer);
                typed_us.push_back(us);
                all_us.push_back(us);
                swallowed += answer;
                ++made;
            }
            // Now and then Control+digit, a direct binding: swallowed, and
            // its release handed over.
            if (i == 20) {
                for (bool down : {true, false}) {
                    bool answer = false;
                    const double us = timed_event(listener, 0x31, down, listener_control, &answer);
                    direct_us.push_back(us);
                    all_us.push_back(us);
                    swallowed += answer;
                    ++made;
                }
            }
        }
        if (fire) {
            tasks.clear();
            Sleep(200);
        }
    }
    tasks.clear();
    std::printf("events: %d (%d swallowed), runs: %d\n", made, swallowed, action.runs.load());
    print_spread("typed keys", typed_us);
    print_spread("direct binding press/release", direct_us);
    print_spread("every event", all_us);
}

// What Windows (here Wine) costs alone for a typed key: the calls that the
// listener makes per press when abbreviations are on, timed the same way.
void windows_calls_alone() {
    std::vector<double> us;
    for (int i = 0; i < 100000; ++i) {
        const DWORD key = 'A' + static_cast<DWORD>(i % 26);
        const UINT scan = MapVirtualKeyW(key, MAPVK_VK_TO_VSC);
        BYTE keys[256] = {};
        wchar_t characters[8];
        LARGE_INTEGER t0, t1;
        QueryPerformanceCounter(&t0);
        GUITHREADINFO info{};
        info.cbSize = sizeof info;
        GetGUIThreadInfo(0, &info);
        ToUnicodeEx(key, scan, keys, characters, 8, 0x4, GetKeyboardLayout(0));
        QueryPerformanceCounter(&t1);
        us.push_back(microseconds(t0, t1));
    }
    print_spread("Windows calls alone, per press", us);
}

} // namespace

int main() {
    const std::wstring folder = Test_support::make_temp_directory(L"bench_hand_over");
    CreateDirectoryW((folder + L"\\plugins").c_str(), nullptr);
    SetCurrentDirectoryW(folder.c_str());
    const bool in_order = burst();
    std::printf("-- bindings, no abbreviations\n");
    many_events(L"plugins\\bindings.db", false);
    std::printf("-- bindings and abbreviations\n");
    many_events(L"plugins\\many.db", true);
    windows_calls_alone();
    wchar_t temp[MAX_PATH];
    GetTempPathW(MAX_PATH, temp);
    SetCurrentDirectoryW(temp);
    Test_support::remove_tree(folder);
    return in_order ? 0 : 1;
}
