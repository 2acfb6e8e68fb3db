#include "interpreters/url_interpreter.h"

#include "interpreters/typing_language.h"
#include "text/textprovider.h"
#include "trace/trace.h"
#include "util/url_text.h"

Url_interpreter::Url_interpreter(Interaction_if* host, std::shared_ptr<Code_storage> storage,
                                 std::unique_ptr<Typing_environment> environment)
    : Code_interpreter(host, std::move(storage), {L"url_interpreter"}),
      environment_(std::move(environment)) {
    if (!environment_)
        environment_ = std::make_unique<System_environment>();
}

const wchar_t* Url_interpreter::display_name() {
    return text_provider().get_string(L"Open URL");
}

void Url_interpreter::execute(const std::wstring& ident) {
    std::wstring code;
    if (!load_own_code(ident, code))
        return;
    std::wstring url =
        append_cursor_moves(render_code(host(), environment_.get(), code, Inserted_text::as_is));
    // The selection capture gives the user's clipboard back by itself.
    if (has_selection_marker(url))
        url = substitute_value(url, environment_->selection_text());
    if (url.empty()) {
        Trace::info("Url_interpreter::execute") << ident << L": the URL is empty; nothing opened";
        return;
    }
    Trace::info("Url_interpreter::execute") << ident << L": opening " << url;
    environment_->open(url);
}
