// One owner per Win32 handle: move-only, closed exactly once.
#pragma once

#include <windows.h>

#include <utility>

template <class Traits> class Unique_handle {
public:
    using Handle = typename Traits::Handle;

    Unique_handle() = default;
    explicit Unique_handle(Handle handle) : handle_(handle) {}
    ~Unique_handle() { reset(); }
    Unique_handle(Unique_handle&& other) noexcept : handle_(other.release()) {}
    Unique_handle& operator=(Unique_handle&& other) noexcept {
        if (this != &other)
            reset(other.release());
        return *this;
    }
    Unique_handle(const Unique_handle&) = delete;
    Unique_handle& operator=(const Unique_handle&) = delete;

    Handle get() const { return handle_; }
    explicit operator bool() const { return handle_ != Handle(); }
    Handle release() { return std::exchange(handle_, Handle()); }
    void reset(Handle handle = Handle()) {
        Handle old = std::exchange(handle_, handle);
        if (old != Handle())
            Traits::close(old);
    }

private:
    Handle handle_ = Handle();
};

struct Hook_traits {
    using Handle = HHOOK;
    static void close(HHOOK hook) { UnhookWindowsHookEx(hook); }
};
struct Window_traits {
    using Handle = HWND;
    static void close(HWND window) { DestroyWindow(window); }
};
using Unique_hook = Unique_handle<Hook_traits>;
using Unique_window = Unique_handle<Window_traits>;

struct Menu_traits {
    using Handle = HMENU;
    static void close(HMENU menu) { DestroyMenu(menu); }
};
using Unique_menu = Unique_handle<Menu_traits>;
