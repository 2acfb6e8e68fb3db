// Move-only owners for the Win32 resources the output subsystem touches:
// global memory blocks, kernel handles, a lock on a global block and an
// opened clipboard.
#pragma once

#include <windows.h>

#include <utility>

namespace Output {

template <typename Traits> class Unique_handle {
public:
    using type = typename Traits::type;

    Unique_handle() = default;
    explicit Unique_handle(type handle) : handle_(handle) {}
    ~Unique_handle() { reset(); }
    Unique_handle(Unique_handle&& other) noexcept : handle_(other.release()) {}
    Unique_handle& operator=(Unique_handle&& other) noexcept {
        if (this != &other) {
            reset(other.release());
        }
        return *this;
    }
    Unique_handle(const Unique_handle&) = delete;
    Unique_handle& operator=(const Unique_handle&) = delete;

    type get() const { return handle_; }
    explicit operator bool() const { return handle_ != Traits::invalid(); }
    type release() { return std::exchange(handle_, Traits::invalid()); }
    void reset(type handle = Traits::invalid()) {
        type old = std::exchange(handle_, handle);
        if (old != Traits::invalid()) {
            Traits::close(old);
        }
    }

private:
    type handle_ = Traits::invalid();
};

struct Global_memory_traits {
    using type = HGLOBAL;
    static type invalid() { return nullptr; }
    static void close(type handle) { GlobalFree(handle); }
};

struct Kernel_handle_traits {
    using type = HANDLE;
    static type invalid() { return nullptr; }
    static void close(type handle) { CloseHandle(handle); }
};

using Unique_global = Unique_handle<Global_memory_traits>;
using Unique_kernel_handle = Unique_handle<Kernel_handle_traits>;

// GlobalLock for one scope; data() is null when the block could not be locked
// (a zero-byte block never can).
class Global_lock {
public:
    explicit Global_lock(HGLOBAL block) : block_(block) {
        data_ = block ? GlobalLock(block) : nullptr;
    }
    ~Global_lock() {
        if (data_) {
            GlobalUnlock(block_);
        }
    }
    Global_lock(const Global_lock&) = delete;
    Global_lock& operator=(const Global_lock&) = delete;

    void* data() const { return data_; }
    explicit operator bool() const { return data_ != nullptr; }

private:
    HGLOBAL block_;
    void* data_;
};

// Closes the clipboard at the end of the scope if it was opened.
class Opened_clipboard {
public:
    explicit Opened_clipboard(bool opened) : opened_(opened) {}
    ~Opened_clipboard() { close(); }
    void close() {
        if (opened_) {
            CloseClipboard();
            opened_ = false;
        }
    }
    Opened_clipboard(const Opened_clipboard&) = delete;
    Opened_clipboard& operator=(const Opened_clipboard&) = delete;

    explicit operator bool() const { return opened_; }

private:
    bool opened_;
};

} // namespace Output
