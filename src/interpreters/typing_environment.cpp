#include "interpreters/typing_environment.h"

#include "contract/unique_handle.h"
#include "contract/win32_text.h"
#include "output/clipboard_backup_scope.h"
#include "output/clipboard_handler.h"
#include "trace/trace.h"
#include "util/url_text.h"

#include <knownfolders.h>
#include <shellapi.h>
#include <shlobj.h>

SYSTEMTIME System_environment::local_time() {
    SYSTEMTIME time{};
    GetLocalTime(&time);
    return time;
}

std::wstring System_environment::selection_text() {
    // The copy goes through the clipboard: the user's own contents come back
    // once the selection is read.
    Clipboard_handler handler;
    Clipboard_backup_scope scope(handler, "System_environment::selection_text");
    if (!scope)
        return {};
    return handler.read_selection_text();
}

std::wstring System_environment::foreground_window_title() {
    return window_text(GetForegroundWindow());
}

void System_environment::open(const std::wstring& target) {
    open_with_shell(target, "System_environment::open");
}

std::wstring System_environment::pictures_folder() {
    wchar_t* raw = nullptr;
    const HRESULT result = SHGetKnownFolderPath(FOLDERID_Pictures, 0, nullptr, &raw);
    Unique_co_task_memory<wchar_t> path(raw);
    if (FAILED(result) || !path)
        return {};
    return path.get();
}

std::wstring format_date(const SYSTEMTIME& time, const std::wstring& format) {
    const int size = GetDateFormatW(LOCALE_USER_DEFAULT, 0, &time, format.c_str(), nullptr, 0);
    if (size > 0) {
        std::wstring text(static_cast<std::size_t>(size), L'\0');
        const int written =
            GetDateFormatW(LOCALE_USER_DEFAULT, 0, &time, format.c_str(), &text[0], size);
        if (written > 0) {
            text.resize(static_cast<std::size_t>(written) - 1);
            return text;
        }
    }
    Trace::error("format_date") << L"cannot format " << time.wYear << L"-" << time.wMonth << L"-"
                                << time.wDay << L" as \"" << format << L"\": error "
                                << static_cast<std::uint32_t>(GetLastError());
    return {};
}

std::wstring format_time(const SYSTEMTIME& time, const std::wstring& format) {
    const int size = GetTimeFormatW(LOCALE_USER_DEFAULT, TIME_FORCE24HOURFORMAT, &time,
                                    format.c_str(), nullptr, 0);
    if (size > 0) {
        std::wstring text(static_cast<std::size_t>(size), L'\0');
        const int written = GetTimeFormatW(LOCALE_USER_DEFAULT, TIME_FORCE24HOURFORMAT, &time,
                                           format.c_str(), &text[0], size);
        if (written > 0) {
            text.resize(static_cast<std::size_t>(written) - 1);
            return text;
        }
    }
    Trace::error("format_time") << L"cannot format " << time.wHour << L":" << time.wMinute
                                << L" as \"" << format << L"\": error "
                                << static_cast<std::uint32_t>(GetLastError());
    return {};
}
