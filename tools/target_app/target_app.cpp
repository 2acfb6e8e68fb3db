// zaptor_target.exe: a small application for tests, benchmarks and the demo.
// See target_protocol.h for how another process drives it.
#include "dib_picture.h"
#include "target_protocol.h"

#include <windows.h>

#include <richedit.h>
#include <shlobj.h>

#include <cstring>
#include <string>
#include <vector>

namespace {

constexpr UINT_PTR hold_timer = 1;
constexpr UINT_PTR paste_timer = 2;

// The clipboard a user might have when pressing one of the plug-in's keys.
struct Fixture_format {
    UINT format;
    std::vector<unsigned char> bytes; // for the enhanced metafile: its bits
};

std::vector<unsigned char> narrow(const std::string& text) {
    return std::vector<unsigned char>(text.c_str(), text.c_str() + text.size() + 1);
}

std::vector<unsigned char> wide(const std::wstring& text) {
    std::vector<unsigned char> bytes((text.size() + 1) * sizeof(wchar_t), 0);
    std::memcpy(bytes.data(), text.data(), text.size() * sizeof(wchar_t));
    return bytes;
}

HENHMETAFILE make_metafile() {
    HDC dc = CreateEnhMetaFileW(nullptr, nullptr, nullptr, nullptr);
    if (!dc)
        return nullptr;
    Rectangle(dc, 1, 2, 30, 40);
    Ellipse(dc, 5, 5, 25, 35);
    return CloseEnhMetaFile(dc);
}

std::vector<unsigned char> metafile_bits(HENHMETAFILE metafile) {
    std::vector<unsigned char> bits(metafile ? GetEnhMetaFileBits(metafile, 0, nullptr) : 0);
    if (!bits.empty())
        GetEnhMetaFileBits(metafile, static_cast<UINT>(bits.size()), bits.data());
    return bits;
}

const std::vector<Fixture_format>& fixture_formats() {
    static const std::vector<Fixture_format> formats = [] {
        std::vector<Fixture_format> list;
        list.push_back({CF_DIB, dib_picture(64, 48)});
        std::vector<unsigned char> odd(101);
        for (std::size_t i = 0; i < odd.size(); ++i)
            odd[i] = static_cast<unsigned char>(255 - i);
        list.push_back({RegisterClipboardFormatW(L"Zaptor fixture private"), odd});
        list.push_back({RegisterClipboardFormatW(L"HTML Format"),
                        narrow("Version:0.9\r\nStartHTML:0000000105\r\nEndHTML:0000000130\r\n"
                               "SourceURL:https://fixture.example/page\r\n<html>fixture</html>")});
        list.push_back({RegisterClipboardFormatW(L"Rich Text Format"),
                        narrow("{\\rtf1\\ansi {\\b fixture} rich}")});
        std::vector<unsigned char> drop(sizeof(DROPFILES));
        DROPFILES header{};
        header.pFiles = sizeof header;
        header.fWide = TRUE;
        std::memcpy(drop.data(), &header, sizeof header);
        const std::vector<unsigned char> files =
            wide(std::wstring(L"C:\\fixture\\a.txt\0C:\\fixture\\b \u00e4.png\0", 36));
        drop.insert(drop.end(), files.begin(), files.end());
        list.push_back({CF_HDROP, drop});
        HENHMETAFILE metafile = make_metafile();
        list.push_back({CF_ENHMETAFILE, metafile_bits(metafile)});
        DeleteEnhMetaFile(metafile);
        list.push_back({CF_UNICODETEXT, wide(L"fixture text \u00e4\u20ac")});
        return list;
    }();
    return formats;
}

bool put_fixture_clipboard(HWND owner) {
    if (!OpenClipboard(owner))
        return false;
    EmptyClipboard();
    bool ok = true;
    for (const Fixture_format& entry : fixture_formats()) {
        HANDLE data = nullptr;
        if (entry.format == CF_ENHMETAFILE) {
            data = SetEnhMetaFileBits(static_cast<UINT>(entry.bytes.size()), entry.bytes.data());
        } else if (HGLOBAL block = GlobalAlloc(GMEM_MOVEABLE, entry.bytes.size())) {
            if (void* target = GlobalLock(block)) {
                std::memcpy(target, entry.bytes.data(), entry.bytes.size());
                GlobalUnlock(block);
            }
            data = block;
        }
        ok = data && SetClipboardData(entry.format, data) && ok;
    }
    CloseClipboard();
    return ok;
}

std::vector<unsigned char> clipboard_bytes(UINT format) {
    std::vector<unsigned char> bytes;
    HANDLE data = GetClipboardData(format);
    if (!data)
        return bytes;
    if (format == CF_ENHMETAFILE)
        return metafile_bits(static_cast<HENHMETAFILE>(data));
    if (const auto* locked = static_cast<const unsigned char*>(GlobalLock(data))) {
        bytes.assign(locked, locked + GlobalSize(data));
        GlobalUnlock(data);
    }
    return bytes;
}

// 0x100, plus one bit per fixture format that is missing or differs.
LRESULT fixture_intact(HWND owner) {
    if (!OpenClipboard(owner))
        return 0x100 | 0xFF;
    LRESULT result = 0x100;
    const auto& formats = fixture_formats();
    for (std::size_t i = 0; i < formats.size(); ++i)
        if (clipboard_bytes(formats[i].format) != formats[i].bytes)
            result |= LRESULT{1} << i;
    CloseClipboard();
    return result;
}

// What the clipboard holds when a paste reads it (see paste_report).
LRESULT paste_report_now(HWND owner) {
    if (!OpenClipboard(owner))
        return 0;
    LRESULT report = 0x10;
    const wchar_t* markers[] = {L"ExcludeClipboardContentFromMonitorProcessing",
                                L"CanIncludeInClipboardHistory", L"CanUploadToCloudClipboard"};
    for (int i = 0; i < 3; ++i) {
        const std::vector<unsigned char> value =
            clipboard_bytes(RegisterClipboardFormatW(markers[i]));
        if (value == std::vector<unsigned char>(4, 0))
            report |= LRESULT{1} << i;
    }
    if (clipboard_bytes(CF_DIB) == fixture_formats()[0].bytes)
        report |= 0x8;
    CloseClipboard();
    return report;
}

class Target_window {
public:
    bool create(const std::wstring& title);
    int run();

private:
    static LRESULT CALLBACK window_proc(HWND window, UINT message, WPARAM wparam, LPARAM lparam);
    LRESULT handle_message(UINT message, WPARAM wparam, LPARAM lparam);
    LRESULT command(unsigned command, const Target_protocol::Command_data& data,
                    const std::wstring& text);
    HWND control(std::int32_t which) const {
        return which == Target_protocol::rich_edit  ? rich_edit_
               : which == Target_protocol::password ? password_
                                                    : edit_;
    }
    // True when the key message was handled here instead of by the control.
    bool filter_copy_keys(const MSG& message);

