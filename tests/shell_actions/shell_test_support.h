// Helpers for tests of actions that reach outside the plug-in: the recorder
// program as URL handler or %ComSpec%, and the browser fixtures.
#pragma once

#include <windows.h>

#include <optional>
#include <string>
#include <vector>

namespace Shell_test {

std::wstring recorder_path();
// Registers the recorder for the "zaptortest" and "https" protocols under
// HKEY_CLASSES_ROOT (the only place Wine's shell looks).
bool register_recorder_as_url_handler();
// The argument lists the recorder logged, one per run, joined by "\x1f";
// waits (pumping messages) until `count` are in.
std::vector<std::wstring> wait_for_records(const std::wstring& log, std::size_t count,
                                           DWORD timeout_ms = 20000);
bool wait_for_file(const std::wstring& path, DWORD timeout_ms = 20000);

class Scoped_environment {
public:
    Scoped_environment(std::wstring name, const std::wstring& value);
    ~Scoped_environment();
    Scoped_environment(const Scoped_environment&) = delete;
    Scoped_environment& operator=(const Scoped_environment&) = delete;

private:
    std::wstring name_;
    std::optional<std::wstring> old_value_;
};

// A fixture program of ours beside the test, ended when the object goes.
class Fixture_process {
public:
    Fixture_process() = default;
    ~Fixture_process();
    Fixture_process(const Fixture_process&) = delete;
    Fixture_process& operator=(const Fixture_process&) = delete;
    // Starts it, waits for its visible window of the class and activates that.
    bool start(const std::wstring& exe, const std::vector<std::wstring>& arguments,
               const std::wstring& window_class);
    bool activate();

private:
    HANDLE process_ = nullptr;
    HWND window_ = nullptr;
};

} // namespace Shell_test
