#include "shell_test_support.h"

#include "output/clipboard_handler.h"
#include "support/test_support.h"

namespace Shell_test {

namespace {

std::wstring quote(const std::wstring& argument) {
    return L"\"" + argument + L"\"";
}

// The process handle of a started program, or null.
HANDLE start_process(std::wstring command_line, DWORD flags) {
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    if (!CreateProcessW(nullptr, &command_line[0], nullptr, nullptr, FALSE, flags, nullptr, nullptr,
                        &startup, &process))
        return nullptr;
    CloseHandle(process.hThread);
    return process.hProcess;
}

std::vector<std::wstring> read_records(const std::wstring& log) {
    std::vector<std::wstring> records;
    const std::string bytes = Test_support::file_exists(log) ? Test_support::read_file(log) : "";
    std::size_t begin = 0;
    for (std::size_t end; (end = bytes.find('\x1e', begin)) != std::string::npos; begin = end + 1) {
        std::wstring record(end - begin, L'\0');
        record.resize(static_cast<std::size_t>(
            MultiByteToWideChar(CP_UTF8, 0, bytes.data() + begin, static_cast<int>(end - begin),
                                &record[0], static_cast<int>(record.size()))));
        records.push_back(record);
    }
    return records;
}

// Pumps messages until the condition holds or the time is up.
template <typename Condition> bool pump_until(Condition condition, DWORD timeout_ms) {
    const ULONGLONG end = GetTickCount64() + timeout_ms;
    for (; !condition(); wait_pumping(50))
        if (GetTickCount64() >= end)
            return false;
    return true;
}

} // namespace

std::wstring recorder_path() {
    return Test_support::exe_directory() + L"zaptor_recorder.exe";
}

bool register_recorder_as_url_handler() {
    std::wstring command;
    for (wchar_t c : quote(recorder_path()) + L" \"%1\"")
        command += c == L'\\' || c == L'"' ? std::wstring{L'\\', c} : std::wstring{c};
    std::wstring text = L"\xfeffWindows Registry Editor Version 5.00\r\n\r\n";
    for (const std::wstring scheme : {L"zaptortest", L"https"}) {
        const std::wstring key = L"HKEY_CLASSES_ROOT\\" + scheme;
        text += L"[" + key + L"]\r\n@=\"URL:" + scheme + L"\"\r\n\"URL Protocol\"=\"\"\r\n\r\n[-" +
                key + L"\\shell\\open\\ddeexec]\r\n\r\n[" + key +
                L"\\shell\\open\\command]\r\n@=\"" + command + L"\"\r\n\r\n";
    }
    const std::wstring folder = Test_support::make_temp_directory(L"reg");
    const std::wstring file = folder + L"\\recorder.reg";
    // reg.exe reads UTF-16 files with a byte-order mark.
    HANDLE process = nullptr;
    DWORD code = 1;
    if (Test_support::write_file(file, std::string(reinterpret_cast<const char*>(text.data()),
                                                   text.size() * sizeof(wchar_t))) &&
        (process = start_process(L"reg.exe import " + quote(file), CREATE_NO_WINDOW))) {
        WaitForSingleObject(process, 60000);
        GetExitCodeProcess(process, &code);
        CloseHandle(process);
    }
    Test_support::remove_tree(folder);
    return code == 0;
}

std::vector<std::wstring> wait_for_records(const std::wstring& log, std::size_t count,
                                           DWORD timeout_ms) {
    pump_until([&] { return read_records(log).size() >= count; }, timeout_ms);
    return read_records(log);
}

bool wait_for_file(const std::wstring& path, DWORD timeout_ms) {
    return pump_until([&] { return Test_support::file_exists(path); }, timeout_ms);
}

Scoped_environment::Scoped_environment(std::wstring name, const std::wstring& value)
    : name_(std::move(name)) {
    std::wstring old(32767, L'\0');
    const DWORD length = GetEnvironmentVariableW(name_.c_str(), &old[0], 32767);
    if (length > 0 && length < 32767)
        old_value_ = old.substr(0, length);
    SetEnvironmentVariableW(name_.c_str(), value.c_str());
}

Scoped_environment::~Scoped_environment() {
    SetEnvironmentVariableW(name_.c_str(), old_value_ ? old_value_->c_str() : nullptr);
}

Fixture_process::~Fixture_process() {
    if (process_) {
        TerminateProcess(process_, 0);
        WaitForSingleObject(process_, 5000);
        CloseHandle(process_);
    }
}

bool Fixture_process::start(const std::wstring& exe, const std::vector<std::wstring>& arguments,
                            const std::wstring& window_class) {
    std::wstring command_line = quote(Test_support::exe_directory() + exe);
    for (const auto& argument : arguments)
        command_line += L" " + quote(argument);
    if (process_ || !(process_ = start_process(command_line, 0)))
        return false;
    const DWORD id = GetProcessId(process_);
    pump_until(
        [&] {
            for (HWND w = GetTopWindow(nullptr); w && !window_; w = GetWindow(w, GW_HWNDNEXT)) {
                DWORD owner = 0;
                wchar_t name[128] = {};
                GetWindowThreadProcessId(w, &owner);
                GetClassNameW(w, name, 128);
                if (owner == id && IsWindowVisible(w) && window_class == name)
                    window_ = w;
            }
            return window_ || WaitForSingleObject(process_, 0) == WAIT_OBJECT_0;
        },
        20000);
    return window_ && activate();
}

bool Fixture_process::activate() {
    for (int attempt = 0; window_ && attempt < 40; ++attempt) {
        SetForegroundWindow(window_);
        wait_pumping(25);
        if (GetForegroundWindow() == window_)
            return true;
    }
    return false;
}

} // namespace Shell_test
