#include "contract/text_convert.h"

namespace {

void append_utf8(std::string& out, char32_t c) {
    if (c < 0x80) {
        out += static_cast<char>(c);
    } else if (c < 0x800) {
        out += static_cast<char>(0xC0 | (c >> 6));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        out += static_cast<char>(0xE0 | (c >> 12));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (c >> 18));
        out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    }
}

void append_utf16(std::wstring& out, char32_t c) {
    if (c < 0x10000) {
        out += static_cast<wchar_t>(c);
    } else {
        c -= 0x10000;
        out += static_cast<wchar_t>(0xD800 + (c >> 10));
        out += static_cast<wchar_t>(0xDC00 + (c & 0x3FF));
    }
}

constexpr char32_t replacement = 0xFFFD;

} // namespace

std::string utf16_to_utf8(const wchar_t* text, std::size_t length) {
    std::string out;
    out.reserve(length);
    for (std::size_t i = 0; i < length; ++i) {
        char32_t c = static_cast<char16_t>(text[i]);
        if (c >= 0xD800 && c < 0xDC00) {
            if (i + 1 < length) {
                char32_t low = static_cast<char16_t>(text[i + 1]);
                if (low >= 0xDC00 && low < 0xE000) {
                    append_utf8(out, 0x10000 + ((c - 0xD800) << 10) + (low - 0xDC00));
                    ++i;
                    continue;
                }
            }
            c = replacement;
        } else if (c >= 0xDC00 && c < 0xE000) {
            c = replacement;
        }
        append_utf8(out, c);
    }
    return out;
}

std::string utf16_to_utf8(const std::wstring& text) {
    return utf16_to_utf8(text.data(), text.size());
}

std::wstring utf8_to_utf16(const std::string& text) {
    std::wstring out;
    out.reserve(text.size());
    const auto* bytes = reinterpret_cast<const unsigned char*>(text.data());
    const std::size_t n = text.size();
    std::size_t i = 0;
    while (i < n) {
        unsigned char b = bytes[i];
        int extra;
        char32_t c;
        char32_t minimum;
        if (b < 0x80) {
            out += static_cast<wchar_t>(b);
            ++i;
            continue;
        } else if (b >= 0xC2 && b < 0xE0) {
            extra = 1, c = b & 0x1F, minimum = 0x80;
        } else if (b >= 0xE0 && b < 0xF0) {
            extra = 2, c = b & 0x0F, minimum = 0x800;
        } else if (b >= 0xF0 && b < 0xF5) {
            extra = 3, c = b & 0x07, minimum = 0x10000;
        } else {
            append_utf16(out, replacement);
            ++i;
            continue;
        }
        std::size_t j = 1;
        for (; j <= static_cast<std::size_t>(extra); ++j) {
            if (i + j >= n || (bytes[i + j] & 0xC0) != 0x80)
                break;
            c = (c << 6) | (bytes[i + j] & 0x3F);
        }
        if (j <= static_cast<std::size_t>(extra) || c < minimum || c > 0x10FFFF ||
            (c >= 0xD800 && c < 0xE000)) {
            append_utf16(out, replacement);
            i += (j > 1) ? j : 1;
            continue;
        }
        append_utf16(out, c);
        i += j;
    }
    return out;
}
