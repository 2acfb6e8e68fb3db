#include "shell_test_support.h"

#include "contract/text_convert.h"
#include "contract/unique_handle.h"
#include "output/clipboard_handler.h"
#include "output_test_support.h"
#include "support/test_support.h"

#include <windows.h>

#include <tlhelp32.h>

#include <filesystem>
#include <fstream>

namespace Shell_test {

namespace {

constexpr std::uint32_t poll_ms = 50;
using Output_test::pump_until;

std::vector<std::wstring> read_records(const std::wstring& log) {
    std::vector<std::wstring> records;
    std::wstring text = utf8_to_utf16(Test_support::read_file(log));
    for (std::size_t end; (end = text.find(L'\x1e')) != std::wstring::npos; text.erase(0, end + 1))
        records.push_back(text.substr(0, end));
    return records;
}

bool recorder_running() {
    // Like CreateFile, it answers INVALID_HANDLE_VALUE when it fails.
    const Unique_file snapshot(CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
    if (!snapshot)
        return false;
    PROCESSENTRY32W entry{};
    entry.dwSize = sizeof entry;
    bool running = false;
    for (BOOL more = Process32FirstW(snapshot.get(), &entry); more && !running;
         more = Process32NextW(snapshot.get(), &entry))
        running = lstrcmpiW(entry.szExeFile, L"zaptor_recorder.exe") == 0;
    return running;
}

} // namespace

std::wstring recorder_path() {
    return Test_support::exe_directory() + L"zaptor_recorder.exe";
}

bool register_recorder_as_url_handler() {
    const auto set = [](const std::wstring& key, const wchar_t* name, const std::wstring& value) {
        return RegSetKeyValueW(HKEY_CLASSES_ROOT, key.c_str(), name, REG_SZ, value.c_str(),
                               static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t))) == 0;
    };
    bool done = true;
    for (const std::wstring scheme : {L"zaptortest", L"https"}) {
        RegDeleteTreeW(HKEY_CLASSES_ROOT, (scheme + L"\\shell\\open\\ddeexec").c_str());
        done = set(scheme, nullptr, L"URL:" + scheme) && set(scheme, L"URL Protocol", L"") &&
               set(scheme + L"\\shell\\open\\command", nullptr,
                   L"\"" + recorder_path() + L"\" \"%1\"") &&
               done;
    }
    return done;
}

std::vector<std::wstring> wait_for_records(const std::wstring& log, std::size_t count,
                                           DWORD timeout_ms) {
    pump_until([&] { return read_records(log).size() >= count; }, timeout_ms, poll_ms);
    // A recorder still ending (and its console window) may take the
    // foreground from the target of the next keys.
    pump_until([] { return !recorder_running(); }, 5000, poll_ms);
    return read_records(log);
}

// Until the recorder's rename lets go of its file, the file exists but
// cannot be read.
bool wait_for_file(const std::wstring& path, DWORD timeout_ms) {
    return pump_until([&] { return std::ifstream(std::filesystem::path(path)).is_open(); },
                      timeout_ms, poll_ms);
}

Fixture_process::Fixture_process(const std::wstring& exe,
                                 const std::vector<std::wstring>& arguments,
                                 const wchar_t* window_class) {
    std::wstring command_line = L"\"" + Test_support::exe_directory() + exe + L"\"";
    for (const auto& argument : arguments)
        command_line += L" \"" + argument + L"\"";
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION info{};
    if (!CreateProcessW(nullptr, &command_line[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                        &startup, &info))
        return;
    CloseHandle(info.hThread);
    process_.reset(info.hProcess);
    pump_until(
        [&] {
            for (HWND w = nullptr;
                 !window_ && (w = FindWindowExW(nullptr, w, window_class, nullptr));) {
                DWORD owner = 0;
                GetWindowThreadProcessId(w, &owner);
                window_ = owner == info.dwProcessId && IsWindowVisible(w) ? w : nullptr;
            }
            return window_ || WaitForSingleObject(process_.get(), 0) == WAIT_OBJECT_0;
        },
        20000, poll_ms);
}

Fixture_process::~Fixture_process() {
    if (process_) {
        TerminateProcess(process_.get(), 0);
        WaitForSingleObject(process_.get(), 5000);
    }
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
