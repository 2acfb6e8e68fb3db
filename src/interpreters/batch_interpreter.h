// Runs code actions of type "batch_interpreter": the rendered script is fed,
// as if typed, to a new hidden command processor (%ComSpec%).
#pragma once

#include "interpreters/code_interpreter.h"
#include "interpreters/typing_environment.h"

#include <memory>
#include <string>

class Batch_interpreter final : public Code_interpreter {
public:
    // `environment` is what the typing language reads; null for the real machine.
    Batch_interpreter(Interaction_if* host, std::shared_ptr<Code_storage> storage,
                      std::unique_ptr<Typing_environment> environment = nullptr);

    const wchar_t* type_name() const override { return L"batch_interpreter"; }
    void execute(const std::wstring& ident) override;
    const wchar_t* display_name() override;

private:
    std::unique_ptr<Typing_environment> environment_;
};

// What the command processor reads: the script in `code_page` (0: the ANSI
// code page), then "\r\nexit\r\n". Characters the code page lacks become its
// default character; `lossy` tells so where the code page can report it.
std::string batch_input(const std::wstring& script, bool* lossy = nullptr, unsigned code_page = 0);

// %ComSpec% expanded; empty when it cannot be expanded.
std::wstring command_processor_path();

// Starts the command processor hidden, in a console of its own, with the
// script on its standard input. Returns once the script is written (the
// process runs on); false when no process was started or the write failed.
bool run_batch_script(const std::wstring& command_processor, const std::wstring& script);
