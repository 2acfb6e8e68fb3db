#include "support/vqhost_runner.h"

#include "contract/unique_handle.h"
#include "support/test_support.h"

#include <windows.h>

#include <algorithm>
#include <stdexcept>

namespace Test_support {
namespace {

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
    // The script and the output go through files, new ones for each run: no
    // pipe to keep drained, and a console helper that Wine started for an
    // earlier run may still hold that run's files.
    static unsigned runs = 0;
    const std::wstring stem = install.dir + L"\\run" + std::to_wstring(++runs);
    const std::wstring in_path = stem + L".vqs", out_path = stem + L".txt";
    Script_result result{0xFFFFFFFF, "cannot write the script"};
    if (!write_file(in_path, script))
        return result;
    SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
    Unique_file in(CreateFileW(in_path.c_str(), GENERIC_READ, FILE_SHARE_READ, &inherit,
                               OPEN_EXISTING, 0, nullptr));
    Unique_file out(CreateFileW(out_path.c_str(), GENERIC_WRITE, FILE_SHARE_READ, &inherit,
                                CREATE_ALWAYS, 0, nullptr));
    STARTUPINFOW si{};
    si.cb = sizeof si;
    si.dwFlags = STARTF_USESTDHANDLES;
    si.hStdInput = in.get();
    si.hStdOutput = si.hStdError = out.get();
    PROCESS_INFORMATION pi{};
    std::wstring command = L"\"" + install.dir + L"\\vqhost.exe\" --script -";
    if (!in || !out ||
        !CreateProcessW(nullptr, &command[0], nullptr, nullptr, TRUE, CREATE_NO_WINDOW, nullptr,
                        install.dir.c_str(), &si, &pi)) {
        result.output = "cannot start vqhost.exe: error " + std::to_string(GetLastError());
        return result;
    }
    Unique_kernel_handle process(pi.hProcess), thread(pi.hThread);
    if (WaitForSingleObject(process.get(), timeout_ms) != WAIT_OBJECT_0) {
        TerminateProcess(process.get(), 0xDEAD);
        WaitForSingleObject(process.get(), 5000);
    }
    DWORD code = 0;
    GetExitCodeProcess(process.get(), &code);
    result.exit_code = code;
    out.reset();
    result.output = read_file(out_path);
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
