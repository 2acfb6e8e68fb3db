// The clipboard's own scopes, on the project's one handle owner: a lock on a
// global block and an opened clipboard.
#pragma once

#include "contract/unique_handle.h"

#include <windows.h>

namespace Output {

struct Global_unlock_traits {
    using type = HGLOBAL;
    static type invalid() { return nullptr; }
    static void close(type block) { GlobalUnlock(block); }
};

// GlobalLock for one scope; data() is null when the block could not be locked
// (a zero-byte block never can).
class Global_lock {
public:
    explicit Global_lock(HGLOBAL block) : data_(block ? GlobalLock(block) : nullptr) {
        if (data_)
            locked_.reset(block);
    }

    void* data() const { return data_; }
    explicit operator bool() const { return data_ != nullptr; }

private:
    void* data_;
    Unique_handle<Global_unlock_traits> locked_;
};

// Closes the clipboard at the end of the scope if it was opened.
struct Clipboard_traits {
    using type = bool;
    static type invalid() { return false; }
    static void close(type) { CloseClipboard(); }
};
using Opened_clipboard = Unique_handle<Clipboard_traits>;

} // namespace Output
