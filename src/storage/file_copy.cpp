#include "storage/file_copy.h"

#include "contract/text_convert.h"
#include "contract/unique_handle.h"
#include "contract/win32_text.h"

#include <windows.h>

#include <filesystem>
#include <system_error>
#include <vector>

namespace {

Unique_file open_file(const std::wstring& path, DWORD access, DWORD disposition) {
    return Unique_file(CreateFileW(path.c_str(), access, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                   nullptr, disposition, FILE_ATTRIBUTE_NORMAL, nullptr));
}

Unique_file open_for_identity(const std::wstring& path) {
    return Unique_file(CreateFileW(path.c_str(), 0,
                                   FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                   OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
}

bool same_file(const std::wstring& a, const std::wstring& b) {
    Unique_file first = open_for_identity(a);
    Unique_file second = open_for_identity(b);
    BY_HANDLE_FILE_INFORMATION one{}, two{};
    if (!first || !second || !GetFileInformationByHandle(first.get(), &one) ||
        !GetFileInformationByHandle(second.get(), &two))
        return false;
    return one.dwVolumeSerialNumber == two.dwVolumeSerialNumber &&
           one.nFileIndexHigh == two.nFileIndexHigh && one.nFileIndexLow == two.nFileIndexLow;
}

} // namespace

namespace {

// Our own loop rather than CopyFileW: Wine's CopyFileW ends a copy whose read
// fails as if the source had ended, and reports success.
bool copy_contents(HANDLE from, HANDLE to) {
    std::vector<char> buffer(1 << 16);
    for (;;) {
        DWORD read = 0;
        if (!ReadFile(from, buffer.data(), static_cast<DWORD>(buffer.size()), &read, nullptr))
            return false;
        if (read == 0)
            return FlushFileBuffers(to) != 0;
        DWORD written = 0;
        if (!WriteFile(to, buffer.data(), read, &written, nullptr) || written != read)
            return false;
    }
}

} // namespace

bool copy_file_over(const std::wstring& from, const std::wstring& to, std::string& error) {
    if (same_file(from, to)) {
        error = "cannot copy file onto itself [" + utf16_to_utf8(from) + "]";
        return false;
    }
    // Windows refuses to replace a read-only file, Wine does not: the user's
    // mark is kept on both.
    const DWORD attributes = GetFileAttributesW(to.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY)) {
        error = "cannot replace a read-only file [" + utf16_to_utf8(to) + "]";
        return false;
    }
    // The copy goes to a file beside the target and replaces it only when
    // complete: a copy that breaks off leaves the user's backup, or their
    // working database, as it was. Beside it, so that the rename stays on
    // one volume and cannot turn into a copy again.
    const std::wstring temporary = to + L"." + std::to_wstring(GetCurrentProcessId()) + L".tmp";
    const char* step = "cannot open file";
    DWORD code = 0;
    {
        Unique_file source(open_file(from, GENERIC_READ, OPEN_EXISTING));
        Unique_file target(source ? open_file(temporary, GENERIC_WRITE, CREATE_ALWAYS)
                                  : Unique_file());
        if (source && target) {
            step = "cannot copy file";
            if (copy_contents(source.get(), target.get()))
                step = nullptr;
        }
        if (step)
            code = GetLastError();
    }
    if (!step) {
        if (MoveFileExW(temporary.c_str(), to.c_str(),
                        MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
            return true;
        step = "cannot replace file";
        code = GetLastError();
    }
    DeleteFileW(temporary.c_str());
    error = std::string(step) + ": " + system_error_text(code) + " [" + utf16_to_utf8(from) +
            "] [" + utf16_to_utf8(to) + "]";
    return false;
}

Scratch_directory::Scratch_directory() {
    wchar_t temporary[MAX_PATH + 1] = {};
    const DWORD length = GetTempPathW(MAX_PATH + 1, temporary);
    if (length == 0 || length > MAX_PATH)
        return;
    const std::wstring base = std::wstring(temporary, length) + L"zaptor-" +
                              std::to_wstring(GetCurrentProcessId()) + L"-" +
                              std::to_wstring(GetTickCount()) + L"-";
    for (int attempt = 0; attempt < 100; ++attempt) {
        std::wstring candidate = base + std::to_wstring(attempt);
        if (CreateDirectoryW(candidate.c_str(), nullptr)) {
            path_ = std::move(candidate);
            return;
        }
        if (GetLastError() != ERROR_ALREADY_EXISTS)
            return;
    }
}

Scratch_directory::~Scratch_directory() {
    if (path_.empty())
        return;
    std::error_code ignored;
    std::filesystem::remove_all(std::filesystem::path(path_), ignored);
}
