#include "output_test_support.h"

#include "trace/trace.h"

#include <cstring>
#include <filesystem>
#include <fstream>

namespace Output_test {

Trace_capture::Trace_capture() {
    Trace::set_level(Trace::debug_level);
}

std::vector<std::string> Trace_capture::lines() const {
    Trace::get()->flush();
    std::ifstream in(std::filesystem::path(Trace::trace_file_path()), std::ios::binary);
    std::vector<std::string> result;
    std::string line;
    while (std::getline(in, line)) {
        result.push_back(line);
    }
    return result;
}

std::vector<std::string> Trace_capture::texts(const std::string& kind,
                                              const std::string& function) const {
    const std::string head = "\t" + kind + "\t[" + function + "]";
    std::vector<std::string> result;
    for (const std::string& line : lines()) {
        const std::size_t at = line.find(head);
        if (at == std::string::npos) {
            continue;
        }
        std::string rest = line.substr(at + head.size());
        rest.erase(0, rest.find_first_not_of(' '));
        if (!rest.empty() && rest.back() == '\r') {
            rest.pop_back();
        }
        result.push_back(rest);
    }
    return result;
}

bool Trace_capture::has_line_containing(const std::string& part) const {
    for (const std::string& line : lines()) {
        if (line.find(part) != std::string::npos) {
            return true;
        }
    }
    return false;
}

namespace {
Key_recorder* active_recorder = nullptr;
}

Key_recorder::Key_recorder(bool swallow) : swallow_(swallow) {
    active_recorder = this;
    hook_ =
        SetWindowsHookExW(WH_KEYBOARD_LL, &Key_recorder::hook_proc, GetModuleHandleW(nullptr), 0);
}

Key_recorder::~Key_recorder() {
    if (hook_) {
        UnhookWindowsHookEx(hook_);
    }
    active_recorder = nullptr;
}

LRESULT CALLBACK Key_recorder::hook_proc(int code, WPARAM wparam, LPARAM lparam) {
    if (code == HC_ACTION && active_recorder) {
        const auto* info = reinterpret_cast<const KBDLLHOOKSTRUCT*>(lparam);
        if (info->flags & LLKHF_INJECTED) {
            active_recorder->events_.push_back(
                {info->vkCode, info->scanCode, info->flags, info->time});
            if (active_recorder->swallow_) {
                return 1;
            }
        }
    }
    return CallNextHookEx(nullptr, code, wparam, lparam);
}

bool Key_recorder::wait_for(std::size_t count, std::uint32_t timeout_ms) {
    return pump_until([&] { return events_.size() >= count; }, timeout_ms);
}

bool pump_until(const std::function<bool()>& condition, std::uint32_t timeout_ms) {
    const ULONGLONG end = GetTickCount64() + timeout_ms;
    while (!condition()) {
        if (GetTickCount64() >= end) {
            return false;
        }
        MSG message;
        if (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
            DispatchMessageW(&message);
        } else {
            Sleep(1);
        }
    }
    return true;
}

namespace {

bool open_clipboard() {
    for (int i = 0; i < 200; ++i) {
        if (OpenClipboard(nullptr)) {
            return true;
        }
        Sleep(10);
    }
    return false;
}

} // namespace

bool set_clipboard(const std::map<std::uint32_t, std::vector<std::uint8_t>>& formats) {
    if (!open_clipboard()) {
        return false;
    }
    bool ok = EmptyClipboard() != 0;
    for (const auto& [format, bytes] : formats) {
        HGLOBAL block = GlobalAlloc(GMEM_MOVEABLE, bytes.size());
        if (!block) {
            ok = false;
            continue;
        }
        if (void* data = GlobalLock(block)) {
            std::memcpy(data, bytes.data(), bytes.size());
            GlobalUnlock(block);
        }
        if (!SetClipboardData(format, block)) {
            GlobalFree(block);
            ok = false;
        }
    }
    CloseClipboard();
    return ok;
}

bool set_clipboard_text(const std::wstring& text) {
    return set_clipboard({{CF_UNICODETEXT, utf16_bytes(text)}});
}

bool clipboard_bytes(std::uint32_t format, std::vector<std::uint8_t>& bytes) {
    bytes.clear();
    if (!open_clipboard()) {
        return false;
    }
    bool found = false;
    if (HANDLE data = GetClipboardData(format)) {
        found = true;
        if (const void* locked = GlobalLock(data)) {
            const auto* first = static_cast<const std::uint8_t*>(locked);
            bytes.assign(first, first + GlobalSize(data));
            GlobalUnlock(data);
        }
    }
    CloseClipboard();
    return found;
}

std::wstring clipboard_text() {
    std::vector<std::uint8_t> bytes;
    if (!clipboard_bytes(CF_UNICODETEXT, bytes)) {
        return {};
    }
    std::wstring text(bytes.size() / 2, L'\0');
    std::memcpy(&text[0], bytes.data(), text.size() * 2);
    return text.substr(0, text.find(L'\0'));
}

std::vector<std::uint32_t> clipboard_formats() {
    std::vector<std::uint32_t> formats;
    if (!open_clipboard()) {
        return formats;
    }
    for (UINT format = EnumClipboardFormats(0); format; format = EnumClipboardFormats(format)) {
        formats.push_back(format);
    }
    CloseClipboard();
    return formats;
}

bool clipboard_has(std::uint32_t format) {
    return IsClipboardFormatAvailable(format) != 0;
}

std::vector<std::uint8_t> utf16_bytes(const std::wstring& text) {
    std::vector<std::uint8_t> bytes((text.size() + 1) * 2, 0);
    std::memcpy(bytes.data(), text.data(), text.size() * 2);
    return bytes;
}

std::vector<std::uint8_t> narrow_bytes(const std::string& text) {
    std::vector<std::uint8_t> bytes(text.begin(), text.end());
    bytes.push_back(0);
    return bytes;
}

} // namespace Output_test
