#include "storage/file_copy.h"

#include "core/text_convert.h"

#include <windows.h>

#include <memory>

namespace {

struct Close_handle {
    void operator()(HANDLE handle) const noexcept { CloseHandle(handle); }
};
using File_handle = std::unique_ptr<void, Close_handle>;

File_handle open_for_identity(const std::wstring& path) {
    HANDLE handle =
        CreateFileW(path.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                    nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    return File_handle(handle == INVALID_HANDLE_VALUE ? nullptr : handle);
}

bool same_file(const std::wstring& a, const std::wstring& b) {
    File_handle first = open_for_identity(a);
    File_handle second = open_for_identity(b);
    BY_HANDLE_FILE_INFORMATION one{}, two{};
    if (!first || !second || !GetFileInformationByHandle(first.get(), &one) ||
        !GetFileInformationByHandle(second.get(), &two))
        return false;
    return one.dwVolumeSerialNumber == two.dwVolumeSerialNumber &&
           one.nFileIndexHigh == two.nFileIndexHigh && one.nFileIndexLow == two.nFileIndexLow;
}

std::string system_message(DWORD code) {
    wchar_t* buffer = nullptr;
    DWORD n = FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM |
                                 FORMAT_MESSAGE_IGNORE_INSERTS,
                             nullptr, code, 0, reinterpret_cast<wchar_t*>(&buffer), 0, nullptr);
    std::wstring text = n ? std::wstring(buffer, n) : L"error " + std::to_wstring(code);
    LocalFree(buffer);
    while (!text.empty() && (text.back() == L'\n' || text.back() == L'\r' || text.back() == L' '))
        text.pop_back();
    return utf16_to_utf8(text);
}

} // namespace

bool copy_file_over(const std::wstring& from, const std::wstring& to, std::string& error) {
    if (same_file(from, to)) {
        error = "cannot copy file onto itself [" + utf16_to_utf8(from) + "]";
        return false;
    }
    if (CopyFileW(from.c_str(), to.c_str(), FALSE))
        return true;
    error = "cannot copy file: " + system_message(GetLastError()) + " [" + utf16_to_utf8(from) +
            "] [" + utf16_to_utf8(to) + "]";
    return false;
}
