#include "builtin_actions/url_text.h"

#include "output/win_handles.h"
#include "trace/trace.h"

#include <windows.h>

#include <shellapi.h>

#include <cwchar>

namespace {

constexpr const wchar_t* markers[] = {L"%s", L"xVelloquartex", L"xvelloquartex"};

} // namespace

// Each of these builds its result in one pass into a new string: replacing in
// place shifts the whole tail at every hit, which over a large selection
// full of "&" costs time quadratic in its length.

std::wstring replace_all(const std::wstring& text, const std::wstring& from,
                         const std::wstring& to) {
    if (from.empty())
        return text;
    std::wstring out;
    std::size_t copied = 0;
    for (std::size_t at = text.find(from); at != std::wstring::npos; at = text.find(from, copied)) {
        out.append(text, copied, at - copied);
        out += to;
        copied = at + from.size();
    }
    if (copied == 0)
        return text;
    out.append(text, copied, std::wstring::npos);
    return out;
}

std::wstring escape_selection(const std::wstring& value) {
    std::wstring escaped;
    escaped.reserve(value.size() + value.size() / 4);
    for (wchar_t c : value) {
        if (c == L'%')
            escaped += L"%25";
        else if (c == L'&')
            escaped += L"%26";
        else if (c == L'#')
            escaped += L"%23";
        else
            escaped += c;
    }
    return escaped;
}

// The markers are looked for in the template only: a selection that holds
// "xvelloquartex" is inserted as it is and never searched again, so that
// the link grows with the selection and not with its square.
std::wstring substitute_value(const std::wstring& link_template, const std::wstring& value) {
    const std::wstring escaped = escape_selection(value);
    std::wstring link;
    std::size_t copied = 0;
    for (std::size_t at = 0; at < link_template.size();) {
        const wchar_t* hit = nullptr;
        for (const wchar_t* marker : markers)
            if (link_template.compare(at, std::wcslen(marker), marker) == 0) {
                hit = marker;
                break;
            }
        if (!hit) {
            ++at;
            continue;
        }
        link.append(link_template, copied, at - copied);
        link += escaped;
        at += std::wcslen(hit);
        copied = at;
    }
    link.append(link_template, copied, std::wstring::npos);
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
