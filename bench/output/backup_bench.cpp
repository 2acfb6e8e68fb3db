// Backup plus restore of a large picture: a 3840x2160, 32-bit device-
// independent bitmap (33 MB) and a line of text on the clipboard, saved and
// put back by Clipboard_handler. Printed beside a bare memcpy of the same
// bytes, measured in the same run (goal: at most 3 times the memcpy), and
// beside the clipboard's own cost of taking and handing out those bytes once
// (SetClipboardData plus GetClipboardData), which no copy of ours can avoid.
#include "bench/bench_support.h"
#include "output/clipboard_handler.h"
#include "output/clipboard_window.h"
#include "tools/target_app/dib_picture.h"

#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

namespace {

using Bench::median;
using Bench::now_ms;

bool put(UINT format, const std::vector<unsigned char>& bytes) {
    HGLOBAL block = GlobalAlloc(GMEM_MOVEABLE, bytes.size());
    void* data = block ? GlobalLock(block) : nullptr;
    if (!data) {
        GlobalFree(block);
        return false;
    }
    std::memcpy(data, bytes.data(), bytes.size());
    GlobalUnlock(block);
    if (SetClipboardData(format, block))
        return true;
    GlobalFree(block);
    return false;
}

} // namespace

int main(int argc, char** argv) {
    const int runs = argc > 1 ? std::max(3, std::atoi(argv[1])) : 7;
    const std::vector<unsigned char> picture = dib_picture(3840, 2160);
    const std::wstring text = L"a screenshot and its caption";
    std::vector<unsigned char> text_bytes((text.size() + 1) * 2, 0);
    std::memcpy(text_bytes.data(), text.c_str(), text.size() * 2);
    if (!OpenClipboard(nullptr)) {
        std::printf("cannot open the clipboard\n");
        return 1;
    }
    EmptyClipboard();
    const bool arranged = put(CF_DIB, picture) && put(CF_UNICODETEXT, text_bytes);
    CloseClipboard();
    if (!arranged) {
        std::printf("cannot arrange the clipboard\n");
        return 1;
    }

    // This thread plays the host's: the start-up makes the clipboard window there.
    if (!Clipboard_window::create_process_window()) {
        std::printf("no clipboard window\n");
        return 1;
    }
    Clipboard_handler handler;
    std::vector<unsigned char> copy(picture.size());
    std::vector<double> backup, restore, memcpy_ms, clipboard_ms;
    int failed = 0;
    for (int run = 0; run < runs + 1; ++run) {
        Clipboard_snapshot saved;
        std::string why;
        const double t0 = now_ms();
        const bool whole = handler.backup_formats(saved, why);
        const double t1 = now_ms();
        const bool back = handler.restore_formats(saved);
        const double t2 = now_ms();
        std::memcpy(copy.data(), picture.data(), picture.size());
        const double t3 = now_ms();
        // The system's own floor: hand the same bytes over and read them back.
        HGLOBAL block = GlobalAlloc(GMEM_MOVEABLE, picture.size());
        if (void* data = block ? GlobalLock(block) : nullptr) {
            std::memcpy(data, picture.data(), picture.size());
            GlobalUnlock(block);
        }
        const double t4 = now_ms();
        if (block && OpenClipboard(nullptr)) {
            if (!SetClipboardData(CF_DIB, block))
                GlobalFree(block);
            if (HANDLE got = GetClipboardData(CF_DIB)) {
                if (GlobalLock(got))
                    GlobalUnlock(got);
            }
            CloseClipboard();
        }
        const double t5 = now_ms();
        if (!whole || !back) {
            std::printf("run %d: %s\n", run, whole ? "restore failed" : why.c_str());
            ++failed;
        }
        if (run == 0)
            continue; // warm-up
        backup.push_back(t1 - t0);
        restore.push_back(t2 - t1);
        memcpy_ms.push_back(t3 - t2);
        clipboard_ms.push_back(t5 - t4);
    }
    const double total = median(backup) + median(restore);
    std::printf("backup + restore of a 3840x2160 32-bit picture (%.1f MB) and text, %d runs\n",
                static_cast<double>(picture.size()) / (1 << 20), runs);
    std::printf("  median backup     %8.1f ms\n", median(backup));
    std::printf("  median restore    %8.1f ms\n", median(restore));
    std::printf("  median memcpy     %8.1f ms  (same bytes, same run)\n", median(memcpy_ms));
    std::printf("  ratio             %8.2f     (goal <= 3.00)\n", total / median(memcpy_ms));
    std::printf(
        "  clipboard floor   %8.1f ms  (SetClipboardData + GetClipboardData of the bytes)\n",
        median(clipboard_ms));
    std::printf("  ratio to floor    %8.2f\n", total / median(clipboard_ms));
    std::printf("  failed runs       %d\n", failed);
    return failed == 0 ? 0 : 2;
}
