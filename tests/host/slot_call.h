// Calls a virtual function by its vtable slot number, the way a host built by
// another compiler does: the object's first word points at the table, member
// functions are thiscall on i686.
#pragma once

#if defined(__i386__)
#define HOST_TEST_THISCALL __attribute__((thiscall))
#else
#define HOST_TEST_THISCALL
#endif

template <class R, class... Args> R call_slot(void* object, int slot, Args... args) {
    using Function = R(HOST_TEST_THISCALL*)(void*, Args...);
    void** table = *static_cast<void***>(object);
    return reinterpret_cast<Function>(table[slot])(object, args...);
}
