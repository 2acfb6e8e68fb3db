// The host's low-level keyboard hook. The hook callback only decides (see
// Key_router) and returns: it calls the plug-in's listener inline (a map
// lookup), but posts "key_processing" to a message-only window, because an
// action can run for seconds and Windows silently removes a hook that
// overruns its time-out. Both run on the thread that installed the hook,
// which must serve its messages (see pump_messages).
#pragma once

#include "contract/unique_handle.h"
#include "host/key_router.h"
#include "host/reference_host.h"

#include <atomic>
#include <cstdint>
#include <string>

class Keyboard_hook {
public:
    explicit Keyboard_hook(Reference_host& host);
    ~Keyboard_hook();
    Keyboard_hook(const Keyboard_hook&) = delete;
    Keyboard_hook& operator=(const Keyboard_hook&) = delete;

    // One hook per process: a second install fails with a message.
    bool install(std::string& error);
    bool installed() const { return static_cast<bool>(hook_); }

    // Queues "key_processing" for the message loop, as the hook does.
    bool post_report(std::uint32_t host_value, bool key_down);
    // Events the hook callback has seen, injected ones included.
    unsigned int events_seen() const { return events_seen_.load(); }

private:
    static LRESULT CALLBACK hook_proc(int code, WPARAM message, LPARAM data);
    static LRESULT CALLBACK window_proc(HWND window, UINT message, WPARAM w, LPARAM l);
    bool on_key(const KBDLLHOOKSTRUCT& event);
    void deliver_report(std::uint32_t host_value, bool key_down);

    Reference_host& host_;
    Key_router router_;
    Unique_window window_;
    Unique_hook hook_;
    std::atomic<unsigned int> events_seen_{0};
};

// Serves the calling thread's messages for the given time (at least one pass
// over what is queued already).
void pump_messages(unsigned int milliseconds);
