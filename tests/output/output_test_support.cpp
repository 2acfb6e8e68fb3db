#include "output_test_support.h"

#include <cstring>

namespace Output_test {

const auto opened = [] { return OpenClipboard(nullptr) != 0; };

bool pump_until(const std::function<bool()>& condition, std::uint32_t timeout_ms,
                std::uint32_t interval_ms) {
    const ULONGLONG end = GetTickCount64() + timeout_ms;
    for (MSG message; !condition(); Sleep(interval_ms)) {
        if (GetTickCount64() >= end)
            return false;
        while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE))
            DispatchMessageW(&message);
    }
    return true;
}

bool set_clipboard(const std::map<std::uint32_t, std::vector<std::uint8_t>>& formats) {
    if (!pump_until(opened, 2000))
        return false;
    bool ok = EmptyClipboard() != 0;
    for (const auto& [format, bytes] : formats) {
        HGLOBAL block = GlobalAlloc(GMEM_MOVEABLE, bytes.size());
        if (void* data = block ? GlobalLock(block) : nullptr) {
            std::memcpy(data, bytes.data(), bytes.size());
            GlobalUnlock(block);
        }
        if (!block || !SetClipboardData(format, block)) {
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
    if (!pump_until(opened, 2000))
        return false;
    HANDLE data = GetClipboardData(format);
    if (const auto* locked = data ? static_cast<const std::uint8_t*>(GlobalLock(data)) : nullptr) {
        bytes.assign(locked, locked + GlobalSize(data));
        GlobalUnlock(data);
    }
    CloseClipboard();
    return data != nullptr;
}

std::wstring clipboard_text() {
    std::vector<std::uint8_t> bytes;
    clipboard_bytes(CF_UNICODETEXT, bytes);
    std::wstring text(bytes.size() / 2, L'\0');
    std::memcpy(text.data(), bytes.data(), text.size() * 2);
    return text.substr(0, text.find(L'\0'));
}

std::vector<std::uint8_t> utf16_bytes(const std::wstring& text) {
    std::vector<std::uint8_t> bytes((text.size() + 1) * 2, 0);
    std::memcpy(bytes.data(), text.data(), text.size() * 2);
    return bytes;
}

} // namespace Output_test
