// Texts Windows hands out by buffer: module paths and window texts.
#pragma once

#include <windows.h>

#include <string>

// The full path of `module` (null: the executable), however long; empty
// when Windows cannot say.
std::wstring module_file_path(HMODULE module);
// The executable's folder, without a trailing backslash; empty when unknown.
std::wstring executable_directory();
// `path` with the extension of its last component replaced by `extension`
// (".log"), or with it added when there is none.
std::wstring with_extension(const std::wstring& path, const wchar_t* extension);
// The system's text for a Win32 error code in UTF-8, without the line break
// and full stop, followed by the code: "Access denied (error 5)".
std::string system_error_text(DWORD code);
// The window's text; empty for no window or no text.
std::wstring window_text(HWND window);
