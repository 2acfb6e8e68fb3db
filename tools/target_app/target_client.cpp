#include "target_client.h"

#include <cstring>
#include <vector>

namespace {

std::wstring folder_of_this_program() {
    wchar_t path[MAX_PATH * 2];
    const DWORD length = GetModuleFileNameW(nullptr, path, MAX_PATH * 2);
    std::wstring full(path, length);
    return full.substr(0, full.find_last_of(L'\\') + 1);
}

} // namespace

Target_app::~Target_app() {
    quit();
}

bool Target_app::start(std::wstring exe_path) {
    quit();
    if (exe_path.empty()) {
        exe_path = folder_of_this_program() + Target_protocol::exe_name;
    }
    static unsigned launches = 0;
    title_ = L"Zaptor target " + std::to_wstring(GetCurrentProcessId()) + L"-" +
             std::to_wstring(++launches);
    std::wstring command_line = L"\"" + exe_path + L"\" \"" + title_ + L"\"";
    STARTUPINFOW startup{};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION info{};
    if (!CreateProcessW(exe_path.c_str(), &command_line[0], nullptr, nullptr, FALSE, 0, nullptr,
                        nullptr, &startup, &info)) {
        return false;
    }
    CloseHandle(info.hThread);
    process_.reset(info.hProcess);
    process_id_ = info.dwProcessId;
    for (int i = 0; i < 1000 && !window_; ++i) {
        if (WaitForSingleObject(process_.get(), 20) == WAIT_OBJECT_0) {
            break; // it ended before showing its window
        }
        window_ = FindWindowW(Target_protocol::window_class, title_.c_str());
    }
    if (!window_) {
        quit();
        return false;
    }
    return true;
}

bool Target_app::attach(const std::wstring& title) {
    quit();
    window_ = FindWindowW(Target_protocol::window_class, title.c_str());
    if (!window_)
        return false;
    title_ = title;
    attached_ = true;
    GetWindowThreadProcessId(window_, &process_id_);
    return true;
}

void Target_app::quit() {
    if (attached_) {
        window_ = nullptr;
        attached_ = false;
        return;
    }
    if (window_) {
        send(Target_protocol::quit, Target_protocol::edit);
        window_ = nullptr;
    }
    if (process_) {
        if (WaitForSingleObject(process_.get(), 5000) != WAIT_OBJECT_0) {
            TerminateProcess(process_.get(), 1);
            WaitForSingleObject(process_.get(), 5000);
        }
        process_.reset();
    }
    process_id_ = 0;
}

LRESULT Target_app::send(Target_protocol::Command command, Control control, int first, int second,
                         const std::wstring& text) {
    if (!window_) {
        return 0;
    }
    Target_protocol::Command_data data;
    data.control = control;
    data.first = first;
    data.second = second;
    std::vector<char> payload(sizeof(data) + text.size() * sizeof(wchar_t));
    std::memcpy(payload.data(), &data, sizeof(data));
    if (!text.empty()) {
        std::memcpy(payload.data() + sizeof(data), text.data(), text.size() * sizeof(wchar_t));
    }
    COPYDATASTRUCT copy{};
    copy.dwData = command;
    copy.cbData = static_cast<DWORD>(payload.size());
    copy.lpData = payload.data();
    DWORD_PTR result = 0;
    if (!SendMessageTimeoutW(window_, WM_COPYDATA, 0, reinterpret_cast<LPARAM>(&copy), SMTO_NORMAL,
                             10000, &result)) {
        return 0;
    }
    return static_cast<LRESULT>(result);
}

bool Target_app::set_text(Control control, const std::wstring& text) {
    return send(Target_protocol::set_text, control, 0, 0, text) == 1;
}

bool Target_app::select(Control control, int first, int second) {
    return send(Target_protocol::select, control, first, second) == 1;
}

bool Target_app::activate() {
    return send(Target_protocol::activate, Target_protocol::edit) == 1;
}

int Target_app::selection_start(Control control) {
    return static_cast<int>(send(Target_protocol::selection_start, control));
}

int Target_app::selection_end(Control control) {
    return static_cast<int>(send(Target_protocol::selection_end, control));
}

int Target_app::text_length(Control control) {
    return static_cast<int>(send(Target_protocol::text_length, control));
}

HWND Target_app::control_window(Control control) {
    return reinterpret_cast<HWND>(send(Target_protocol::control_window, control));
}

std::wstring Target_app::text(Control control) {
    HWND child = control_window(control);
    if (!child) {
        return {};
    }
    const int length = text_length(control);
    if (length <= 0) {
        return {};
    }
    // GetWindowTextW does not ask a control of another process for its text;
    // WM_GETTEXT is carried across by the system.
    std::wstring text(static_cast<std::size_t>(length) + 1, L'\0');
    DWORD_PTR copied = 0;
    if (!SendMessageTimeoutW(child, WM_GETTEXT, text.size(), reinterpret_cast<LPARAM>(&text[0]),
                             SMTO_NORMAL, 10000, &copied)) {
        return {};
    }
    text.resize(copied < text.size() ? copied : text.size() - 1);
    return text;
}

bool Target_app::hold_clipboard(int milliseconds) {
    return send(Target_protocol::hold_clipboard, Target_protocol::edit, milliseconds) == 1;
}

bool Target_app::ignore_copy(bool ignore) {
    return send(Target_protocol::ignore_copy, Target_protocol::edit, ignore ? 1 : 0) == 1;
}

bool Target_app::own_clipboard() {
    return send(Target_protocol::own_clipboard, Target_protocol::edit) == 1;
}

int Target_app::clipboard_intact() {
    return static_cast<int>(send(Target_protocol::clipboard_intact, Target_protocol::edit));
}

bool Target_app::paste_mode(int delay_ms) {
    return send(Target_protocol::paste_mode, Target_protocol::edit, delay_ms) == 1;
}

bool Target_app::copy_picture(bool picture) {
    return send(Target_protocol::copy_picture, Target_protocol::edit, picture ? 1 : 0) == 1;
}

int Target_app::paste_report() {
    return static_cast<int>(send(Target_protocol::paste_report, Target_protocol::edit));
}
