#include "builtin_actions/text_codecs.h"

#include <windows.h>

#include <array>
#include <cctype>
#include <stdexcept>

namespace {

constexpr std::uint8_t invalid = 0xFF;

constexpr std::array<std::uint8_t, 256> make_decode_table() {
    std::array<std::uint8_t, 256> table{};
    for (auto& v : table)
        v = invalid;
    for (int i = 0; i < 26; ++i) {
        table['A' + i] = static_cast<std::uint8_t>(i);
        table['a' + i] = static_cast<std::uint8_t>(26 + i);
    }
    for (int i = 0; i < 10; ++i)
        table['0' + i] = static_cast<std::uint8_t>(52 + i);
    table['+'] = 62;
    table['/'] = 63;
    return table;
}

constexpr auto decode_table = make_decode_table();

} // namespace

std::vector<std::uint8_t> base64_decode(const wchar_t* units, std::size_t count) {
    try {
        std::vector<std::uint8_t> bytes;
        bytes.reserve(count / 4 * 3 + 3);
        std::uint32_t accumulator = 0;
        int bits = -8;
        for (std::size_t i = 0; i < count; ++i) {
            std::uint8_t low = static_cast<std::uint8_t>(units[i] & 0xFF);
            std::uint8_t value = decode_table[low];
            if (value == invalid) {
                if (low == '=')
                    return bytes;
                throw std::invalid_argument("not a base64 string");
            }
            accumulator = (accumulator << 6) + value;
            bits += 6;
            if (bits >= 0) {
                bytes.push_back(static_cast<std::uint8_t>((accumulator >> bits) & 0xFF));
                bits -= 8;
            }
        }
        return bytes;
    } catch (const std::invalid_argument&) {
        throw;
    } catch (const std::exception&) {
        throw std::invalid_argument("not a base64 string");
    }
}

std::wstring utf8_to_utf16(const std::uint8_t* bytes, std::size_t count) {
    if (count == 0)
        return {};
    const char* text = reinterpret_cast<const char*>(bytes);
    int length = static_cast<int>(count);
    int needed = MultiByteToWideChar(CP_UTF8, 0, text, length, nullptr, 0);
    if (needed <= 0)
        return {};
    std::wstring result(static_cast<std::size_t>(needed), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, text, length, &result[0], needed);
    return result;
}

std::wstring to_upper_case(std::wstring text) {
    for (auto& unit : text) {
        switch (unit) {
        case 0xE4:
            unit = 0xC4;
            break;
        case 0xF6:
            unit = 0xD6;
            break;
        case 0xFC:
            unit = 0xDC;
            break;
        default:
            if (unit >= L'a' && unit <= L'z')
                unit = static_cast<wchar_t>(unit - L'a' + L'A');
        }
    }
    return text;
}

std::wstring to_lower_case(std::wstring text) {
    for (auto& unit : text) {
        switch (unit) {
        case 0xC4:
            unit = 0xE4;
            break;
        case 0xD6:
            unit = 0xF6;
            break;
        case 0xDC:
            unit = 0xFC;
            break;
        default:
            if (unit >= L'A' && unit <= L'Z')
                unit = static_cast<wchar_t>(unit - L'A' + L'a');
        }
    }
    return text;
}
