// The one guard at every entry that the host or Windows calls (exports,
// filters, the keyboard listener, visitors, window, dialog, hook and
// enumeration procedures, thread entries). Nothing thrown may leave the
// plug-in there: the caller may be built by another compiler, and mingw's
// unwinder cannot walk its frames. Whatever is thrown becomes one error
// trace line and the given fallback result.
#pragma once

#include <exception>
#include <type_traits>
#include <utility>

namespace Trace {

// Writes "<where>: exception: <what>"; never throws.
void boundary_error(const char* where, const char* what) noexcept;

// How many guarded entries are on this thread's stack. Above one inside an
// entry, code of the plug-in is running below it: the caller re-entered us
// (a host that delivers a message while one of our actions waits for it).
int entry_depth() noexcept;

struct Entry_count {
    Entry_count() noexcept;
    ~Entry_count();
    Entry_count(const Entry_count&) = delete;
    Entry_count& operator=(const Entry_count&) = delete;
};

template <class Result, class Body>
Result guarded(const char* where, Result fallback, Body&& body) noexcept {
    Entry_count count;
    try {
        return std::forward<Body>(body)();
    } catch (const std::exception& e) {
        boundary_error(where, e.what());
    } catch (...) {
        boundary_error(where, "unknown exception");
    }
    return fallback;
}

template <class Body> void guarded(const char* where, Body&& body) noexcept {
    Entry_count count;
    try {
        std::forward<Body>(body)();
    } catch (const std::exception& e) {
        boundary_error(where, e.what());
    } catch (...) {
        boundary_error(where, "unknown exception");
    }
}

} // namespace Trace
