#include "host/value_format.h"

#include "contract/text_convert.h"

#include <cstdint>
#include <cstdio>
#include <cstring>

namespace Value_format {
namespace {

bool starts_with(const std::string& text, const char* prefix) {
    return text.compare(0, std::strlen(prefix), prefix) == 0;
}

int hex_digit(char c) {
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

std::string hex(unsigned long long value) {
    char buffer[24];
    std::snprintf(buffer, sizeof buffer, "0x%llx", value);
    return buffer;
}

void append_u_escape(std::string& out, unsigned int unit) {
    char buffer[8];
    std::snprintf(buffer, sizeof buffer, "\\u%04X", unit & 0xFFFF);
    out += buffer;
}

// UTF-8 of code units, with control characters and lone surrogates escaped
// so that the output reads back to the same code units.
std::string escape_units(const std::wstring& text, bool escape_quotes) {
    std::string out;
    std::wstring run;
    auto flush_run = [&] {
        if (!run.empty())
            out += utf16_to_utf8(run);
        run.clear();
    };
    for (std::size_t i = 0; i < text.size(); ++i) {
        unsigned int unit = static_cast<unsigned int>(text[i]) & 0xFFFF;
        bool high = unit >= 0xD800 && unit <= 0xDBFF;
        bool low = unit >= 0xDC00 && unit <= 0xDFFF;
        if (high && i + 1 < text.size()) {
            unsigned int next = static_cast<unsigned int>(text[i + 1]) & 0xFFFF;
            if (next >= 0xDC00 && next <= 0xDFFF) {
                run += text[i];
                run += text[i + 1];
                ++i;
                continue;
            }
        }
        if (unit < 0x20 || high || low) {
            flush_run();
            append_u_escape(out, unit);
        } else if (escape_quotes && (unit == '"' || unit == '\\')) {
            flush_run();
            out += '\\';
            out += static_cast<char>(unit);
        } else {
            run += text[i];
        }
    }
    flush_run();
    return out;
}

} // namespace

bool parse_number(const std::string& text, unsigned long long max, unsigned long long& value,
                  std::string& error) {
    value = 0;
    bool is_hex = starts_with(text, "0x") || starts_with(text, "0X");
    std::string digits = is_hex ? text.substr(2) : text;
    if (digits.empty()) {
        error = "missing number";
        return false;
    }
    for (char c : digits) {
        int digit = is_hex ? hex_digit(c) : (c >= '0' && c <= '9' ? c - '0' : -1);
        if (digit < 0) {
            error = "'" + text + "' is not a " + (is_hex ? "hex" : "decimal") + " number";
            return false;
        }
        unsigned long long base = is_hex ? 16 : 10;
        if (value > (max - static_cast<unsigned long long>(digit)) / base) {
            error = "'" + text + "' is larger than " + hex(max);
            return false;
        }
        value = value * base + static_cast<unsigned long long>(digit);
    }
    return true;
}

bool unescape_text(const std::string& inside, std::wstring& text, std::string& error) {
    text.clear();
    std::string run;
    auto flush_run = [&] {
        if (!run.empty())
            text += utf8_to_utf16(run);
        run.clear();
    };
    for (std::size_t i = 0; i < inside.size(); ++i) {
        char c = inside[i];
        if (c != '\\') {
            run += c;
            continue;
        }
        if (i + 1 >= inside.size()) {
            error = "a backslash ends the text";
            return false;
        }
        char e = inside[++i];
        flush_run();
        switch (e) {
        case '"':
            text += L'"';
            break;
        case '\\':
            text += L'\\';
            break;
        case 'n':
            text += L'\n';
            break;
        case 'r':
            text += L'\r';
            break;
        case 't':
            text += L'\t';
            break;
        case 'u': {
            if (inside.size() - (i + 1) < 4) {
                error = "\\u needs four hex digits";
                return false;
            }
            unsigned int unit = 0;
            for (int k = 1; k <= 4; ++k) {
                int digit = hex_digit(inside[i + k]);
                if (digit < 0) {
                    error = "\\u needs four hex digits";
                    return false;
                }
                unit = unit * 16 + static_cast<unsigned int>(digit);
            }
            i += 4;
            // Code units go in as they are, so \uD83D\uDE00 makes one pair.
            text += static_cast<wchar_t>(unit);
            break;
        }
        default:
            error = std::string("unknown escape \\") + e;
            return false;
        }
    }
    flush_run();
    return true;
}

bool parse_value(const std::string& text, Parsed_value& value, std::string& error) {
    value = Parsed_value();
    if (starts_with(text, "text:")) {
        std::string body = text.substr(5);
        std::wstring wide;
        if (!body.empty() && body[0] == '"') {
            if (body.size() < 2 || body.back() != '"') {
                error = "text value without closing quote";
                return false;
            }
            // The closing quote must not be an escaped one.
            std::size_t backslashes = 0;
            for (std::size_t i = body.size() - 1; i > 1 && body[i - 1] == '\\'; --i)
                ++backslashes;
            if (backslashes % 2 == 1) {
                error = "text value without closing quote";
                return false;
            }
            std::string inside = body.substr(1, body.size() - 2);
            // A quote inside must be escaped; otherwise characters follow the text.
            for (std::size_t i = 0; i < inside.size(); ++i) {
                if (inside[i] == '\\') {
                    ++i;
                } else if (inside[i] == '"') {
                    error = "characters after the closing quote of a text value";
                    return false;
                }
            }
            if (!unescape_text(inside, wide, error))
                return false;
        } else {
            wide = utf8_to_utf16(body);
        }
        value.bytes.assign((wide.size() + 1) * sizeof(wchar_t), 0);
        if (!wide.empty())
            std::memcpy(value.bytes.data(), wide.data(), wide.size() * sizeof(wchar_t));
        value.is_text = true;
        return true;
    }
    unsigned long long number = 0;
    if (starts_with(text, "u32:")) {
        if (!parse_number(text.substr(4), 0xFFFFFFFFull, number, error))
            return false;
        auto n = static_cast<std::uint32_t>(number);
        value.bytes.resize(4);
        std::memcpy(value.bytes.data(), &n, 4);
        return true;
    }
    if (starts_with(text, "u16:")) {
        if (!parse_number(text.substr(4), 0xFFFFull, number, error))
            return false;
        auto n = static_cast<std::uint16_t>(number);
        value.bytes.resize(2);
        std::memcpy(value.bytes.data(), &n, 2);
        return true;
    }
    if (starts_with(text, "flag:")) {
        if (!parse_number(text.substr(5), 0xFFull, number, error))
            return false;
        value.bytes.assign(1, static_cast<unsigned char>(number));
        return true;
    }
    if (starts_with(text, "bytes:")) {
        std::string digits = text.substr(6);
        if (digits.size() % 2 != 0) {
            error = "bytes value with an odd number of hex digits";
            return false;
        }
        for (std::size_t i = 0; i < digits.size(); i += 2) {
            int high = hex_digit(digits[i]);
            int low = hex_digit(digits[i + 1]);
            if (high < 0 || low < 0) {
                error = "'" + digits + "' is not hex";
                return false;
            }
            value.bytes.push_back(static_cast<unsigned char>(high * 16 + low));
        }
        return true;
    }
    error = "value '" + text + "' must start with text:, u32:, u16:, flag: or bytes:";
    return false;
}

std::string format_text(const std::wstring& text) {
    return "text:\"" + escape_units(text, true) + "\"";
}

std::string format_key(const std::wstring& key) {
    return escape_units(key, false);
}

std::string format_value(const unsigned char* data, std::size_t size, bool written_as_text) {
    bool ends_in_nul = size >= 2 && size % 2 == 0 && data[size - 1] == 0 && data[size - 2] == 0;
    // An earlier NUL code unit marks binary data (a pointer, a structure)
    // unless the value came through set_text.
    bool inner_nul = false;
    for (std::size_t i = 0; i + 2 < size; i += 2)
        inner_nul |= data[i] == 0 && data[i + 1] == 0;
    if (ends_in_nul && (written_as_text || (size != 4 && !inner_nul))) {
        std::wstring text(size / 2 - 1, L'\0');
        for (std::size_t i = 0; i < text.size(); ++i)
            text[i] = static_cast<wchar_t>(data[2 * i] | (data[2 * i + 1] << 8));
        return format_text(text);
    }
    if (size == 4) {
        std::uint32_t n;
        std::memcpy(&n, data, 4);
        return "u32:" + hex(n);
    }
    if (size == 2) {
        std::uint16_t n;
        std::memcpy(&n, data, 2);
        return "u16:" + hex(n);
    }
    if (size == 1)
        return "flag:" + std::to_string(data[0]);
    static const char digits[] = "0123456789abcdef";
    std::string out = "bytes:";
    for (std::size_t i = 0; i < size; ++i) {
        out += digits[data[i] >> 4];
        out += digits[data[i] & 15];
    }
    return out;
}

bool split_words(const std::string& line, std::vector<std::string>& words, std::string& error) {
    words.clear();
    std::string word;
    bool in_word = false;
    bool quoted = false;
    for (std::size_t i = 0; i < line.size(); ++i) {
        char c = line[i];
        if (quoted) {
            word += c;
            if (c == '\\' && i + 1 < line.size())
                word += line[++i];
            else if (c == '"')
                quoted = false;
            continue;
        }
        if (c == ' ' || c == '\t') {
            if (in_word)
                words.push_back(word);
            word.clear();
            in_word = false;
            continue;
        }
        in_word = true;
        word += c;
        if (c == '"')
            quoted = true;
    }
    if (quoted) {
        error = "missing closing quote";
        return false;
    }
    if (in_word)
        words.push_back(word);
    return true;
}

bool parse_assignment(const std::string& word, Assignment& assignment, std::string& error) {
    assignment = Assignment();
    std::size_t equals = word.find('=');
    if (equals == std::string::npos) {
        error = "'" + word + "' is not KEY=VALUE";
        return false;
    }
    std::string key = word.substr(0, equals);
    std::size_t start = 0;
    while (true) {
        std::size_t dot = key.find('.', start);
        std::string part =
            key.substr(start, dot == std::string::npos ? std::string::npos : dot - start);
        if (part.empty()) {
            error = "empty key in '" + key + "'";
            return false;
        }
        assignment.path.push_back(utf8_to_utf16(part));
        if (dot == std::string::npos)
            break;
        start = dot + 1;
    }
    return parse_value(word.substr(equals + 1), assignment.value, error);
}

} // namespace Value_format
