// How fast the keyboard listener answers, beside a bare std::map lookup
// measured in the same run. The listener runs inside the host's keyboard
// hook, so an unbound key must cost next to nothing.
#include "actions/filter_base_key_action.h"
#include "actions/keyboard_shortcuts.h"
#include "contract/parameter_values.h"
#include "host/reference_host.h"
#include "support/test_support.h"

#include <windows.h>

#include <chrono>
#include <cstdio>
#include <map>
#include <string>

namespace {

class Quiet_action final : public FilterBaseKeyAction {
public:
    using FilterBaseKeyAction::FilterBaseKeyAction;
    int process_activate() override { return ++runs; }
    int process_deactivate() override { return ++runs; }
    const wchar_t* name() override { return L"Bench"; }
    const wchar_t* description() override { return L"Bench action"; }
    int runs = 0;
};

template <class F> double nanoseconds_per_call(int count, F&& call) {
    auto start = std::chrono::steady_clock::now();
    for (int i = 0; i < count; ++i)
        call(i);
    std::chrono::duration<double, std::nano> elapsed = std::chrono::steady_clock::now() - start;
    return elapsed.count() / count;
}

volatile unsigned sink = 0;

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
        std::printf("action runs: %d\n", action.runs);
    }
    wchar_t temp[MAX_PATH];
    GetTempPathW(MAX_PATH, temp);
    SetCurrentDirectoryW(temp);
    Test_support::remove_tree(folder);
    return 0;
}
