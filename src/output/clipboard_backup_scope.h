// Borrowing the user's clipboard around a selection action: save the text
// formats, and give them back when the action is done, also on an exception.
// The scope also holds the process's clipboard gate: when another action
// holds it (or the plug-in is shutting down) the scope is empty, saves and
// restores nothing, and the action must not touch the clipboard.
#pragma once

#include "output/clipboard_gate.h"
#include "output/clipboard_handler.h"

#include <cstdint>

class Clipboard_backup_scope {
public:
    explicit Clipboard_backup_scope(Clipboard_handler& handler,
                                    const char* who = "Clipboard_backup_scope");
    ~Clipboard_backup_scope();
    explicit operator bool() const { return static_cast<bool>(pass_); }
    Clipboard_backup_scope(const Clipboard_backup_scope&) = delete;
    Clipboard_backup_scope& operator=(const Clipboard_backup_scope&) = delete;

private:
    Clipboard_gate::Pass pass_;
    std::uint64_t start_ticks_;
    Clipboard_handler& handler_;
};

// After Control+V: returns once the foreground thread's caret has moved, or
// after 300 ms. Only then may the clipboard be restored, or the application
// would paste the restored contents.
void wait_for_paste_with_timeout();
