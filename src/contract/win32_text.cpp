#include "contract/win32_text.h"

#include "contract/text_convert.h"
#include "contract/unique_handle.h"

#include <vector>

std::wstring module_file_path(HMODULE module) {
    std::vector<wchar_t> buffer(MAX_PATH);
    for (;;) {
        const DWORD n =
            GetModuleFileNameW(module, buffer.data(), static_cast<DWORD>(buffer.size()));
        if (n == 0)
            return {};
        // A full buffer may hold a truncated path: try again with more room.
        if (n < buffer.size())
            return std::wstring(buffer.data(), n);
        buffer.resize(buffer.size() * 2);
    }
}

std::wstring executable_directory() {
    const std::wstring path = module_file_path(nullptr);
    const std::size_t slash = path.find_last_of(L"\\/");
    return slash == std::wstring::npos ? std::wstring() : path.substr(0, slash);
}

std::wstring with_extension(const std::wstring& path, const wchar_t* extension) {
    const std::size_t slash = path.find_last_of(L"\\/");
    const std::size_t dot = path.find_last_of(L'.');
    if (dot == std::wstring::npos || (slash != std::wstring::npos && dot < slash))
        return path + extension;
    return path.substr(0, dot) + extension;
}

std::wstring window_text(HWND window) {
    if (!window || !IsWindow(window))
        return {};
    const int length = GetWindowTextLengthW(window);
    if (length <= 0)
        return {};
    std::wstring text(static_cast<std::size_t>(length) + 1, L'\0');
    const int copied = GetWindowTextW(window, &text[0], length + 1);
    text.resize(copied > 0 ? static_cast<std::size_t>(copied) : 0);
    return text;
}

std::string system_error_text(DWORD code) {
    wchar_t* raw = nullptr;
    DWORD length = FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM |
                                      FORMAT_MESSAGE_IGNORE_INSERTS,
                                  nullptr, code, 0, reinterpret_cast<wchar_t*>(&raw), 0, nullptr);
    Unique_local_memory<wchar_t> buffer(raw);
    std::wstring text;
    if (buffer)
        text.assign(buffer.get(), length);
    while (!text.empty() && (text.back() == L'\n' || text.back() == L'\r' || text.back() == L' ' ||
                             text.back() == L'.'))
        text.pop_back();
    std::string out = text.empty() ? std::string("unknown error") : utf16_to_utf8(text);
    return out + " (error " + std::to_string(code) + ")";
}
