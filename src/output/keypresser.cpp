#include "output/keypresser.h"

#include "contract/own_output.h"
#include "trace/boundary.h"
#include "trace/trace.h"

Keypresser::Keypresser() {
    queue_.reserve(300);
}

bool Keypresser::is_extended_key(std::uint16_t virtual_key) {
    return (virtual_key >= VK_PRIOR && virtual_key <= VK_DOWN) || virtual_key == VK_PRINT ||
           virtual_key == VK_INSERT || virtual_key == VK_DELETE || virtual_key == VK_DIVIDE ||
           virtual_key == VK_NUMLOCK || virtual_key == VK_RCONTROL || virtual_key == VK_RMENU;
}

INPUT Keypresser::make_event(std::uint16_t virtual_key, std::uint32_t flags) {
    INPUT input{};
    input.type = INPUT_KEYBOARD;
    input.ki.time = event_time;
    input.ki.dwExtraInfo = 0;
    if (flags & flag_unicode) {
        input.ki.wVk = 0;
        input.ki.wScan = virtual_key;
        input.ki.dwFlags = flags;
        return input;
    }
    input.ki.wVk = virtual_key;
    input.ki.wScan = static_cast<WORD>(MapVirtualKeyW(virtual_key, MAPVK_VK_TO_VSC));
    input.ki.dwFlags = flags | (is_extended_key(virtual_key) ? flag_extended : 0);
    return input;
}

void Keypresser::key_down(std::uint16_t virtual_key) {
    queue_.push_back(make_event(virtual_key, 0));
}

void Keypresser::key_up(std::uint16_t virtual_key) {
    queue_.push_back(make_event(virtual_key, flag_key_up));
}

void Keypresser::execute(bool keep_modifiers) {
    if (queue_.empty()) {
        return;
    }
    Trace::guarded("Keypresser::execute", [&] {
        Trace::info("Keypresser::execute")
            << "Sending " << static_cast<std::uint32_t>(queue_.size()) << " key events";
        GUITHREADINFO info{};
        info.cbSize = sizeof(info);
        if (!GetGUIThreadInfo(0, &info)) {
            const auto code = static_cast<std::uint32_t>(GetLastError());
            Trace::error("Keypresser::execute") << "GetGUIThreadInfo failed with " << code;
            return;
        }
        if (!keep_modifiers) {
            // Each release goes in front of all others: the queue then starts
            // with right Alt up and ends the releases with left Shift up.
            for (std::uint16_t key = VK_LSHIFT; key <= VK_RMENU; ++key) {
                queue_.insert(queue_.begin(), make_event(key, flag_key_up | flag_scan_code));
            }
        }
        // SendInput returns after the low-level hooks have seen the events:
        // while it runs, the keyboard listener knows them for our own.
        Own_output::Scope own;
        SendInput(static_cast<UINT>(queue_.size()), queue_.data(), sizeof(INPUT));
    });
    queue_.clear();
}
