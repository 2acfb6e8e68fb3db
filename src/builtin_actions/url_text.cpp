#include "builtin_actions/url_text.h"

#include "output/win_handles.h"
#include "trace/trace.h"

#include <windows.h>

#include <shellapi.h>

#include <cwchar>

namespace {

constexpr const wchar_t* markers[] = {L"%s", L"xVelloquartex", L"xvelloquartex"};

} // namespace

std::wstring replace_all(std::wstring text, const std::wstring& from, const std::wstring& to) {
    if (from.empty())
        return text;
    std::size_t at = 0;
    while ((at = text.find(from, at)) != std::wstring::npos) {
        text.replace(at, from.size(), to);
        at += to.size();
    }
    return text;
}

std::wstring escape_selection(const std::wstring& value) {
    std::wstring escaped = replace_all(value, L"%", L"%25");
    escaped = replace_all(std::move(escaped), L"&", L"%26");
    return replace_all(std::move(escaped), L"#", L"%23");
}

std::wstring substitute_value(const std::wstring& link_template, const std::wstring& value) {
    const std::wstring escaped = escape_selection(value);
    std::wstring link = link_template;
    for (const wchar_t* marker : markers)
        link = replace_all(std::move(link), marker, escaped);
    return link;
}

bool has_selection_marker(const std::wstring& link_template) {
    for (const wchar_t* marker : markers)
        if (link_template.find(marker) != std::wstring::npos)
            return true;
    return false;
}

std::wstring url_encode(const std::wstring& text) {
    static const wchar_t reserved[] = L"%\"<>\\^[]`+$,@:;/!#?=&.|";
    static const wchar_t digits[] = L"0123456789abcdef";
    std::wstring encoded;
    encoded.reserve(text.size());
    for (wchar_t c : text) {
        if (c != L'\0' && std::wcschr(reserved, c)) {
            encoded += L'%';
            encoded += digits[(c >> 4) & 0xF];
            encoded += digits[c & 0xF];
        } else {
            encoded += c;
        }
    }
    return encoded;
}

bool open_with_shell(const std::wstring& target, const char* caller) {
    SHELLEXECUTEINFOW info{};
    info.cbSize = sizeof info;
    info.fMask = SEE_MASK_NOASYNC | SEE_MASK_NOCLOSEPROCESS; // 0x140
    info.lpVerb = L"Open";
    info.lpFile = target.c_str();
    info.lpParameters = L"";
    info.lpDirectory = L"";
    info.nShow = SW_SHOW;
    const BOOL ok = ShellExecuteExW(&info);
    // Asked for so that the call waits for the hand-over; not needed after it.
    Output::Unique_kernel_handle process(info.hProcess);
    if (!ok) {
        Trace::error(caller) << L"the shell cannot open " << target << L": error "
                             << static_cast<std::uint32_t>(GetLastError());
        return false;
    }
    return true;
}
