// Typed abbreviations: the characters typed into the focused window, and the
// abbreviation that ends at their tail. No Windows calls: the keyboard
// listener feeds it characters it translated itself, on the hook thread, so
// everything here is cheap and never waits.
//
// Abbreviation_set is immutable and built off the hook thread. It is a trie
// of the abbreviations written backwards (case-folded), so a lookup walks
// back from the last character typed, at most as far as the longest
// abbreviation: its cost does not grow with their number.
#pragma once

#include "storage/shortcut_database.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

// How a case-insensitive abbreviation was typed, for a typing action's text.
enum class Typed_case : std::uint8_t { as_written = 0, capitalised = 1, all_caps = 2 };

struct Abbreviation_match {
    std::wstring ident;
    // Characters of the abbreviation already shown in the target (a surrogate
    // pair is one): the final key is swallowed and never reaches it.
    unsigned shown = 0;
    // Word abbreviations: the separator that completed it, to be typed after
    // the output (it was swallowed).
    std::wstring separator;
    Typed_case typed_case = Typed_case::as_written;
    // Set instead of an ident: keys the user typed during an expansion, as
    // typing data to be written after it.
    std::wstring typed;
};

class Abbreviation_set {
public:
    // Rows longer than the buffer minus one, empty ones and clashes (the
    // first row wins) are left out.
    explicit Abbreviation_set(const std::vector<Abbreviation_record>& records);
    bool empty() const { return entries_.empty(); }

    // Looks for an abbreviation ending at the tail of `text` (the whole typed
    // buffer; `start_known`: its first character follows a start, e.g. a new
    // focus, rather than unseen text). The shortest one found wins, an
    // immediate one before a word one.
    bool find(const std::wstring& text, bool start_known, Abbreviation_match& match) const;

private:
    struct Entry {
        std::wstring text; // as written
        std::wstring ident;
        bool immediate;
        bool case_sensitive;
    };
    struct Node {
        std::vector<std::uint32_t> ending; // entries whose first character is here
    };
    bool walk(const std::wstring& text, std::size_t end, bool immediate, bool start_known,
              Abbreviation_match& match) const;
    bool accepts(const Entry& entry, const std::wstring& text, std::size_t begin) const;

    std::vector<Entry> entries_;
    std::vector<Node> nodes_;
    // (node << 16 | folded character) -> child node.
    std::unordered_map<std::uint64_t, std::uint32_t> children_;
};

// The typed characters of one focused window, at most `capacity` code units
// (older ones drop off the front). Owned by the hook thread.
class Abbreviation_matcher {
public:
    static constexpr std::size_t capacity = 64;

    // A key's characters; true (and the buffer cleared) when an abbreviation
    // of `set` now ends at the tail. A key giving more than one character
    // (a dead key that did not compose) is recorded but fires nothing.
    bool type(const wchar_t* characters, std::size_t count, const Abbreviation_set& set,
              Abbreviation_match& match);
    // Removes the last character (a surrogate pair as one); nothing at the start.
    void backspace();
    void clear();
    const std::wstring& text() const { return buffer_; }

private:
    std::wstring buffer_;
    bool start_known_ = true;
};

// Whether a character is part of a word: anything but white space, control
// characters and punctuation. A word abbreviation needs a non-word
// character before it and one (the separator) after it.
bool is_word_character(wchar_t c) noexcept;
