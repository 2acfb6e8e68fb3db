#include "support/json_check.h"

#include <cctype>
#include <cstring>

namespace Test_support {
namespace {

struct Parser {
    const std::string& s;
    std::size_t i = 0;
    int depth = 0;

    void blanks() {
        while (i < s.size() && (s[i] == ' ' || s[i] == '\t' || s[i] == '\n' || s[i] == '\r'))
            ++i;
    }
    bool literal(const char* word) {
        std::size_t n = std::strlen(word);
        if (s.compare(i, n, word) != 0)
            return false;
        i += n;
        return true;
    }
    bool string() {
        if (i >= s.size() || s[i] != '"')
            return false;
        ++i;
        while (i < s.size()) {
            unsigned char c = static_cast<unsigned char>(s[i]);
            if (c == '"') {
                ++i;
                return true;
            }
            if (c < 0x20)
                return false;
            if (c == '\\') {
                ++i;
                if (i >= s.size())
                    return false;
                char e = s[i];
                if (e == 'u') {
                    for (int k = 1; k <= 4; ++k)
                        if (i + k >= s.size() ||
                            !std::isxdigit(static_cast<unsigned char>(s[i + k])))
                            return false;
                    i += 4;
                } else if (!std::strchr("\"\\/bfnrt", e)) {
                    return false;
                }
            }
            ++i;
        }
        return false;
    }
    bool digits() {
        std::size_t start = i;
        while (i < s.size() && std::isdigit(static_cast<unsigned char>(s[i])))
            ++i;
        return i > start;
    }
    bool number() {
        if (i < s.size() && s[i] == '-')
            ++i;
        if (i < s.size() && s[i] == '0')
            ++i;
        else if (!digits())
            return false;
        if (i < s.size() && s[i] == '.') {
            ++i;
            if (!digits())
                return false;
        }
        if (i < s.size() && (s[i] == 'e' || s[i] == 'E')) {
            ++i;
            if (i < s.size() && (s[i] == '+' || s[i] == '-'))
                ++i;
            if (!digits())
                return false;
        }
        return true;
    }
    bool value() {
        if (++depth > 200)
            return false;
        blanks();
        bool ok = false;
        if (i >= s.size())
            ok = false;
        else if (s[i] == '{')
            ok = object();
        else if (s[i] == '[')
            ok = array();
        else if (s[i] == '"')
            ok = string();
        else if (s[i] == 't')
            ok = literal("true");
        else if (s[i] == 'f')
            ok = literal("false");
        else if (s[i] == 'n')
            ok = literal("null");
        else
            ok = number();
        blanks();
        --depth;
        return ok;
    }
    bool object() {
        ++i;
        blanks();
        if (i < s.size() && s[i] == '}') {
            ++i;
            return true;
        }
        for (;;) {
            blanks();
            if (!string())
                return false;
            blanks();
            if (i >= s.size() || s[i] != ':')
                return false;
            ++i;
            if (!value())
                return false;
            if (i < s.size() && s[i] == ',') {
                ++i;
                continue;
            }
            if (i < s.size() && s[i] == '}') {
                ++i;
                return true;
            }
            return false;
        }
    }
    bool array() {
        ++i;
        blanks();
        if (i < s.size() && s[i] == ']') {
            ++i;
            return true;
        }
        for (;;) {
            if (!value())
                return false;
            if (i < s.size() && s[i] == ',') {
                ++i;
                continue;
            }
            if (i < s.size() && s[i] == ']') {
                ++i;
                return true;
            }
            return false;
        }
    }
};

} // namespace

bool is_valid_json(const std::string& text, std::size_t* where) {
    Parser p{text};
    bool ok = p.value() && p.i == text.size();
    if (where)
        *where = p.i;
    return ok;
}

} // namespace Test_support
