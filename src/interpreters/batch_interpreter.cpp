#include "interpreters/batch_interpreter.h"

#include "builtin_actions/url_text.h"
#include "interpreters/typing_language.h"
#include "output/clipboard_backup_scope.h"
#include "output/clipboard_handler.h"
#include "output/win_handles.h"
#include "text/textprovider.h"
#include "trace/trace.h"

#include <algorithm>
#include <exception>

namespace {

using Output::Unique_kernel_handle;

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

std::string batch_input(const std::wstring& script, bool* lossy) {
    std::string bytes;
    BOOL used_default = FALSE;
    if (!script.empty()) {
        const int length = static_cast<int>(std::min<std::size_t>(script.size(), 0x7FFFFFFF));
        const int size =
            WideCharToMultiByte(CP_ACP, 0, script.data(), length, nullptr, 0, nullptr, nullptr);
        if (size > 0) {
            bytes.resize(static_cast<std::size_t>(size));
            const int written = WideCharToMultiByte(CP_ACP, 0, script.data(), length, &bytes[0],
                                                    size, nullptr, &used_default);
            bytes.resize(written > 0 ? static_cast<std::size_t>(written) : 0);
        }
    }
    if (lossy)
        *lossy = used_default != FALSE;
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

    STARTUPINFOW startup{};
    GetStartupInfoW(&startup);
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

Batch_interpreter::Batch_interpreter(Interaction_if* host, Code_storage* storage,
                                     std::unique_ptr<Typing_environment> environment)
    : Code_interpreter(host, storage, {L"batch_interpreter"}),
      environment_(std::move(environment)) {}

const wchar_t* Batch_interpreter::display_name() {
    return text_provider().get_string(L"Execute as batch script");
}

void Batch_interpreter::execute(const std::wstring& ident) {
    std::wstring code;
    if (!load_own_code(ident, code))
        return;
    Clipboard_handler clipboard;
    Clipboard_backup_scope scope(clipboard);
    // Before the expansion, so that braces in the clipboard text take part.
    if (code.find(L"{clipboard}") != std::wstring::npos) {
        std::wstring text;
        clipboard.read_text(text);
        code = replace_all(std::move(code), L"{clipboard}", text);
    }
    const std::wstring script = render_code(host(), environment_.get(), code).text;
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
