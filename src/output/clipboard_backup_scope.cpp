#include "output/clipboard_backup_scope.h"

#include "trace/trace.h"

#include <exception>

Clipboard_backup_scope::Clipboard_backup_scope(Clipboard_handler& handler, const char* who)
    : pass_(Clipboard_gate::enter(who)), start_ticks_(GetTickCount64()), handler_(handler) {
    if (pass_)
        handler_.backup_formats();
}

Clipboard_backup_scope::~Clipboard_backup_scope() {
    if (!pass_)
        return;
    handler_.restore_formats();
    try {
        Trace::timing_line(L"Clipboard_backup_scope", GetTickCount64() - start_ticks_);
    } catch (const std::exception& e) {
        Trace::error("Clipboard_backup_scope::~Clipboard_backup_scope")
            << "exception: " << e.what();
    }
}

namespace {

bool same_rect(const RECT& a, const RECT& b) {
    return a.left == b.left && a.top == b.top && a.right == b.right && a.bottom == b.bottom;
}

} // namespace

void wait_for_paste_with_timeout() {
    try {
        Trace::Timing_scope timing(L"wait_for_paste_with_timeout");
        const ULONGLONG deadline = GetTickCount64() + 300;
        GUITHREADINFO info{};
        info.cbSize = sizeof(info);
        if (!GetGUIThreadInfo(0, &info)) {
            const auto code = static_cast<std::uint32_t>(GetLastError());
            Trace::error("wait_for_paste_with_timeout")
                << "GetGUIThreadInfo failed with error code " << code;
            wait_pumping(300);
            return;
        }
        const RECT caret = info.rcCaret;
        while (GetTickCount64() < deadline) {
            GUITHREADINFO now{};
            now.cbSize = sizeof(now);
            if (!GetGUIThreadInfo(0, &now)) {
                continue;
            }
            if (!wait_pumping(5)) {
                return;
            }
            if (!same_rect(now.rcCaret, caret)) {
                return;
            }
        }
    } catch (const std::exception& e) {
        Trace::error("wait_for_paste_with_timeout") << "exception: " << e.what();
    }
}
