// Helpers for the clipboard and keyboard tests: injected key events recorded
// by a low-level hook, and the real clipboard touched directly (not through
// the code under test).
#pragma once

#include <windows.h>

#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <vector>

namespace Output_test {

struct Key_event {
    DWORD vk;
    DWORD flags;
};

// A WH_KEYBOARD_LL hook on the calling thread, which must pump messages for
// the hook to run. Records injected events only.
class Key_recorder {
public:
    explicit Key_recorder(bool swallow);
    ~Key_recorder();
    Key_recorder(const Key_recorder&) = delete;
    Key_recorder& operator=(const Key_recorder&) = delete;

    bool installed() const { return hook_ != nullptr; }
    const std::vector<Key_event>& events() const { return events_; }
    // Pumps until `count` events arrived or `timeout_ms` passed.
    bool wait_for(std::size_t count, std::uint32_t timeout_ms);

private:
    static LRESULT CALLBACK hook_proc(int code, WPARAM wparam, LPARAM lparam);
    HHOOK hook_ = nullptr;
    bool swallow_;
    std::vector<Key_event> events_;
};

// Pumps messages until the condition holds or the time is up.
bool pump_until(const std::function<bool()>& condition, std::uint32_t timeout_ms);

bool set_clipboard(const std::map<std::uint32_t, std::vector<std::uint8_t>>& formats);
bool set_clipboard_text(const std::wstring& text);
// Bytes of a format (whole block), or false if the format is absent.
bool clipboard_bytes(std::uint32_t format, std::vector<std::uint8_t>& bytes);
std::wstring clipboard_text();
bool clipboard_has(std::uint32_t format);

std::vector<std::uint8_t> utf16_bytes(const std::wstring& text); // with terminator
std::vector<std::uint8_t> narrow_bytes(const std::string& text); // with terminator

} // namespace Output_test
