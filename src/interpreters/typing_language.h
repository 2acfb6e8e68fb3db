// The template language of code actions: plain text with placeholders in
// braces ("{date:(+1d)dd.MM.}", "{key:ctrl shift end}", "{clipboard:s/a/b/g}")
// rendered into typing data.
#pragma once

#include "contract/host_interface.h"
#include "output/text_expansion.h"

#include <cstddef>
#include <memory>
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

// A command of the placeholder table: runs on the argument, which it
// replaces by its result. Answers true when it handled the placeholder.
class Typing_command {
public:
    virtual ~Typing_command() = default;
    virtual const wchar_t* name() const = 0;
    virtual bool execute(std::wstring& text) = 0;
};

// What becomes of text that placeholders bring in from outside the code (the
// clipboard, the selection, a window title, a variable, an answer).
enum class Inserted_text {
    // Typed by the host: code units U+0001 to U+0005 are removed, so that
    // such text can never start a key, pause or record element.
    plain,
    // A script or a URL, where those code units are only characters.
    as_is,
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
    Interaction_if* host_;
    Typing_environment& environment_;
    Clipboard_text_source& clipboard_;
    Inserted_text inserted_;
    std::vector<std::unique_ptr<Typing_command>> commands_;
};

// Placeholder expansion plus the cursor-marker rule, for the interpreters.
// `environment` may be null for the real machine.
Expansion_result render_code(Interaction_if* host, Typing_environment* environment,
                             const std::wstring& code, Inserted_text inserted);

// Helpers with their own rules, exposed for tests.
namespace Typing_language {

// Ä, Ö and Ü fold to ä, ö and ü, ASCII letters to lower case; nothing else changes.
std::wstring lower_case(const std::wstring& text);
// Drops a line break written right after a shift-return key sequence.
std::wstring drop_break_after_shift_return(const std::wstring& text);
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
