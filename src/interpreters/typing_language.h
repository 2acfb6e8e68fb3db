// The template language of code actions: plain text with placeholders in
// braces ("{date:(+1d)dd.MM.}", "{key:ctrl shift end}", "{clipboard:s/a/b/g}")
// rendered into typing data.
#pragma once

#include "contract/host_interface.h"
#include "output/text_expansion.h"

#include <cstddef>
#include <string>
#include <vector>

class Typing_environment;

// One placeholder, from its "{" to its "}" inclusive.
struct Placeholder_span {
    std::size_t begin = 0;
    std::size_t end = 0; // one past the "}"
};

// Placeholders do not nest and braces have no escape: a "{" followed by
// another "{" before any "}" is plain text, as is a "{" with no "}" after it.
std::vector<Placeholder_span> find_placeholders(const std::wstring& text);

// What becomes of text that placeholders bring in from outside the code (the
// clipboard, the selection, a window title, a variable, an answer).
enum class Inserted_text {
    // Typed by the host: code units U+0001 to U+0005 are removed, so that
    // such text can never start a key, pause or record element.
    plain,
    // A script or a URL, where those code units are only characters.
    as_is,
};

class Typing_expander;

// One entry of the placeholder table.
struct Typing_command {
    const wchar_t* name; // lower case
    // The placeholder's result, made from its argument.
    std::wstring (Typing_expander::*execute)(const std::wstring& argument);
    // The result holds text from outside the code, which Inserted_text rules.
    bool outside_text;
};

// Renders placeholders for one text. Holds no state between texts apart from
// what it is given.
class Typing_expander {
public:
    Typing_expander(Interaction_if* host, Typing_environment& environment,
                    Clipboard_text_source& clipboard,
                    Inserted_text inserted = Inserted_text::plain);
    ~Typing_expander();
    Typing_expander(const Typing_expander&) = delete;
    Typing_expander& operator=(const Typing_expander&) = delete;

    // The text with every answered placeholder replaced by its result;
    // placeholders are evaluated from the last to the first.
    std::wstring expand(const std::wstring& text);

    // One placeholder with its braces; false when nothing answers it.
    bool evaluate(const std::wstring& placeholder, std::wstring& result);

private:
    // `outside`: the result holds text from outside the code.
    bool evaluate(const std::wstring& placeholder, std::wstring& result, bool& outside);
    static const Typing_command* find_command(const std::wstring& name);

    // The commands, one per placeholder name.
    std::wstring on_clipboard(const std::wstring& argument);
    std::wstring on_selection(const std::wstring& argument);
    std::wstring on_time(const std::wstring& argument);
    std::wstring on_date(const std::wstring& argument);
    std::wstring on_key(const std::wstring& argument);
    std::wstring on_key_down(const std::wstring& argument);
    std::wstring on_key_up(const std::wstring& argument);
    std::wstring on_sleep(const std::wstring& argument);
    std::wstring on_open(const std::wstring& argument);
    std::wstring on_title(const std::wstring& argument);
    std::wstring on_link(const std::wstring& argument);
    std::wstring on_image(const std::wstring& argument);
    std::wstring on_var(const std::wstring& argument);
    std::wstring on_action(const std::wstring& argument);
    std::wstring on_ask(const std::wstring& argument);

    Interaction_if* host_;
    Typing_environment& environment_;
    Clipboard_text_source& clipboard_;
    Inserted_text inserted_;
};

// Placeholder expansion plus the cursor-marker rule, for the interpreters.
// `environment` may be null for the real machine.
Expansion_result render_code(Interaction_if* host, Typing_environment* environment,
                             const std::wstring& code, Inserted_text inserted);

// Helpers with their own rules, exposed for tests.
namespace Typing_language {

// Ä, Ö and Ü fold to ä, ö and ü, ASCII letters to lower case; nothing else changes.
std::wstring lower_case(const std::wstring& text);
// Drops a line break written right after a shift-return key sequence, except
// where the sequence or the break lies even partly in `kept`: the ranges of
// text from outside the code, in ascending order.
std::wstring drop_break_after_shift_return(const std::wstring& text,
                                           const std::vector<Placeholder_span>& kept = {});
// The typing data of the "key" placeholder's (lower-cased) argument.
std::wstring key_sequence(const std::wstring& argument);
// The pause of the "sleep" placeholder.
std::wstring sleep_element(const std::wstring& argument);
// The text without the code units that start typing-data elements.
std::wstring without_element_markers(const std::wstring& text);

constexpr unsigned max_key_repeat = 1000;
constexpr int max_action_depth = 8;
// "action" placeholders run, nested ones included, for one top-level text:
// three that run their own action would otherwise type 3^8 times.
constexpr int max_action_runs = 64;

} // namespace Typing_language
