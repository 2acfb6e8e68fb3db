// abbreviation_latency_probe.exe TITLE ROUNDS: the target application of
// abbreviation_latency_bench.sh, which types ";sig" on the X server ROUNDS
// times while the desktop host runs with ";sig" as an immediate abbreviation
// of "Kind regards". Everything is timed here, on one clock:
//   - from the final key (as the first keyboard hook in the chain, ours, sees
//     it: installed after the host's, it is called before it) to the edit
//     control holding the expansion;
//   - the host's typing of the same data alone (three Backspaces and the
//     text, through the host's SendInput typist) from the call to the same
//     moment.
// Prints "next N" when typed round N may be typed (rounds by the typist come
// in between), the figures, then "done".
#include "contract/unique_handle.h"
#include "host/send_input_typist.h"

#include <windows.h>

#include <fcntl.h>
#include <io.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cwchar>
#include <string>
#include <thread>
#include <vector>

namespace {

const wchar_t expansion[] = L"Kind regards";
const wchar_t window_class[] = L"zaptor_latency_probe";
constexpr UINT next_round_message = WM_APP + 1;
constexpr UINT_PTR round_timer = 1;
constexpr UINT round_timeout_ms = 10000;

LARGE_INTEGER frequency;

long long ticks_now() {
    LARGE_INTEGER now;
    QueryPerformanceCounter(&now);
    return now.QuadPart;
}

double milliseconds(long long ticks) {
    return static_cast<double>(ticks) * 1000.0 / static_cast<double>(frequency.QuadPart);
}

struct Probe {
    HWND window = nullptr;
    HWND edit = nullptr;
    int rounds = 0;
    bool by_typist = false; // this round: the host's typing alone
    bool waiting = false;   // a round is under way
    int missed_keys = 0;    // rounds that timed out
    int missed_typist = 0;
    std::atomic<long long> final_key{0}; // the last key press from the keyboard
    std::atomic<long long> typing_started{0};
    std::vector<double> key_to_expansion, typing_alone;
    Send_input_typist typist;
    Unique_kernel_handle type_now; // wakes the typing thread
    std::atomic<bool> stopping{false};
};
Probe probe;

LRESULT CALLBACK hook_proc(int code, WPARAM message, LPARAM data) {
    if (code == HC_ACTION) {
        const auto* event = reinterpret_cast<const KBDLLHOOKSTRUCT*>(data);
        if ((event->flags & (LLKHF_INJECTED | LLKHF_UP)) == 0)
            probe.final_key.store(ticks_now());
    }
    return CallNextHookEx(nullptr, code, message, data);
}

std::wstring edit_text() {
    wchar_t text[256] = L"";
    GetWindowTextW(probe.edit, text, 256);
    return text;
}

void print_figures(const char* what, std::vector<double> values) {
    if (values.empty()) {
        std::printf("%-44s no round completed\n", what);
        return;
    }
    std::sort(values.begin(), values.end());
    std::printf("%-44s median %7.2f ms, best %7.2f ms, worst %7.2f ms (%u rounds)\n", what,
                values[values.size() / 2], values.front(), values.back(),
                static_cast<unsigned>(values.size()));
}

void finish() {
    std::printf("abbreviation \";sig\" (immediate) -> \"Kind regards\"; rounds timed out: %d "
                "typed, %d by the typist alone\n",
                probe.missed_keys, probe.missed_typist);
    print_figures("final key to expansion complete:", probe.key_to_expansion);
    print_figures("host typing the same data alone:", probe.typing_alone);
    if (!probe.key_to_expansion.empty() && !probe.typing_alone.empty()) {
        auto median = [](std::vector<double> v) {
            std::sort(v.begin(), v.end());
            return v[v.size() / 2];
        };
        std::printf("ratio of the medians: %.2f\n",
                    median(probe.key_to_expansion) / median(probe.typing_alone));
    }
    std::printf("done\n");
    std::fflush(stdout);
    PostQuitMessage(0);
}

// Starts the next round once the probe is in front (the X side's activation
// reaches Wine a little later).
void next_round() {
    KillTimer(probe.window, round_timer);
    probe.waiting = false;
    const int typed = static_cast<int>(probe.key_to_expansion.size()) + probe.missed_keys;
    const int by_typist = static_cast<int>(probe.typing_alone.size()) + probe.missed_typist;
    if (typed >= probe.rounds && by_typist >= probe.rounds) {
        finish();
        return;
    }
    // Typed and typist rounds alternate, so that both meet the same load.
    probe.by_typist = by_typist < typed;
    if (GetForegroundWindow() != probe.window) {
        SetForegroundWindow(probe.window);
        SetTimer(probe.window, round_timer, 50, nullptr);
        return;
    }
    SetFocus(probe.edit);
    // The edit as the typed ";si" leaves it, for the typist's three Backspaces.
    SetWindowTextW(probe.edit, probe.by_typist ? L";si" : L"");
    SendMessageW(probe.edit, EM_SETSEL, 3, 3);
    probe.waiting = true;
    SetTimer(probe.window, round_timer, round_timeout_ms, nullptr);
    if (probe.by_typist) {
        SetEvent(probe.type_now.get());
    } else {
        std::printf("next %d\n", typed + 1);
        std::fflush(stdout);
    }
}

void changed() {
    if (!probe.waiting || edit_text() != expansion)
        return;
    const long long now = ticks_now();
    probe.waiting = false;
    if (probe.by_typist)
        probe.typing_alone.push_back(milliseconds(now - probe.typing_started.load()));
    else
        probe.key_to_expansion.push_back(milliseconds(now - probe.final_key.load()));
    // Keys typed within moments of an expansion are held and typed after it
    // as text (they never fire): a user pauses a little, and so do we.
    SetTimer(probe.window, round_timer, 400, nullptr);
}

LRESULT CALLBACK window_proc(HWND window, UINT message, WPARAM w, LPARAM l) {
    switch (message) {
    case WM_COMMAND:
        if (HIWORD(w) == EN_CHANGE)
            changed();
        return 0;
    case WM_TIMER:
        if (w == round_timer && probe.waiting) {
            std::string text;
            for (wchar_t c : edit_text())
                text += c < 0x80 ? static_cast<char>(c) : '?';
            std::printf("round timed out with \"%s\"\n", text.c_str());
            ++(probe.by_typist ? probe.missed_typist : probe.missed_keys);
        }
        next_round();
        return 0;
    case next_round_message:
        next_round();
        return 0;
    case WM_ACTIVATE:
        if (LOWORD(w) != WA_INACTIVE)
            SetFocus(probe.edit);
        return 0;
    case WM_DESTROY:
        PostQuitMessage(0);
        return 0;
    default:
        return DefWindowProcW(window, message, w, l);
    }
}

} // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc != 3 || _wtoi(argv[2]) <= 0) {
        std::fprintf(stderr, "usage: abbreviation_latency_probe TITLE ROUNDS\n");
        return 2;
    }
    // Lines end in "\n" alone, for the script that reads them.
    _setmode(_fileno(stdout), _O_BINARY);
    QueryPerformanceFrequency(&frequency);
    probe.rounds = _wtoi(argv[2]);
    probe.type_now.reset(CreateEventW(nullptr, FALSE, FALSE, nullptr));
    // The typist works on a thread of its own, as the host's does, while
    // this thread serves the edit control.
    std::thread typing([] {
        while (WaitForSingleObject(probe.type_now.get(), INFINITE) == WAIT_OBJECT_0 &&
               !probe.stopping) {
            probe.typing_started.store(ticks_now());
            probe.typist.type(L"\x0001"
                              L"08\x0001"
                              L"08\x0001"
                              L"08Kind regards");
        }
    });
    WNDCLASSEXW wc{};
    wc.cbSize = sizeof wc;
    wc.lpfnWndProc = window_proc;
    wc.hInstance = GetModuleHandleW(nullptr);
    wc.lpszClassName = window_class;
    wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
    RegisterClassExW(&wc);
    probe.window = CreateWindowExW(0, window_class, argv[1], WS_OVERLAPPEDWINDOW | WS_VISIBLE, 40,
                                   40, 500, 200, nullptr, nullptr, wc.hInstance, nullptr);
    Unique_window owned_window(probe.window);
    probe.edit = CreateWindowExW(0, L"EDIT", L"", WS_CHILD | WS_VISIBLE | WS_BORDER, 10, 10, 460,
                                 30, probe.window, nullptr, wc.hInstance, nullptr);
    Unique_hook hook(SetWindowsHookExW(WH_KEYBOARD_LL, hook_proc, wc.hInstance, 0));
    int status = 0;
    if (!probe.window || !probe.edit || !hook) {
        std::fprintf(stderr, "abbreviation_latency_probe: no window or no hook\n");
        status = 1;
    } else {
        PostMessageW(probe.window, next_round_message, 0, 0);
        MSG msg;
        while (GetMessageW(&msg, nullptr, 0, 0) > 0) {
            TranslateMessage(&msg);
            DispatchMessageW(&msg);
        }
    }
    hook.reset();
    probe.stopping = true;
    SetEvent(probe.type_now.get());
    typing.join();
    return status;
}
