#include "output/clipboard_backup_scope.h"

#include "trace/boundary.h"
#include "trace/trace.h"

Clipboard_backup_scope::Clipboard_backup_scope(Clipboard_handler& handler, const char* who)
    : pass_(Clipboard_gate::enter(who)), start_ticks_(GetTickCount64()), handler_(handler) {
    if (!pass_)
        return;
    std::string why;
    if (!handler_.backup_formats(backup_, why)) {
        // Running without a whole copy would lose what could not be saved.
        Trace::error(who) << "the clipboard cannot be saved whole (" << why
                          << "): the action is not run";
        pass_.release();
        return;
    }
    saved_ = true;
    sequence_ = GetClipboardSequenceNumber();
}

Clipboard_backup_scope::~Clipboard_backup_scope() {
    if (!saved_)
        return;
    Trace::guarded("Clipboard_backup_scope::~Clipboard_backup_scope", [&] {
        // Nothing copied or pasted since the backup: the clipboard is still
        // the user's own, and is not touched.
        if (GetClipboardSequenceNumber() != sequence_)
            handler_.restore_formats(backup_);
        backup_.clear();
        Trace::timing_line(L"Clipboard_backup_scope", GetTickCount64() - start_ticks_);
    });
}

namespace {

// How long a paste may take to show in the target's caret before the
// clipboard is given back anyway, and how often the caret is looked at.
constexpr std::uint32_t caret_wait_ms = 300;
constexpr std::uint32_t caret_poll_ms = 5;

bool same_rect(const RECT& a, const RECT& b) {
    return a.left == b.left && a.top == b.top && a.right == b.right && a.bottom == b.bottom;
}

} // namespace

void wait_for_paste_with_timeout() {
    Trace::guarded("wait_for_paste_with_timeout", [&] {
        Trace::Timing_scope timing(L"wait_for_paste_with_timeout");
        const ULONGLONG deadline = GetTickCount64() + caret_wait_ms;
        GUITHREADINFO info{};
        info.cbSize = sizeof(info);
        const bool have_caret = GetGUIThreadInfo(0, &info) != 0;
        if (!have_caret) {
            const auto code = static_cast<std::uint32_t>(GetLastError());
            Trace::error("wait_for_paste_with_timeout")
                << "GetGUIThreadInfo failed with error code " << code;
        }
        const RECT caret = info.rcCaret;
        while (GetTickCount64() < deadline) {
            if (!wait_pumping(caret_poll_ms))
                return;
            GUITHREADINFO now{};
            now.cbSize = sizeof(now);
            if (have_caret && GetGUIThreadInfo(0, &now) && !same_rect(now.rcCaret, caret))
                return;
        }
    });
}
