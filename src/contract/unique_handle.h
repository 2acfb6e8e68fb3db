// One owner per Win32 resource: move-only, closed exactly once. The traits
// name the handle type, the value that means "none" and how to close one.
// Traits with state (a DDE string needs its instance) travel with the handle.
#pragma once

#include <windows.h>

#include <ddeml.h>
#include <objbase.h>

#include <cstddef>
#include <utility>

template <class Traits> class Unique_handle : private Traits {
public:
    using type = typename Traits::type;

    Unique_handle() = default;
    // An empty owner, as `return nullptr;` gives one for std::unique_ptr.
    Unique_handle(std::nullptr_t) {}
    explicit Unique_handle(type handle, Traits traits = Traits())
        : Traits(std::move(traits)), handle_(handle) {}
    ~Unique_handle() { reset(); }
    Unique_handle(Unique_handle&& other) noexcept
        : Traits(static_cast<Traits&>(other)), handle_(other.release()) {}
    Unique_handle& operator=(Unique_handle&& other) noexcept {
        if (this != &other) {
            reset(other.release());
            static_cast<Traits&>(*this) = static_cast<Traits&>(other);
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
        if (old != Traits::invalid())
            Traits::close(old);
    }

private:
    type handle_ = Traits::invalid();
};

// Process, thread, pipe: these answer null when they fail.
struct Kernel_handle_traits {
    using type = HANDLE;
    static type invalid() { return nullptr; }
    static void close(type handle) { CloseHandle(handle); }
};
// CreateFile answers INVALID_HANDLE_VALUE, not null, when it fails.
struct File_handle_traits {
    using type = HANDLE;
    static type invalid() { return INVALID_HANDLE_VALUE; }
    static void close(type handle) { CloseHandle(handle); }
};
struct Find_handle_traits {
    using type = HANDLE;
    static type invalid() { return INVALID_HANDLE_VALUE; }
    static void close(type handle) { FindClose(handle); }
};
struct Global_memory_traits {
    using type = HGLOBAL;
    static type invalid() { return nullptr; }
    static void close(type block) { GlobalFree(block); }
};
// Memory the system allocated for us with LocalAlloc (FormatMessage,
// CommandLineToArgvW) or CoTaskMemAlloc (SHGetKnownFolderPath).
template <class T> struct Local_memory_traits {
    using type = T*;
    static type invalid() { return nullptr; }
    static void close(type memory) { LocalFree(memory); }
};
template <class T> struct Co_task_memory_traits {
    using type = T*;
    static type invalid() { return nullptr; }
    static void close(type memory) { CoTaskMemFree(memory); }
};
struct Window_traits {
    using type = HWND;
    static type invalid() { return nullptr; }
    static void close(type window) { DestroyWindow(window); }
};
struct Menu_traits {
    using type = HMENU;
    static type invalid() { return nullptr; }
    static void close(type menu) { DestroyMenu(menu); }
};
struct Hook_traits {
    using type = HHOOK;
    static type invalid() { return nullptr; }
    static void close(type hook) { UnhookWindowsHookEx(hook); }
};
struct Module_traits {
    using type = HMODULE;
    static type invalid() { return nullptr; }
    static void close(type module) { FreeLibrary(module); }
};
struct Dde_instance_traits {
    using type = DWORD;
    static type invalid() { return 0; }
    static void close(type instance) { DdeUninitialize(instance); }
};
struct Dde_string_traits {
    using type = HSZ;
    DWORD instance = 0;
    static type invalid() { return nullptr; }
    void close(type text) const { DdeFreeStringHandle(instance, text); }
};
struct Dde_conversation_traits {
    using type = HCONV;
    static type invalid() { return nullptr; }
    static void close(type conversation) { DdeDisconnect(conversation); }
};
struct Dde_data_traits {
    using type = HDDEDATA;
    static type invalid() { return nullptr; }
    static void close(type data) { DdeFreeDataHandle(data); }
};

using Unique_kernel_handle = Unique_handle<Kernel_handle_traits>;
using Unique_file = Unique_handle<File_handle_traits>;
using Unique_find = Unique_handle<Find_handle_traits>;
using Unique_global = Unique_handle<Global_memory_traits>;
template <class T> using Unique_local_memory = Unique_handle<Local_memory_traits<T>>;
template <class T> using Unique_co_task_memory = Unique_handle<Co_task_memory_traits<T>>;
using Unique_window = Unique_handle<Window_traits>;
using Unique_menu = Unique_handle<Menu_traits>;
using Unique_hook = Unique_handle<Hook_traits>;
using Unique_module = Unique_handle<Module_traits>;
using Unique_dde_instance = Unique_handle<Dde_instance_traits>;
using Unique_dde_string = Unique_handle<Dde_string_traits>;
using Unique_dde_conversation = Unique_handle<Dde_conversation_traits>;
using Unique_dde_data = Unique_handle<Dde_data_traits>;
