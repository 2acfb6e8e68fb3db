// Synthetic key strokes for the foreground application: queue key downs and
// ups by virtual key, then send the whole queue in one SendInput call.
#pragma once

#include <windows.h>

#include <cstdint>
#include <vector>

class Keypresser {
public:
    static constexpr std::uint32_t flag_extended = 0x1;
    static constexpr std::uint32_t flag_key_up = 0x2;
    static constexpr std::uint32_t flag_unicode = 0x4;
    static constexpr std::uint32_t flag_scan_code = 0x8;
    static constexpr DWORD event_time = 12;

    Keypresser();
    virtual ~Keypresser() = default;

    void key_down(std::uint16_t virtual_key);
    void key_up(std::uint16_t virtual_key);

    // Sends the queue and empties it. With keep_modifiers false, key-up events
    // for both Shift, both Control and both Alt keys go first, so that keys the
    // user still holds do not turn Control+V into something else.
    virtual void execute(bool keep_modifiers);

    std::size_t queued() const { return queue_.size(); }

    static INPUT make_event(std::uint16_t virtual_key, std::uint32_t flags);
    static bool is_extended_key(std::uint16_t virtual_key);

private:
    std::vector<INPUT> queue_;
};
