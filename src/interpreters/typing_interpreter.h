// Runs code actions of type "typing_interpreter": renders the code and asks
// the host to type the result into the foreground application.
#pragma once

#include "contract/filter_registration.h"
#include "interpreters/code_interpreter.h"
#include "interpreters/typing_environment.h"

#include <memory>

class Typing_interpreter final : public Code_interpreter {
public:
    // Subscribes itself to "typing_interpreter" as well. `environment` is the
    // machine the language reads (clock, selection, shell); null for the real one.
    Typing_interpreter(Interaction_if* host, std::shared_ptr<Code_storage> storage,
                       std::unique_ptr<Typing_environment> environment = nullptr);
    // Withdraws the "typing_interpreter" subscription, then the registration.
    ~Typing_interpreter() override;

    const wchar_t* type_name() const override { return L"typing_interpreter"; }
    void execute(const std::wstring& ident) override;
    void execute_replacing(const std::wstring& ident,
                           const Replaced_abbreviation& replaced) override;
    const wchar_t* display_name() override;

private:
    void type(const std::wstring& ident, const Replaced_abbreviation* replaced);

    std::unique_ptr<Typing_environment> environment_;
    std::unique_ptr<Subscription> type_subscription_;
};
