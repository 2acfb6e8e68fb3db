#include "host/typing_decoder.h"

#include "trace/trace.h"

#include <cstdio>

namespace {

int hex_value(wchar_t c) {
    if (c >= L'0' && c <= L'9')
        return c - L'0';
    if (c >= L'a' && c <= L'f')
        return c - L'a' + 10;
    if (c >= L'A' && c <= L'F')
        return c - L'A' + 10;
    return -1;
}

// `count` hex digits at `at`; leading spaces allowed when `padded`.
bool read_hex(const std::wstring& data, std::size_t at, std::size_t count, bool padded,
              std::uint32_t& value) {
    if (at + count > data.size())
        return false;
    value = 0;
    std::size_t i = 0;
    if (padded)
        while (i < count && data[at + i] == L' ')
            ++i;
    if (i == count)
        return false; // no digit at all
    for (; i < count; ++i) {
        int digit = hex_value(data[at + i]);
        if (digit < 0)
            return false;
        value = value * 16 + static_cast<std::uint32_t>(digit);
    }
    return true;
}

// Parses the element at `at` (a marker); answers its length, 0 when malformed.
std::size_t parse_element(const std::wstring& data, std::size_t at, Typing_element& element) {
    const wchar_t marker = data[at];
    std::uint32_t value = 0;
    switch (marker) {
    case 0x0001:
    case 0x0002:
    case 0x0003:
        if (!read_hex(data, at + 1, 2, false, value))
            return 0;
        element.kind = marker == 0x0001   ? Typing_element::Kind::key_press
                       : marker == 0x0002 ? Typing_element::Kind::key_down
                                          : Typing_element::Kind::key_up;
        element.virtual_key = static_cast<std::uint8_t>(value);
        return 3;
    case 0x0004:
        if (!read_hex(data, at + 1, 4, true, value))
            return 0;
        element.kind = Typing_element::Kind::pause;
        element.milliseconds = static_cast<std::uint16_t>(value);
        return 5;
    case 0x0005: {
        if (at + 1 >= data.size())
            return 0;
        std::uint32_t first = 0, second = 0;
        if (data[at + 1] == L'I') {
            if (!read_hex(data, at + 2, 8, false, first) || first > data.size() - (at + 10))
                return 0;
            element.kind = Typing_element::Kind::image;
            element.text = data.substr(at + 10, first);
            return 10 + first;
        }
        if (data[at + 1] == L'L') {
            if (!read_hex(data, at + 2, 8, false, first) || at + 10 >= data.size() ||
                data[at + 10] != L'|' || !read_hex(data, at + 11, 8, false, second))
                return 0;
            const std::size_t body = at + 19;
            if (first > data.size() - body || second > data.size() - body - first)
                return 0;
            element.kind = Typing_element::Kind::link;
            element.text = data.substr(body, first);
            element.second = data.substr(body + first, second);
            return 19 + first + second;
        }
        return 0;
    }
    default:
        return 0;
    }
}

void append_decimal(std::wstring& out, unsigned value) {
    out += std::to_wstring(value);
}

void append_hex2(std::wstring& out, unsigned value) {
    wchar_t buffer[8];
    std::swprintf(buffer, 8, L"%02x", value & 0xFF);
    out += buffer;
}

} // namespace

namespace Typing_decoder {

std::vector<Typing_element> decode(const std::wstring& data) {
    std::vector<Typing_element> elements;
    auto append_character = [&](wchar_t c) {
        if (elements.empty() || elements.back().kind != Typing_element::Kind::text) {
            elements.emplace_back();
            elements.back().kind = Typing_element::Kind::text;
        }
        elements.back().text += c;
    };
    std::size_t at = 0;
    while (at < data.size()) {
        const wchar_t c = data[at];
        if (c < 0x0001 || c > 0x0005) {
            append_character(c);
            ++at;
            continue;
        }
        Typing_element element;
        std::size_t length = parse_element(data, at, element);
        if (length == 0) {
            Trace::error("Typing_decoder::decode")
                << "malformed control element U+000" << static_cast<std::uint32_t>(c)
                << " at offset " << static_cast<std::uint64_t>(at)
                << "; the marker is skipped and what follows is typed as text";
            element = Typing_element();
            element.kind = Typing_element::Kind::invalid;
            element.marker = c;
            length = 1;
        }
        elements.push_back(std::move(element));
        at += length;
    }
    return elements;
}

std::wstring record_text(const Typing_element& element) {
    if (element.kind == Typing_element::Kind::link && !element.second.empty())
        return element.text + L" (" + element.second + L")";
    return element.text;
}

std::wstring visible_form(const std::wstring& data) {
    std::wstring out;
    for (const auto& element : decode(data)) {
        switch (element.kind) {
        case Typing_element::Kind::text:
            for (wchar_t c : element.text) {
                if (c == L'<')
                    out += L"<lt>";
                else if (c == L'\t')
                    out += L"<tab>";
                else if (c == L'\r')
                    out += L"<return>";
                else if (c == L'\n')
                    out += L"<newline>";
                else if (c < 0x20 || c == 0x7F) {
                    wchar_t buffer[12];
                    std::swprintf(buffer, 12, L"<U+%04X>", static_cast<unsigned>(c));
                    out += buffer;
                } else
                    out += c;
            }
            break;
        case Typing_element::Kind::key_press:
            out += L"<press ";
            append_hex2(out, element.virtual_key);
            out += L">";
            break;
        case Typing_element::Kind::key_down:
            out += L"<down ";
            append_hex2(out, element.virtual_key);
            out += L">";
            break;
        case Typing_element::Kind::key_up:
            out += L"<up ";
            append_hex2(out, element.virtual_key);
            out += L">";
            break;
        case Typing_element::Kind::pause:
            out += L"<pause ";
            append_decimal(out, element.milliseconds);
            out += L">";
            break;
        case Typing_element::Kind::link:
            out += L"<link " + element.text + L"|" + element.second + L">";
            break;
        case Typing_element::Kind::image:
            out += L"<image " + element.text + L">";
            break;
        case Typing_element::Kind::invalid: {
            wchar_t buffer[20];
            std::swprintf(buffer, 20, L"<invalid U+%04X>", static_cast<unsigned>(element.marker));
            out += buffer;
            break;
        }
        }
    }
    return out;
}

} // namespace Typing_decoder
