// At most one action works with the clipboard at a time in the process.
//
// An action saves the user's clipboard, makes the application copy, pastes
// and restores. Two of them interleaved (a second press while the first
// waits for its copy, which pumps messages and so can run the second inside
// the first, or two direct releases on two worker threads) save each
// other's intermediate contents and restore the wrong thing: the user's
// clipboard is lost. A second run while one is in progress is therefore
// refused, with one trace line, rather than queued: a queued press would
// act on a selection that the first run has already replaced.
//
// At shut-down the gate closes: every new run is refused and the copy
// jobs in flight are cancelled, so nothing keeps waiting for a window that
// is about to go.
#pragma once

namespace Clipboard_gate {

class Pass {
public:
    Pass() = default;
    ~Pass();
    Pass(Pass&& other) noexcept;
    Pass& operator=(Pass&& other) noexcept;
    Pass(const Pass&) = delete;
    Pass& operator=(const Pass&) = delete;

    explicit operator bool() const { return held_; }
    void release();

private:
    friend Pass enter(const char* who);
    bool held_ = false;
};

// An empty pass (and one info line naming `who`) when another run holds the
// gate or the gate is closed.
Pass enter(const char* who);

// Shut-down: refuse every new run and cancel the copy jobs in flight.
void close();
bool closed();
// Start-up.
void open();

} // namespace Clipboard_gate
