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
    if (bytes.empty())
        return {};
    const int size =
        MultiByteToWideChar(CP_UTF8, 0, bytes.data(), static_cast<int>(bytes.size()), nullptr, 0);
    std::wstring text(static_cast<std::size_t>(size), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, bytes.data(), static_cast<int>(bytes.size()), &text[0], size);
    return text;
}

bool run_and_wait(std::wstring command_line, DWORD timeout_ms) {
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    if (!CreateProcessW(nullptr, &command_line[0], nullptr, nullptr, FALSE, CREATE_NO_WINDOW,
                        nullptr, nullptr, &startup, &process))
        return false;
    CloseHandle(process.hThread);
    const DWORD waited = WaitForSingleObject(process.hProcess, timeout_ms);
    DWORD code = 1;
    GetExitCodeProcess(process.hProcess, &code);
    CloseHandle(process.hProcess);
    return waited == WAIT_OBJECT_0 && code == 0;
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

} // namespace

std::wstring quote_argument(const std::wstring& argument) {
    return L"\"" + argument + L"\"";
}

std::wstring recorder_path() {
    return Test_support::exe_directory() + L"zaptor_recorder.exe";
}

bool register_recorder_as_url_handler() {
    const std::wstring command = reg_escape(quote_argument(recorder_path()) + L" \"%1\"");
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
              run_and_wait(L"reg.exe import " + quote_argument(file), 60000);
    Test_support::remove_tree(folder);
    return ok;
}

std::vector<std::wstring> read_records(const std::wstring& log) {
    std::vector<std::wstring> records;
    if (!Test_support::file_exists(log))
        return records;
    const std::string bytes = Test_support::read_file(log);
    std::size_t begin = 0;
    for (std::size_t end; (end = bytes.find('\x1e', begin)) != std::string::npos; begin = end + 1)
        records.push_back(wide(bytes.substr(begin, end - begin)));
    return records;
}

std::vector<std::wstring> wait_for_records(const std::wstring& log, std::size_t count,
                                           DWORD timeout_ms) {
    const ULONGLONG deadline = GetTickCount64() + timeout_ms;
    auto records = read_records(log);
    while (records.size() < count && GetTickCount64() < deadline) {
        wait_pumping(50);
        records = read_records(log);
    }
    return records;
}

bool wait_for_file(const std::wstring& path, DWORD timeout_ms) {
    const ULONGLONG deadline = GetTickCount64() + timeout_ms;
    while (!Test_support::file_exists(path)) {
        if (GetTickCount64() >= deadline)
            return false;
        wait_pumping(50);
    }
    return true;
}

Scoped_environment::Scoped_environment(std::wstring name, const std::wstring& value)
    : name_(std::move(name)) {
    const DWORD size = GetEnvironmentVariableW(name_.c_str(), nullptr, 0);
    had_value_ = size > 0;
    if (had_value_) {
        old_value_.resize(size);
        const DWORD length = GetEnvironmentVariableW(name_.c_str(), &old_value_[0], size);
        old_value_.resize(length < size ? length : 0);
    }
    SetEnvironmentVariableW(name_.c_str(), value.c_str());
}

Scoped_environment::~Scoped_environment() {
    SetEnvironmentVariableW(name_.c_str(), had_value_ ? old_value_.c_str() : nullptr);
}

Fixture_process::~Fixture_process() {
    stop();
}

bool Fixture_process::start(const std::wstring& exe, const std::vector<std::wstring>& arguments,
                            const std::wstring& window_class) {
    stop();
    std::wstring command_line = quote_argument(Test_support::exe_directory() + exe);
    for (const auto& argument : arguments)
        command_line += L" " + quote_argument(argument);
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    if (!CreateProcessW(nullptr, &command_line[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                        &startup, &process))
        return false;
    CloseHandle(process.hThread);
    process_ = process.hProcess;
    process_id_ = process.dwProcessId;
    const ULONGLONG deadline = GetTickCount64() + 20000;
    while (GetTickCount64() < deadline) {
        Window_search search{process_id_, &window_class, nullptr};
        EnumWindows(&find_window, reinterpret_cast<LPARAM>(&search));
        if (search.found) {
            window_ = search.found;
            return true;
        }
        if (WaitForSingleObject(process_, 0) == WAIT_OBJECT_0)
            return false;
        wait_pumping(50);
    }
    return false;
}

void Fixture_process::stop() {
    if (process_) {
        TerminateProcess(process_, 0);
        WaitForSingleObject(process_, 5000);
        CloseHandle(process_);
    }
    process_ = nullptr;
    window_ = nullptr;
}

bool Fixture_process::activate() {
    if (!window_)
        return false;
    for (int attempt = 0; attempt < 40; ++attempt) {
        SetForegroundWindow(window_);
        wait_pumping(25);
        if (GetForegroundWindow() == window_)
            return true;
    }
    return false;
}

} // namespace Shell_test
