#include "support/json_check.h"

#include <cctype>
#include <cstring>

namespace Test_support {
namespace {

struct Parser {
    const std::string& s;
    std::size_t i = 0;
    int depth = 0;

    bool at(char c) const { return i < s.size() && s[i] == c; }
    bool eat(char c) {
        blanks();
        if (!at(c))
            return false;
        ++i;
        return true;
    }
    void blanks() {
        while (i < s.size() && std::strchr(" \t\n\r", s[i]) && s[i])
            ++i;
    }
    bool literal(const char* word) {
        std::size_t n = std::strlen(word);
        return s.compare(i, n, word) == 0 && (i += n, true);
    }
    bool digits() {
        std::size_t start = i;
        while (i < s.size() && std::isdigit(static_cast<unsigned char>(s[i])))
            ++i;
        return i > start;
    }
    bool string() {
        if (!eat('"'))
            return false;
        for (; i < s.size(); ++i) {
            unsigned char c = static_cast<unsigned char>(s[i]);
            if (c == '"')
                return ++i, true;
            if (c < 0x20)
                return false;
            if (c != '\\')
                continue;
            if (++i >= s.size())
                return false;
            if (s[i] == 'u') {
                for (int k = 1; k <= 4; ++k)
                    if (i + k >= s.size() || !std::isxdigit(static_cast<unsigned char>(s[i + k])))
                        return false;
                i += 4;
            } else if (!std::strchr("\"\\/bfnrt", s[i]) || !s[i]) {
                return false;
            }
        }
        return false;
    }
    bool number() {
        if (at('-'))
            ++i;
        if (!(at('0') ? (++i, true) : digits()))
            return false;
        if (at('.') && (++i, !digits()))
            return false;
        if (at('e') || at('E')) {
            ++i;
            if (at('+') || at('-'))
                ++i;
            return digits();
        }
        return true;
    }
    // Elements separated by commas up to `close`, each read by `element`.
    template <class Element> bool sequence(char close, Element element) {
        ++i;
        if (eat(close))
            return true;
        do {
            if (!element())
                return false;
        } while (eat(','));
        return eat(close);
    }
    bool value() {
        if (++depth > 200)
            return false;
        blanks();
        bool ok = false;
        if (at('{'))
            ok = sequence('}', [this] { return string() && eat(':') && value(); });
        else if (at('['))
            ok = sequence(']', [this] { return value(); });
        else if (at('"'))
            ok = string();
        else
            ok = literal("true") || literal("false") || literal("null") || number();
        blanks();
        --depth;
        return ok;
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
