// Runs code actions of type "url_interpreter": the rendered code is a URL
// (or anything the shell opens); selection markers in it are replaced by the
// escaped selected text.
#pragma once

#include "interpreters/code_interpreter.h"
#include "interpreters/typing_environment.h"

#include <memory>
#include <string>

class Url_interpreter final : public Code_interpreter {
public:
    // `environment` gives the selection and opens the URL; null for the real machine.
    Url_interpreter(Interaction_if* host, std::shared_ptr<Code_storage> storage,
                    std::unique_ptr<Typing_environment> environment = nullptr);

    const wchar_t* type_name() const override { return L"url_interpreter"; }
    void execute(const std::wstring& ident) override;
    const wchar_t* display_name() override;

private:
    std::unique_ptr<Typing_environment> environment_;
};
