#include "actions/abbreviation_matcher.h"

#include "contract/letter_case.h"

namespace {

bool is_high_surrogate(wchar_t c) {
    return c >= 0xD800 && c <= 0xDBFF;
}
bool is_low_surrogate(wchar_t c) {
    return c >= 0xDC00 && c <= 0xDFFF;
}

std::uint64_t child_key(std::uint32_t node, wchar_t c) {
    return (static_cast<std::uint64_t>(node) << 16) | static_cast<std::uint16_t>(c);
}

unsigned code_points(const std::wstring& text, std::size_t begin, std::size_t end) {
    unsigned count = 0;
    for (std::size_t i = begin; i < end; ++i)
        if (!is_low_surrogate(text[i]) || i == begin || !is_high_surrogate(text[i - 1]))
            ++count;
    return count;
}

Typed_case typed_case(const std::wstring& text, std::size_t begin, std::size_t end) {
    unsigned letters = 0, upper = 0;
    bool first_upper = false;
    for (std::size_t i = begin; i < end; ++i) {
        if (!Letter_case::has_case(text[i]))
            continue;
        const bool is_upper = Letter_case::is_upper(text[i]);
        if (letters == 0)
            first_upper = is_upper;
        ++letters;
        upper += is_upper ? 1 : 0;
    }
    if (letters >= 2 && upper == letters)
        return Typed_case::all_caps;
    return first_upper ? Typed_case::capitalised : Typed_case::as_written;
}

} // namespace

bool is_word_character(wchar_t c) noexcept {
    const unsigned u = c;
    if (u < 0x80)
        return (u >= '0' && u <= '9') || (u >= 'A' && u <= 'Z') || (u >= 'a' && u <= 'z') ||
               u == '_';
    if (u < 0xC0)
        return u == 0xAA || u == 0xB2 || u == 0xB3 || u == 0xB5 || u == 0xB9 || u == 0xBA ||
               (u >= 0xBC && u <= 0xBE);
    if (u == 0xD7 || u == 0xF7)
        return false;
    // General punctuation and spaces, CJK punctuation, full-width forms.
    if ((u >= 0x2000 && u <= 0x206F) || (u >= 0x3000 && u <= 0x303F) ||
        (u >= 0xFF01 && u <= 0xFF0F) || (u >= 0xFF1A && u <= 0xFF20))
        return false;
    return true;
}

Abbreviation_set::Abbreviation_set(const std::vector<Abbreviation_record>& records) {
    nodes_.emplace_back(); // the root
    Abbreviation_index index;
    for (const Abbreviation_record& record : records) {
        if (record.abbreviation.empty() ||
            record.abbreviation.size() >= Abbreviation_matcher::capacity || record.ident.empty())
            continue;
        if (index.clashes(record))
            continue;
        index.add(record);
        std::uint32_t node = 0;
        for (auto it = record.abbreviation.rbegin(); it != record.abbreviation.rend(); ++it) {
            auto [found, added] = children_.emplace(child_key(node, Letter_case::lower(*it)),
                                                    static_cast<std::uint32_t>(nodes_.size()));
            if (added)
                nodes_.emplace_back();
            node = found->second;
        }
        nodes_[node].ending.push_back(static_cast<std::uint32_t>(entries_.size()));
        entries_.push_back(
            {record.abbreviation, record.ident, record.immediate, record.case_sensitive});
    }
}

bool Abbreviation_set::find(const std::wstring& text, bool start_known,
                            Abbreviation_match& match) const {
    if (text.empty() || entries_.empty())
        return false;
    if (walk(text, text.size(), true, start_known, match))
        return true;
    // A word abbreviation ends before the separator just typed.
    const wchar_t last = text.back();
    if (is_word_character(last) || is_low_surrogate(last) || text.size() < 2)
        return false;
    if (!walk(text, text.size() - 1, false, start_known, match))
        return false;
    match.separator.assign(1, last);
    return true;
}

bool Abbreviation_set::walk(const std::wstring& text, std::size_t end, bool immediate,
                            bool start_known, Abbreviation_match& match) const {
    std::uint32_t node = 0;
    for (std::size_t begin = end; begin > 0;) {
        --begin;
        auto found = children_.find(child_key(node, Letter_case::lower(text[begin])));
        if (found == children_.end())
            return false;
        node = found->second;
        for (std::uint32_t index : nodes_[node].ending) {
            const Entry& entry = entries_[index];
            if (entry.immediate != immediate || !accepts(entry, text, begin))
                continue;
            // A pair cut in half never matches; a word abbreviation starts
            // after a non-word character or at a known start.
            bool boundary =
                immediate || (begin == 0 ? start_known : !is_word_character(text[begin - 1]));
            if (begin > 0 && is_low_surrogate(text[begin]) && is_high_surrogate(text[begin - 1]))
                boundary = false;
            if (!boundary)
                continue;
            match.ident = entry.ident;
            // The immediate one's last character is the swallowed key.
            match.shown = code_points(text, begin, end) - (immediate ? 1 : 0);
            match.separator.clear();
            match.typed_case =
                entry.case_sensitive ? Typed_case::as_written : typed_case(text, begin, end);
            return true;
        }
    }
    return false;
}

bool Abbreviation_set::accepts(const Entry& entry, const std::wstring& text,
                               std::size_t begin) const {
    return !entry.case_sensitive || text.compare(begin, entry.text.size(), entry.text) == 0;
}

bool Abbreviation_matcher::type(const wchar_t* characters, std::size_t count,
                                const Abbreviation_set& set, Abbreviation_match& match) {
    if (!characters || count == 0)
        return false;
    buffer_.append(characters, count);
    if (buffer_.size() > capacity) {
        std::size_t drop = buffer_.size() - capacity;
        // Never keep half of a pair at the front.
        if (drop < buffer_.size() && is_low_surrogate(buffer_[drop]))
            ++drop;
        buffer_.erase(0, drop);
        start_known_ = false;
    }
    // A single character, or a surrogate pair, from one key.
    const bool one_character = count == 1 || (count == 2 && is_high_surrogate(characters[0]) &&
                                              is_low_surrogate(characters[1]));
    if (!one_character || !set.find(buffer_, start_known_, match))
        return false;
    clear();
    return true;
}

void Abbreviation_matcher::backspace() {
    if (buffer_.empty())
        return;
    const bool pair = buffer_.size() >= 2 && is_low_surrogate(buffer_.back()) &&
                      is_high_surrogate(buffer_[buffer_.size() - 2]);
    buffer_.resize(buffer_.size() - (pair ? 2 : 1));
}

void Abbreviation_matcher::clear() {
    buffer_.clear();
    start_known_ = true;
}
