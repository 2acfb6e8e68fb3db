#include "interpreters/batch_interpreter.h"

#include "contract/unique_handle.h"
#include "interpreters/typing_language.h"
#include "text/textprovider.h"
#include "trace/trace.h"

#include <algorithm>
#include <exception>

namespace {

std::uint32_t last_error() {
    return static_cast<std::uint32_t>(GetLastError());
}

struct Pipe {
    Unique_kernel_handle read;
    Unique_kernel_handle write;
};

bool make_pipe(Pipe& pipe, SECURITY_ATTRIBUTES& attributes, DWORD size) {
    HANDLE read = nullptr;
    HANDLE write = nullptr;
    if (!CreatePipe(&read, &write, &attributes, size))
        return false;
    pipe.read.reset(read);
    pipe.write.reset(write);
    return true;
}

} // namespace

namespace {

// Code pages for which WideCharToMultiByte takes no lpUsedDefaultChar (the
// call fails with it): UTF-7, UTF-8, and those that take no flags either.
bool takes_used_default_char(UINT code_page) {
    return !(code_page == CP_UTF7 || code_page == CP_UTF8 || code_page == 42 ||
             (code_page >= 50220 && code_page <= 50229) ||
             (code_page >= 57002 && code_page <= 57011));
}

// Converts the whole of `text`; false when Windows refuses with these flags.
bool to_code_page(UINT code_page, DWORD flags, const std::wstring& text, BOOL* used_default,
                  std::string& bytes) {
    const int length = static_cast<int>(std::min<std::size_t>(text.size(), 0x7FFFFFFF));
    const int size =
        WideCharToMultiByte(code_page, flags, text.data(), length, nullptr, 0, nullptr, nullptr);
    if (size <= 0)
        return false;
    bytes.resize(static_cast<std::size_t>(size));
    const int written = WideCharToMultiByte(code_page, flags, text.data(), length, &bytes[0], size,
                                            nullptr, used_default);
    if (written <= 0)
        return false;
    bytes.resize(static_cast<std::size_t>(written));
    return true;
}

} // namespace

std::string batch_input(const std::wstring& script, bool* lossy, unsigned code_page) {
    if (code_page == CP_ACP)
        code_page = GetACP();
    std::string bytes;
    bool lost = false;
    if (!script.empty()) {
        BOOL used_default = FALSE;
        if (takes_used_default_char(code_page)) {
            if (to_code_page(code_page, 0, script, &used_default, bytes))
                lost = used_default != FALSE;
            else
                bytes.clear();
        } else if (code_page == CP_UTF8) {
            // UTF-8 holds every character; only a lone surrogate is lost
            // (written as U+FFFD), and the strict conversion tells.
            if (!to_code_page(code_page, WC_ERR_INVALID_CHARS, script, nullptr, bytes)) {
                lost = GetLastError() == ERROR_NO_UNICODE_TRANSLATION;
                if (!to_code_page(code_page, 0, script, nullptr, bytes))
                    bytes.clear();
            }
        } else if (!to_code_page(code_page, 0, script, nullptr, bytes)) {
            // Whether characters were lost cannot be known here.
            bytes.clear();
        }
        if (bytes.empty())
            Trace::error("batch_input")
                << "the script cannot be converted to code page "
                << static_cast<std::uint32_t>(code_page) << ": error " << last_error();
    }
    if (lossy)
        *lossy = lost;
    return bytes + "\r\nexit\r\n";
}

std::wstring command_processor_path() {
    const DWORD size = ExpandEnvironmentStringsW(L"%ComSpec%", nullptr, 0);
    if (size == 0)
        return {};
    std::wstring path(size, L'\0');
    const DWORD written = ExpandEnvironmentStringsW(L"%ComSpec%", &path[0], size);
    if (written == 0 || written > size)
        return {};
    path.resize(written - 1);
    return path;
}

