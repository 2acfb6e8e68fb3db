#include "util/url_text.h"

#include "contract/unique_handle.h"
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

namespace {

std::size_t escaped_size(const std::wstring& value) {
    std::size_t size = value.size();
    for (wchar_t c : value)
        if (c == L'%' || c == L'&' || c == L'#')
            size += 2;
    return size;
}

// Appends the escaped value into room already reserved in `out`.
void append_escaped(std::wstring& out, const std::wstring& value) {
    for (wchar_t c : value) {
        if (c == L'%' || c == L'&' || c == L'#') {
            out += L'%';
            out += L'2';
            out += c == L'%' ? L'5' : c == L'&' ? L'6' : L'3';
        } else {
            out += c;
        }
    }
}

std::size_t marker_at(const std::wstring& text, std::size_t at) {
    for (const wchar_t* marker : markers) {
        const std::size_t length = std::wcslen(marker);
        if (text.compare(at, length, marker) == 0)
            return length;
    }
    return 0;
}

} // namespace

std::wstring escape_selection(const std::wstring& value) {
    std::wstring escaped;
    escaped.reserve(escaped_size(value));
    append_escaped(escaped, value);
    return escaped;
}

// The markers are looked for in the template only: a selection that holds
// "xvelloquartex" is inserted as it is and never searched again, so that
// the link grows with the selection and not with its square. The escaped
// value is written straight into the link, whose size is known beforehand.
std::wstring substitute_value(const std::wstring& link_template, const std::wstring& value) {
    std::size_t markers_found = 0;
    std::size_t marker_chars = 0;
    for (std::size_t at = 0; at < link_template.size();) {
        const std::size_t length = marker_at(link_template, at);
        markers_found += length ? 1 : 0;
        marker_chars += length;
        at += length ? length : 1;
    }
    std::wstring link;
    link.reserve(link_template.size() - marker_chars + markers_found * escaped_size(value));
    for (std::size_t at = 0; at < link_template.size();) {
        const std::size_t length = marker_at(link_template, at);
        if (length) {
            append_escaped(link, value);
            at += length;
        } else {
            link += link_template[at++];
        }
    }
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
    Unique_kernel_handle process(info.hProcess);
    if (!ok) {
        Trace::error(caller) << L"the shell cannot open " << target << L": error "
                             << static_cast<std::uint32_t>(GetLastError());
        return false;
    }
    return true;
}