    HWND window_ = nullptr;
    HWND edit_ = nullptr;
    HWND rich_edit_ = nullptr;
    HWND password_ = nullptr;
    HWND focus_ = nullptr;
    bool ignore_copy_ = false;
    bool copy_picture_ = false;
    int paste_delay_ms_ = 0;
    LRESULT paste_report_ = 0;
    bool holding_clipboard_ = false;
};

bool Target_window::create(const std::wstring& title) {
    HINSTANCE instance = GetModuleHandleW(nullptr);
    WNDCLASSEXW window_class{};
    window_class.cbSize = sizeof(window_class);
    window_class.lpfnWndProc = &Target_window::window_proc;
    window_class.hInstance = instance;
    window_class.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    window_class.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
    window_class.lpszClassName = Target_protocol::window_class;
    RegisterClassExW(&window_class);

    window_ = CreateWindowExW(0, Target_protocol::window_class, title.c_str(),
                              WS_OVERLAPPEDWINDOW | WS_VISIBLE, 20, 20, 900, 500, nullptr, nullptr,
                              instance, this);
    if (!window_) {
        return false;
    }
    const DWORD text_style =
        WS_CHILD | WS_VISIBLE | WS_BORDER | WS_VSCROLL | ES_MULTILINE | ES_AUTOVSCROLL;
    edit_ = CreateWindowExW(0, L"EDIT", L"", text_style, 10, 10, 420, 400, window_, nullptr,
                            instance, nullptr);
    password_ = CreateWindowExW(0, L"EDIT", L"",
                                WS_CHILD | WS_VISIBLE | WS_BORDER | ES_PASSWORD | ES_AUTOHSCROLL,
                                10, 420, 420, 30, window_, nullptr, instance, nullptr);
    // Rich Edit 4.1 where present, else 2.0: both copy Rich Text Format.
    const wchar_t* rich_class = LoadLibraryW(L"msftedit.dll") ? MSFTEDIT_CLASS : nullptr;
    if (!rich_class && LoadLibraryW(L"riched20.dll")) {
        rich_class = RICHEDIT_CLASSW;
    }
    if (rich_class) {
        rich_edit_ = CreateWindowExW(0, rich_class, L"", text_style, 450, 10, 420, 440, window_,
                                     nullptr, instance, nullptr);
    }
    focus_ = edit_;
    SetForegroundWindow(window_);
    SetFocus(edit_);
    return edit_ != nullptr && password_ != nullptr;
}

LRESULT CALLBACK Target_window::window_proc(HWND window, UINT message, WPARAM wparam,
                                            LPARAM lparam) {
    if (message == WM_NCCREATE) {
        auto* create = reinterpret_cast<CREATESTRUCTW*>(lparam);
        SetWindowLongPtrW(window, GWLP_USERDATA,
                          reinterpret_cast<LONG_PTR>(create->lpCreateParams));
    }
    auto* self = reinterpret_cast<Target_window*>(GetWindowLongPtrW(window, GWLP_USERDATA));
    if (!self) {
        return DefWindowProcW(window, message, wparam, lparam);
    }
    if (message == WM_NCDESTROY) {
        SetWindowLongPtrW(window, GWLP_USERDATA, 0);
        PostQuitMessage(0);
        return DefWindowProcW(window, message, wparam, lparam);
    }
    self->window_ = window;
    return self->handle_message(message, wparam, lparam);
}

LRESULT Target_window::handle_message(UINT message, WPARAM wparam, LPARAM lparam) {
    switch (message) {
    case WM_COPYDATA: {
        const auto* copy = reinterpret_cast<const COPYDATASTRUCT*>(lparam);
        Target_protocol::Command_data data;
        if (!copy || copy->cbData < sizeof(data) || !copy->lpData) {
            return 0;
        }
        std::memcpy(&data, copy->lpData, sizeof(data));
        const std::size_t text_bytes = copy->cbData - sizeof(data);
        std::wstring text(text_bytes / sizeof(wchar_t), L'\0');
        if (!text.empty()) {
            std::memcpy(&text[0], static_cast<const char*>(copy->lpData) + sizeof(data),
                        text.size() * sizeof(wchar_t));
        }
        return command(static_cast<unsigned>(copy->dwData), data, text);
    }
    case WM_TIMER:
        if (wparam == hold_timer) {
            KillTimer(window_, hold_timer);
            if (holding_clipboard_) {
                CloseClipboard();
                holding_clipboard_ = false;
            }
        } else if (wparam == paste_timer) {
            KillTimer(window_, paste_timer);
            SetFocus(focus_);
            paste_report_ = paste_report_now(window_);
            SendMessageW(focus_, WM_PASTE, 0, 0);
        }
        return 0;
    case WM_ACTIVATE:
        if (LOWORD(wparam) != WA_INACTIVE && focus_) {
            SetFocus(focus_);
        }
        return 0;
    case WM_SIZE: {
        const int width = LOWORD(lparam), height = HIWORD(lparam);
        MoveWindow(edit_, 10, 10, width / 2 - 20, height - 60, TRUE);
        MoveWindow(password_, 10, height - 40, width / 2 - 20, 30, TRUE);
        if (rich_edit_) {
            MoveWindow(rich_edit_, width / 2 + 10, 10, width / 2 - 20, height - 20, TRUE);
        }
        return 0;
    }
    case WM_CLOSE:
        DestroyWindow(window_);
        return 0;
    default:
        return DefWindowProcW(window_, message, wparam, lparam);
    }
}

LRESULT Target_window::command(unsigned command, const Target_protocol::Command_data& data,
                               const std::wstring& text) {
    HWND target = control(data.control);
    switch (command) {
    case Target_protocol::set_text:
        return target && SetWindowTextW(target, text.c_str()) ? 1 : 0;
    case Target_protocol::select:
        if (!target) {
            return 0;
        }
        focus_ = target;
        SetFocus(target);
        SendMessageW(target, EM_SETSEL, static_cast<WPARAM>(data.first),
                     static_cast<LPARAM>(data.second));
        return 1;
    case Target_protocol::activate:
        ShowWindow(window_, SW_SHOW);
        SetForegroundWindow(window_);
        SetFocus(focus_);
        return GetForegroundWindow() == window_ ? 1 : 0;
    case Target_protocol::selection_start:
    case Target_protocol::selection_end: {
        if (!target) {
            return -1;
        }
        DWORD start = 0, end = 0;
        SendMessageW(target, EM_GETSEL, reinterpret_cast<WPARAM>(&start),
                     reinterpret_cast<LPARAM>(&end));
        return command == Target_protocol::selection_start ? start : end;
    }
    case Target_protocol::text_length:
        return target ? GetWindowTextLengthW(target) : -1;
    case Target_protocol::control_window:
        return reinterpret_cast<LRESULT>(target);
    case Target_protocol::hold_clipboard:
        if (holding_clipboard_ || !OpenClipboard(window_)) {
            return 0;
        }
        holding_clipboard_ = true;
        SetTimer(window_, hold_timer, static_cast<UINT>(data.first), nullptr);
        return 1;
    case Target_protocol::ignore_copy:
        ignore_copy_ = data.first != 0;
        return 1;
    case Target_protocol::own_clipboard:
        return put_fixture_clipboard(window_) ? 1 : 0;
    case Target_protocol::clipboard_intact:
        return fixture_intact(window_);
    case Target_protocol::paste_mode:
        paste_delay_ms_ = data.first;
        paste_report_ = 0;
        return 1;
    case Target_protocol::copy_picture:
        copy_picture_ = data.first != 0;
        return 1;
    case Target_protocol::paste_report:
        return paste_report_;
    case Target_protocol::quit:
        PostMessageW(window_, WM_CLOSE, 0, 0);
        return 1;
    default:
        return 0;
    }
}

bool Target_window::filter_copy_keys(const MSG& message) {
    if (message.message != WM_KEYDOWN || GetKeyState(VK_CONTROL) >= 0) {
        return false;
    }
    const bool insert = message.wParam == VK_INSERT;
    const bool letter_c = message.wParam == 'C';
    if (message.wParam == 'V') {
        if (paste_delay_ms_ == 0) {
            paste_report_ = paste_report_now(window_);
            return false;
        }
        if (paste_delay_ms_ > 0) {
            // A late reader that shows something first (a prompt, another
            // field): the caret moves away before the clipboard is read.
            SetFocus(password_);
            SetTimer(window_, paste_timer, static_cast<UINT>(paste_delay_ms_), nullptr);
        }
        return true;
    }
    if (!insert && !letter_c) {
        return false;
    }
    if (ignore_copy_) {
        return true;
    }
    if (copy_picture_) {
        put_fixture_clipboard(window_);
        return true;
    }
    if (insert && rich_edit_ && message.hwnd == rich_edit_) {
        SendMessageW(rich_edit_, WM_COPY, 0, 0);
        return true;
    }
    return false;
}

int Target_window::run() {
    MSG message;
    while (GetMessageW(&message, nullptr, 0, 0) > 0) {
        if (filter_copy_keys(message)) {
            continue;
        }
        TranslateMessage(&message);
        DispatchMessageW(&message);
    }
    return 0;
}

} // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR command_line, int) {
    std::wstring title =
        command_line && *command_line ? command_line : Target_protocol::default_title;
    if (title.size() >= 2 && title.front() == L'"' && title.back() == L'"') {
        title = title.substr(1, title.size() - 2);
    }
    Target_window window;
    if (!window.create(title)) {
        return 1;
    }
    return window.run();
}
