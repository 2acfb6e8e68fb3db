#include "interpreters/typing_interpreter.h"

#include "contract/letter_case.h"
#include "contract/own_output.h"
#include "contract/parameter_values.h"
#include "interpreters/typing_data.h"
#include "interpreters/typing_language.h"
#include "text/textprovider.h"
#include "trace/trace.h"

#include <windows.h>

Typing_interpreter::Typing_interpreter(Interaction_if* host, std::shared_ptr<Code_storage> storage,
                                       std::unique_ptr<Typing_environment> environment)
    : Code_interpreter(host, std::move(storage)), environment_(std::move(environment)) {
    if (!environment_)
        environment_ = std::make_unique<System_environment>();
    type_subscription_ = std::make_unique<Subscription>(host, this, type_name());
}

Typing_interpreter::~Typing_interpreter() {
    type_subscription_.reset();
}

const wchar_t* Typing_interpreter::display_name() {
    return text_provider().get_string(L"Type text and key-combinations");
}

void Typing_interpreter::execute(const std::wstring& ident) {
    type(ident, nullptr);
}

void Typing_interpreter::execute_replacing(const std::wstring& ident,
                                           const Replaced_abbreviation& replaced) {
    type(ident, &replaced);
}

namespace {

// The literal characters of typing data in the case an abbreviation was
// typed in; key, pause and record elements stay as they are. Stops changing
// at an element it cannot measure.
void apply_case(std::wstring& data, unsigned letter_case) {
    if (letter_case != 1 && letter_case != 2)
        return;
    int held = 0; // characters typed with a key held down form shortcuts: kept
    for (std::size_t i = 0; i < data.size();) {
        const wchar_t c = data[i];
        if (c == Typing_data::key_press || c == Typing_data::key_down || c == Typing_data::key_up) {
            held += c == Typing_data::key_down ? 1 : c == Typing_data::key_up && held > 0 ? -1 : 0;
            i += 3;
        } else if (c == Typing_data::pause) {
            i += 5;
        } else if (c == Typing_data::record) {
            return; // links and images: their texts are not the action's words
        } else if (held == 0 && Letter_case::has_case(c)) {
            data[i] = Letter_case::upper(c);
            if (letter_case == 1)
                return;
            ++i;
        } else {
            ++i;
        }
    }
}

} // namespace

void Typing_interpreter::type(const std::wstring& ident, const Replaced_abbreviation* replaced) {
    std::wstring code;
    if (!load_own_code(ident, code))
        return;
    // Rendering (selection captures and questions included) ends before the
    // host is asked to type anything.
    Expansion_result rendered = render_code(host(), environment_.get(), code, Inserted_text::plain);
    std::wstring typing_data;
    if (replaced) {
        // One typing run: the Backspaces, the output, the separator (before
        // the cursor moves, which then count it).
        for (unsigned i = 0; i < replaced->backspaces; ++i)
            typing_data += Typing_data::key_element(Typing_data::key_press, VK_BACK);
        apply_case(rendered.text, replaced->letter_case);
        // The separator goes after the output; a cursor marker stays where
        // it was, one more Left away.
        for (wchar_t c : replaced->separator) {
            if (c <= Typing_data::record)
                continue;
            rendered.text += c;
            if (rendered.left_presses > 0 && !(c >= 0xDC00 && c <= 0xDFFF))
                ++rendered.left_presses;
        }
    }
    typing_data += append_cursor_moves(rendered);
    Param::Owned_parameters list = Param::create(host());
    if (!list) {
        Trace::error("Typing_interpreter::execute")
            << ident << L": the host gave no parameter list; nothing typed";
        return;
    }
    Param::write_text(list.get(), L"typing_data", typing_data);
    // A host that types before it answers injects the keys while this is
    // raised: a direct binding on a combination in the text does not fire
    // again on our own output.
    Own_output::Scope own;
    Param::send(host(), L"vq_keyboard_write", list.get());
}
