#include "shell_test_support.h"

#include "output/clipboard_handler.h"
#include "support/test_support.h"

namespace Shell_test {

namespace {

std::wstring reg_escape(const std::wstring& text) {
    std::wstring escaped;
    for (wchar_t c : text) {
        if (c == L'\\' || c == L'"')
            escaped += L'\\';
        escaped += c;
    }
    return escaped;
}

std::wstring wide(const std::string& bytes) {
    const int size =
        MultiByteToWideChar(CP_UTF8, 0, bytes.data(), static_cast<int>(bytes.size()), nullptr, 0);
    std::wstring text(static_cast<std::size_t>(size), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, bytes.data(), static_cast<int>(bytes.size()), &text[0], size);
    return text;
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

bool run_and_wait(const std::wstring& command_line, DWORD timeout_ms) {
    HANDLE process = start_process(command_line, CREATE_NO_WINDOW);
    DWORD code = 1;
    if (process && WaitForSingleObject(process, timeout_ms) == WAIT_OBJECT_0)
        GetExitCodeProcess(process, &code);
    if (process)
        CloseHandle(process);
    return code == 0;
}

struct Window_search {
    DWORD process_id;
    const std::wstring* window_class;
    HWND found;
};

BOOL CALLBACK find_window(HWND window, LPARAM data) {
    auto* search = reinterpret_cast<Window_search*>(data);
    DWORD owner = 0;
    GetWindowThreadProcessId(window, &owner);
    wchar_t name[128] = {};
    GetClassNameW(window, name, 128);
    if (owner == search->process_id && IsWindowVisible(window) && *search->window_class == name) {
        search->found = window;
        return FALSE;
    }
    return TRUE;
}

std::wstring quote(const std::wstring& argument) {
    return L"\"" + argument + L"\"";
}

std::vector<std::wstring> read_records(const std::wstring& log) {
    std::vector<std::wstring> records;
    const std::string bytes = Test_support::file_exists(log) ? Test_support::read_file(log) : "";
    std::size_t begin = 0;
    for (std::size_t end; (end = bytes.find('\x1e', begin)) != std::string::npos; begin = end + 1)
        records.push_back(wide(bytes.substr(begin, end - begin)));
    return records;
}

// Pumps messages until the condition holds or the time is up.
template <typename Condition> bool pump_until(Condition condition, DWORD timeout_ms) {
    const ULONGLONG deadline = GetTickCount64() + timeout_ms;
    while (!condition()) {
        if (GetTickCount64() >= deadline)
            return false;
        wait_pumping(50);
    }
    return true;
}

} // namespace

std::wstring recorder_path() {
    return Test_support::exe_directory() + L"zaptor_recorder.exe";
}

bool register_recorder_as_url_handler() {
    const std::wstring command = reg_escape(quote(recorder_path()) + L" \"%1\"");
    std::wstring text = L"Windows Registry Editor Version 5.00\r\n\r\n";
    for (const wchar_t* scheme : {L"zaptortest", L"https"}) {
        const std::wstring key = std::wstring(L"HKEY_CLASSES_ROOT\\") + scheme;
        text += L"[" + key + L"]\r\n@=\"URL:" + scheme + L"\"\r\n\"URL Protocol\"=\"\"\r\n\r\n";
        text += L"[-" + key + L"\\shell\\open\\ddeexec]\r\n\r\n";
        text += L"[" + key + L"\\shell\\open\\command]\r\n@=\"" + command + L"\"\r\n\r\n";
    }
    const std::wstring folder = Test_support::make_temp_directory(L"reg");
    const std::wstring file = folder + L"\\recorder.reg";
    // reg.exe reads UTF-16 files with a byte-order mark.
    std::string bytes = "\xff\xfe";
    bytes.append(reinterpret_cast<const char*>(text.data()), text.size() * sizeof(wchar_t));
    bool ok = Test_support::write_file(file, bytes) &&
              run_and_wait(L"reg.exe import " + quote(file), 60000);
    Test_support::remove_tree(folder);
    return ok;
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
    : name_(std::move(name)), old_value_(32767, L'\0') {
    const DWORD length = GetEnvironmentVariableW(name_.c_str(), &old_value_[0], 32767);
    had_value_ = length > 0 && length < 32767;
    old_value_.resize(had_value_ ? length : 0);
    SetEnvironmentVariableW(name_.c_str(), value.c_str());
}

Scoped_environment::~Scoped_environment() {
    SetEnvironmentVariableW(name_.c_str(), had_value_ ? old_value_.c_str() : nullptr);
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
    Window_search search{GetProcessId(process_), &window_class, nullptr};
    pump_until(
        [&] {
            EnumWindows(&find_window, reinterpret_cast<LPARAM>(&search));
            return search.found || WaitForSingleObject(process_, 0) == WAIT_OBJECT_0;
        },
        20000);
    window_ = search.found;
    return window_ != nullptr;
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
