#include "interpreters/typing_data.h"

namespace Typing_data {
namespace {

const wchar_t hex_digits[] = L"0123456789abcdef";

void append_hex(std::wstring& out, std::uint32_t value, int digits, wchar_t pad) {
    wchar_t buffer[8];
    int i = digits;
    do {
        buffer[--i] = hex_digits[value & 0xF];
        value >>= 4;
    } while (value != 0 && i > 0);
    while (i > 0)
        buffer[--i] = pad;
    out.append(buffer, static_cast<std::size_t>(digits));
}

void append_length(std::wstring& out, std::size_t length) {
    // Texts reach us with 32-bit lengths from the host, so eight digits hold any part.
    append_hex(out, static_cast<std::uint32_t>(length), 8, L'0');
}

} // namespace

std::wstring key_element(wchar_t marker, std::uint8_t virtual_key) {
    std::wstring out(1, marker);
    append_hex(out, virtual_key, 2, L'0');
    return out;
}

std::wstring pause_element(std::uint16_t milliseconds) {
    std::wstring out(1, pause);
    append_hex(out, milliseconds, 4, L' ');
    return out;
}

std::wstring link_record(const std::wstring& first, const std::wstring& second) {
    std::wstring out;
    out.reserve(20 + first.size() + second.size());
    out += record;
    out += L'L';
    append_length(out, first.size());
    out += L'|';
    append_length(out, second.size());
    out += first;
    out += second;
    return out;
}

std::wstring image_record(const std::wstring& reference) {
    std::wstring out;
    out.reserve(10 + reference.size());
    out += record;
    out += L'I';
    append_length(out, reference.size());
    out += reference;
    return out;
}

} // namespace Typing_data
