#include "support/vqhost_runner.h"

#include "contract/unique_handle.h"
#include "support/test_support.h"

#include <windows.h>

#include <algorithm>
#include <stdexcept>
#include <thread>

namespace Test_support {
namespace {

using Handle = Unique_kernel_handle;

void copy_or_throw(const std::wstring& from, const std::wstring& to) {
    if (!CopyFileW(from.c_str(), to.c_str(), FALSE))
        throw std::runtime_error("cannot copy a build output file for the test installation");
}

} // namespace

Vqhost_install make_vqhost_install(const std::wstring& name) {
    Vqhost_install install;
    install.dir = make_temp_directory(name);
    install.plugins = install.dir + L"\\plugins";
    CreateDirectoryW(install.plugins.c_str(), nullptr);
    std::wstring bin = exe_directory();
    copy_or_throw(bin + L"vqhost.exe", install.dir + L"\\vqhost.exe");
    copy_or_throw(bin + L"plugins\\zaptor.dll", install.plugins + L"\\zaptor.dll");
    if (file_exists(bin + L"plugins\\zaptor.lng"))
        copy_or_throw(bin + L"plugins\\zaptor.lng", install.plugins + L"\\zaptor.lng");
    return install;
}

Script_result run_vqhost_script(const Vqhost_install& install, const std::string& script,
                                unsigned long timeout_ms) {
    Script_result result;
    SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
    HANDLE in_read, in_write, out_read, out_write;
    if (!CreatePipe(&in_read, &in_write, &inherit, 0) ||
        !CreatePipe(&out_read, &out_write, &inherit, 0)) {
        result.exit_code = 0xFFFFFFFF;
        return result;
    }
    Handle child_in(in_read), our_in(in_write), our_out(out_read), child_out(out_write);
    SetHandleInformation(in_write, HANDLE_FLAG_INHERIT, 0);
    SetHandleInformation(out_read, HANDLE_FLAG_INHERIT, 0);

    STARTUPINFOW si{};
    si.cb = sizeof si;
    si.dwFlags = STARTF_USESTDHANDLES;
    si.hStdInput = in_read;
    si.hStdOutput = out_write;
    si.hStdError = out_write;
    PROCESS_INFORMATION pi{};
    std::wstring command = L"\"" + install.dir + L"\\vqhost.exe\" --script -";
    if (!CreateProcessW(nullptr, &command[0], nullptr, nullptr, TRUE, CREATE_NO_WINDOW, nullptr,
                        install.dir.c_str(), &si, &pi)) {
        result.exit_code = 0xFFFFFFFE;
        return result;
    }
    Handle process(pi.hProcess), thread(pi.hThread);
    // The child holds its own copies now; ours must go so that EOF arrives.
    child_in.reset();
    child_out.reset();

    // Written from another thread: a script longer than the pipe's buffer
    // would otherwise block here while the child blocks on its full output.
    std::thread writer([&our_in, &script] {
        DWORD written = 0;
        WriteFile(our_in.get(), script.data(), static_cast<DWORD>(script.size()), &written,
                  nullptr);
        our_in.reset();
    });
    // Poll rather than read to the end of the pipe: a helper process that
    // Wine starts for the child (a console host) may inherit the write end
    // and keep the pipe open after the child has gone.
    const ULONGLONG deadline = GetTickCount64() + timeout_ms;
    auto drain = [&] {
        char buffer[4096];
        DWORD available = 0, n = 0;
        while (PeekNamedPipe(our_out.get(), nullptr, 0, nullptr, &available, nullptr) &&
               available > 0 && ReadFile(our_out.get(), buffer, sizeof buffer, &n, nullptr) && n)
            result.output.append(buffer, n);
    };
    for (bool ended = false; !ended;) {
        drain();
        ended = WaitForSingleObject(process.get(), 10) == WAIT_OBJECT_0;
        if (ended)
            drain(); // what it wrote just before it ended
        else if (GetTickCount64() > deadline) {
            TerminateProcess(process.get(), 0xDEAD);
            WaitForSingleObject(process.get(), 5000);
            ended = true;
        }
    }
    // A child that ended (or was ended) early breaks the pipe, so the writer ends.
    writer.join();
    DWORD code = 0;
    GetExitCodeProcess(process.get(), &code);
    result.exit_code = code;
    // Windows programs print CRLF; compare lines without the CR.
    result.output.erase(std::remove(result.output.begin(), result.output.end(), '\r'),
                        result.output.end());
    return result;
}

bool has_line(const std::string& output, const std::string& line) {
    return ("\n" + output + "\n").find("\n" + line + "\n") != std::string::npos;
}

std::size_t count_of(const std::string& text, const std::string& needle) {
    std::size_t n = 0;
    for (auto at = text.find(needle); at != std::string::npos; at = text.find(needle, at + 1))
        ++n;
    return n;
}

} // namespace Test_support
