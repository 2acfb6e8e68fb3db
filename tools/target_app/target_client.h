// Starts zaptor_target.exe as a process of its own and drives it through the
// commands of target_protocol.h. One object, one running application; the
// destructor closes it.
#pragma once

#include "contract/unique_handle.h"
#include "target_protocol.h"

#include <windows.h>

#include <string>

class Target_app {
public:
    using Control = Target_protocol::Control;

    Target_app() = default;
    ~Target_app();
    Target_app(const Target_app&) = delete;
    Target_app& operator=(const Target_app&) = delete;

    // Starts the application from `exe_path` (default: zaptor_target.exe beside
    // the running program) and waits up to 20 s for its window.
    bool start(std::wstring exe_path = {});
    void quit();
    // Drives an application that is already running with this window title;
    // the destructor then leaves it running.
    bool attach(const std::wstring& title);

    bool running() const { return window_ != nullptr; }
    HWND window() const { return window_; }
    DWORD process_id() const { return process_id_; }
    const std::wstring& title() const { return title_; }

    bool set_text(Control control, const std::wstring& text);
    bool select(Control control, int first, int second);
    // Brings the application to the foreground; true when it got there.
    bool activate();
    int selection_start(Control control);
    int selection_end(Control control);
    int text_length(Control control);
    std::wstring text(Control control);
    HWND control_window(Control control);
    bool hold_clipboard(int milliseconds);
    bool ignore_copy(bool ignore);
    bool own_clipboard();
    // 0x100 when the clipboard still holds own_clipboard's formats unchanged.
    int clipboard_intact();
    bool paste_mode(int delay_ms);
    bool copy_picture(bool picture);
    int paste_report();

private:
    LRESULT send(Target_protocol::Command command, Control control, int first = 0, int second = 0,
                 const std::wstring& text = {});

    Unique_kernel_handle process_;
    HWND window_ = nullptr;
    bool attached_ = false;
    DWORD process_id_ = 0;
    std::wstring title_;
};