bool run_batch_script(const std::wstring& command_processor, const std::wstring& script) {
    bool lossy = false;
    const std::string input = batch_input(script, &lossy);
    if (lossy)
        Trace::error("Batch_interpreter::run_script")
            << "the script holds characters that the ANSI code page cannot represent; they "
               "reach the command processor as its default character";

    SECURITY_DESCRIPTOR descriptor{};
    InitializeSecurityDescriptor(&descriptor, SECURITY_DESCRIPTOR_REVISION);
    SetSecurityDescriptorDacl(&descriptor, TRUE, nullptr, FALSE);
    SECURITY_ATTRIBUTES attributes{};
    attributes.nLength = sizeof attributes;
    attributes.lpSecurityDescriptor = &descriptor;
    attributes.bInheritHandle = TRUE;

    // The input pipe holds the whole script, so that the one write returns
    // even when the child never reads (a script that waits, or exits early).
    const DWORD input_size = static_cast<DWORD>(
        std::min<std::size_t>(std::max<std::size_t>(input.size(), 4096), 0x40000000));
    Pipe output;
    Pipe in;
    if (!make_pipe(output, attributes, 0) || !make_pipe(in, attributes, input_size)) {
        Trace::error("Batch_interpreter::run_script")
            << "CreatePipe failed with " << last_error() << "; the script is not run";
        return false;
    }
    // Our ends stay with us: a child holding the write end of its own input
    // would never see the end of it.
    SetHandleInformation(in.write.get(), HANDLE_FLAG_INHERIT, 0);
    SetHandleInformation(output.read.get(), HANDLE_FLAG_INHERIT, 0);

    // A fresh block, not the host's own: that may carry the C runtime's
    // inherited descriptor table (lpReserved2), which a child's runtime would
    // prefer to the standard handles below, and the host's title and position.
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES | STARTF_USESHOWWINDOW;
    startup.wShowWindow = SW_HIDE;
    startup.hStdInput = in.read.get();
    startup.hStdOutput = output.write.get();
    startup.hStdError = output.write.get();

    PROCESS_INFORMATION process{};
    if (!CreateProcessW(command_processor.c_str(), nullptr, nullptr, nullptr, TRUE,
                        CREATE_NEW_CONSOLE, nullptr, nullptr, &startup, &process)) {
        Trace::error("Batch_interpreter::run_script")
            << L"cannot start \"" << command_processor << L"\": error " << last_error();
        return false;
    }
    Unique_kernel_handle process_handle(process.hProcess);
    Unique_kernel_handle thread_handle(process.hThread);
    // The child inherited its ends of both pipes: closing ours lets a write
    // fail instead of waiting when the child is gone.
    in.read.reset();
    output.write.reset();

    DWORD written = 0;
    const BOOL ok = WriteFile(in.write.get(), input.data(), static_cast<DWORD>(input.size()),
                              &written, nullptr);
    if (!ok || written != input.size()) {
        Trace::error("Batch_interpreter::run_script")
            << "wrote " << static_cast<std::uint32_t>(written) << " of "
            << static_cast<std::uint64_t>(input.size()) << " bytes to the command processor: error "
            << last_error();
        return false;
    }
    return true;
}

Batch_interpreter::Batch_interpreter(Interaction_if* host, std::shared_ptr<Code_storage> storage,
                                     std::unique_ptr<Typing_environment> environment)
    : Code_interpreter(host, std::move(storage), {L"batch_interpreter"}),
      environment_(std::move(environment)) {}

const wchar_t* Batch_interpreter::display_name() {
    return text_provider().get_string(L"Execute as batch script");
}

void Batch_interpreter::execute(const std::wstring& ident) {
    std::wstring code;
    if (!load_own_code(ident, code))
        return;
    // No backup scope: reading the clipboard changes nothing, and a
    // "{selection}" saves and restores the clipboard around its own copy, so
    // a script leaves the user's clipboard exactly as it found it.
    // "{clipboard}" is one placeholder among the others: its text goes into
    // the script as copied, and braces in it (a web page's "{action:...}")
    // are never rendered. As is: key elements are only characters here.
    const std::wstring script =
        render_code(host(), environment_.get(), code, Inserted_text::as_is).text;
    const std::wstring command_processor = command_processor_path();
    if (command_processor.empty()) {
        Trace::error("Batch_interpreter::execute") << "%ComSpec% names no command processor";
        return;
    }
    Trace::info("Batch_interpreter::execute")
        << ident << L": " << static_cast<std::uint64_t>(script.size()) << L" characters to "
        << command_processor;
    run_batch_script(command_processor, script);
}
