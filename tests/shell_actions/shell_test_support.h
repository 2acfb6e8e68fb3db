// Helpers for tests of actions that reach outside the plug-in: the recorder
// program as URL handler or %ComSpec%, and the browser fixtures.
#pragma once

#include "contract/unique_handle.h"

#include <windows.h>

#include <optional>
#include <string>
#include <vector>

namespace Shell_test {

std::wstring recorder_path();
// Registers the recorder for the "zaptortest" and "https" protocols.
bool register_recorder_as_url_handler();
// The argument lists the recorder logged, one per run; waits (pumping
// messages) until `count` are in.
std::vector<std::wstring> wait_for_records(const std::wstring& log, std::size_t count,
                                           DWORD timeout_ms = 20000);
bool wait_for_file(const std::wstring& path, DWORD timeout_ms = 20000);

// A variable of this process, set for the object's lifetime.
class Scoped_environment {
public:
    Scoped_environment(const wchar_t* name, const std::wstring& value) : name_(name) {
        wchar_t old[2048];
        const DWORD length = GetEnvironmentVariableW(name, old, 2048);
        if (length > 0 && length < 2048)
            old_ = old;
        SetEnvironmentVariableW(name, value.c_str());
    }
    ~Scoped_environment() { SetEnvironmentVariableW(name_, old_ ? old_->c_str() : nullptr); }
    Scoped_environment(const Scoped_environment&) = delete;
    Scoped_environment& operator=(const Scoped_environment&) = delete;

private:
    const wchar_t* name_;
    std::optional<std::wstring> old_;
};

// A fixture program of ours beside the test, started with its visible window
// of the class, and ended when the object goes.
class Fixture_process {
public:
    Fixture_process(const std::wstring& exe, const std::vector<std::wstring>& arguments,
                    const wchar_t* window_class);
    ~Fixture_process();
    Fixture_process(const Fixture_process&) = delete;
    Fixture_process& operator=(const Fixture_process&) = delete;
    // Brings the window to the foreground; false without one.
    bool activate();

private:
    Unique_kernel_handle process_;
    HWND window_ = nullptr;
};

} // namespace Shell_test
