#include "interpreters/typing_interpreter.h"

#include "contract/own_output.h"
#include "contract/parameter_values.h"
#include "interpreters/typing_language.h"
#include "text/textprovider.h"
#include "trace/trace.h"

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
    std::wstring code;
    if (!load_own_code(ident, code))
        return;
    // Rendering (selection captures and questions included) ends before the
    // host is asked to type anything.
    const std::wstring typing_data =
        append_cursor_moves(render_code(host(), environment_.get(), code, Inserted_text::plain));
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
