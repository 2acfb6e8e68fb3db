// One full selection round trip against zaptor_target.exe: back up the
// clipboard, capture the selection, paste a 1,000-character result, wait for
// the target's read, restore. Prints the median beside the floor set by the
// fixed waits of a paste without delayed rendering (50 ms settle + 5 ms +
// 50 ms before Control+V), and capture, paste and restore apart.
#include "bench/bench_support.h"
#include "output/clipboard_backup_scope.h"
#include "output/clipboard_handler.h"
#include "output/clipboard_window.h"
#include "tools/target_app/target_client.h"

#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

namespace {

using Bench::median;
using Bench::now_ms;

bool set_user_clipboard(const std::wstring& text) {
    if (!OpenClipboard(nullptr)) {
        return false;
    }
    EmptyClipboard();
    const SIZE_T bytes = (text.size() + 1) * sizeof(wchar_t);
    HGLOBAL block = GlobalAlloc(GMEM_MOVEABLE, bytes);
    bool ok = false;
    if (block) {
        if (void* data = GlobalLock(block)) {
            memcpy(data, text.c_str(), bytes);
            GlobalUnlock(block);
            ok = SetClipboardData(CF_UNICODETEXT, block) != nullptr;
        }
        if (!ok) {
            GlobalFree(block);
        }
    }
    CloseClipboard();
    return ok;
}
} // namespace

int main(int argc, char** argv) {
    const int runs = argc > 1 ? std::max(20, std::atoi(argv[1])) : 25;
    Target_app target;
    if (!target.start()) {
        std::printf("zaptor_target.exe did not start\n");
        return 1;
    }
    if (!set_user_clipboard(L"the user's own clipboard")) {
        std::printf("cannot arrange the clipboard\n");
        return 1;
    }
    const std::wstring result(1000, L'x');
    // This thread plays the host's: the start-up makes the clipboard window there.
    if (!Clipboard_window::create_process_window()) {
        std::printf("no clipboard window\n");
        return 1;
    }
    Clipboard_handler handler;
    std::vector<double> total, capture, paste, restore;
    int wrong = 0;
    for (int run = 0; run < runs + 2; ++run) {
        target.set_text(Target_app::Control::edit, L"selected text " + std::to_wstring(run));
        target.select(Target_app::Control::edit, 0, -1);
        target.activate();
        wait_pumping(50); // let the target settle between runs
        const double t0 = now_ms();
        double t1 = 0, t2 = 0;
        std::wstring selection;
        {
            Clipboard_backup_scope scope(handler);
            handler.read_selection_text(selection);
            t1 = now_ms();
            handler.paste_text(result);
            t2 = now_ms();
        }
        const double t3 = now_ms();
        if (selection != L"selected text " + std::to_wstring(run)) {
            ++wrong;
        }
        if (run < 2) {
            continue; // warm-up
        }
        total.push_back(t3 - t0);
        capture.push_back(t1 - t0);
        paste.push_back(t2 - t1);
        restore.push_back(t3 - t2);
    }
    const double floor_ms = 50 + 5 + 50;
    const double round_trip = median(total);
    std::printf("selection round trip, %d runs (1,000-character result)\n", runs);
    std::printf("  median total      %8.1f ms\n", round_trip);
    std::printf("  floor (fixed waits) %6.1f ms   ratio %.2f (goal <= 0.80)\n", floor_ms,
                round_trip / floor_ms);
    std::printf("  median capture    %8.1f ms  (backup + copy job)\n", median(capture));
    std::printf("  median paste      %8.1f ms  (paste_text until the target's read)\n",
                median(paste));
    std::printf("  median restore    %8.1f ms\n", median(restore));
    std::printf("  min / max total   %8.1f / %.1f ms\n",
                *std::min_element(total.begin(), total.end()),
                *std::max_element(total.begin(), total.end()));
    std::printf("  wrong selections  %d\n", wrong);
    return wrong == 0 ? 0 : 2;
}
