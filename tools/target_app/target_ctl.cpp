// zaptor_target_ctl.exe: drives a running zaptor_target.exe from a script.
//   zaptor_target_ctl TITLE set-text edit|rich|password TEXT
//   zaptor_target_ctl TITLE select edit|rich|password FIRST SECOND     (-1: to the end)
//   zaptor_target_ctl TITLE activate
//   zaptor_target_ctl TITLE text edit|rich|password                    prints the text (UTF-8)
//   zaptor_target_ctl TITLE caret edit|rich|password                   prints the caret position
//   zaptor_target_ctl TITLE clipboard                         prints the clipboard's text
//   zaptor_target_ctl TITLE set-clipboard TEXT                puts TEXT on the clipboard
//   zaptor_target_ctl TITLE clipboard-formats                 prints one format a line: id name
//   zaptor_target_ctl TITLE quit
//   zaptor_target_ctl TITLE child-text CLASS                  prints the text of the first
//                                                             child of class CLASS of any
//                                                             top-level window titled TITLE
//                                                             (e.g. notepad's Edit)
//   zaptor_target_ctl TITLE child-set-text CLASS TEXT         replaces that child's text
//   zaptor_target_ctl TITLE foreground                        brings that top-level window
//                                                             to the foreground; 0 once it is
// Exit status 0 on success, 1 when the command failed, 2 for bad arguments.
#include "target_client.h"

#include <windows.h>

#include <cstdio>
#include <cstring>
#include <string>

namespace {

std::string to_utf8(const std::wstring& text) {
    if (text.empty())
        return {};
    int n = WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0,
                                nullptr, nullptr);
    std::string out(static_cast<std::size_t>(n), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), &out[0], n, nullptr,
                        nullptr);
    return out;
}

void print_line(const std::wstring& text) {
    std::string bytes = to_utf8(text) + "\n";
    std::fwrite(bytes.data(), 1, bytes.size(), stdout);
    std::fflush(stdout);
}

std::wstring clipboard_text() {
    std::wstring text;
    for (int attempt = 0; attempt < 100; ++attempt) {
        if (OpenClipboard(nullptr)) {
            if (HANDLE data = GetClipboardData(CF_UNICODETEXT)) {
                if (auto* p = static_cast<const wchar_t*>(GlobalLock(data))) {
                    text = p;
                    GlobalUnlock(data);
                }
            }
            CloseClipboard();
            return text;
        }
        Sleep(10);
    }
    return text;
}

bool set_clipboard_text(const std::wstring& text) {
    for (int attempt = 0; attempt < 100; ++attempt) {
        if (OpenClipboard(nullptr)) {
            EmptyClipboard();
            bool ok = false;
            std::size_t bytes = (text.size() + 1) * sizeof(wchar_t);
            if (HGLOBAL memory = GlobalAlloc(GMEM_MOVEABLE, bytes)) {
                if (void* p = GlobalLock(memory)) {
                    std::memcpy(p, text.c_str(), bytes);
                    GlobalUnlock(memory);
                    // The clipboard owns the memory once it accepted it.
                    ok = SetClipboardData(CF_UNICODETEXT, memory) != nullptr;
                }
                if (!ok)
                    GlobalFree(memory);
            }
            CloseClipboard();
            return ok;
        }
        Sleep(10);
    }
    return false;
}

void print_clipboard_formats() {
    for (int attempt = 0; attempt < 100; ++attempt) {
        if (OpenClipboard(nullptr)) {
            for (UINT format = EnumClipboardFormats(0); format;
                 format = EnumClipboardFormats(format)) {
                wchar_t name[256] = L"";
                GetClipboardFormatNameW(format, name, 256);
                std::printf("%u ", format);
                print_line(name);
            }
            CloseClipboard();
            return;
        }
        Sleep(10);
    }
}

HWND child_window(const wchar_t* title, const wchar_t* class_name) {
    HWND top = FindWindowW(nullptr, title);
    return top ? FindWindowExW(top, nullptr, class_name, nullptr) : nullptr;
}

// WM_GETTEXT is carried across processes (GetWindowTextW is not), with a
// time-out so that a hung application does not hang the test.
bool child_text(HWND child, std::wstring& text) {
    DWORD_PTR length = 0;
    if (!SendMessageTimeoutW(child, WM_GETTEXTLENGTH, 0, 0, SMTO_NORMAL, 10000, &length))
        return false;
    text.assign(static_cast<std::size_t>(length) + 1, L'\0');
    DWORD_PTR copied = 0;
    if (!SendMessageTimeoutW(child, WM_GETTEXT, text.size(), reinterpret_cast<LPARAM>(&text[0]),
                             SMTO_NORMAL, 10000, &copied))
        return false;
    text.resize(copied < text.size() ? copied : text.size() - 1);
    return true;
}

bool parse_control(const std::wstring& word, Target_app::Control& control) {
    if (word == L"edit")
        control = Target_app::Control::edit;
    else if (word == L"rich")
        control = Target_app::Control::rich_edit;
    else if (word == L"password")
        control = Target_app::Control::password;
    else
        return false;
    return true;
}

} // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc < 3) {
        std::fprintf(stderr, "usage: zaptor_target_ctl TITLE COMMAND [ARGS]\n");
        return 2;
    }
    std::wstring command = argv[2];
    if (command == L"clipboard-formats") {
        print_clipboard_formats();
        return 0;
    }
    if (command == L"set-clipboard" && argc == 4)
        return set_clipboard_text(argv[3]) ? 0 : 1;
    if (command == L"clipboard") {
        print_line(clipboard_text());
        return 0;
    }
    if (command == L"foreground") {
        HWND top = FindWindowW(nullptr, argv[1]);
        if (!top)
            return 1;
        // The X side's activation reaches Wine's idea of the foreground a
        // little later: wait for it rather than type into the last window.
        for (int attempt = 0; attempt < 100; ++attempt) {
            if (GetForegroundWindow() == top)
                return 0;
            SetForegroundWindow(top);
            Sleep(50);
        }
        return 1;
    }
    if (command == L"child-text" || command == L"child-set-text") {
        HWND child = argc >= 4 ? child_window(argv[1], argv[3]) : nullptr;
        if (!child) {
            std::fprintf(stderr, "zaptor_target_ctl: no such window or child\n");
            return 1;
        }
        if (command == L"child-set-text" && argc == 5) {
            DWORD_PTR set = 0;
            return SendMessageTimeoutW(child, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(argv[4]),
                                       SMTO_NORMAL, 10000, &set) &&
                           set
                       ? 0
                       : 1;
        }
        std::wstring text;
        if (argc != 4 || !child_text(child, text))
            return 1;
        print_line(text);
        return 0;
    }
    Target_app target;
    if (!target.attach(argv[1])) {
        std::fprintf(stderr, "zaptor_target_ctl: no target window with that title\n");
        return 1;
    }
    Target_app::Control control = Target_app::Control::edit;
    if (command == L"activate")
        return target.activate() ? 0 : 1;
    if (command == L"quit") {
        PostMessageW(target.window(), WM_CLOSE, 0, 0);
        return 0;
    }
    if (argc < 4 || !parse_control(argv[3], control)) {
        std::fprintf(stderr, "zaptor_target_ctl: expected edit, rich or password\n");
        return 2;
    }
    if (command == L"set-text" && argc == 5)
        return target.set_text(control, argv[4]) ? 0 : 1;
    if (command == L"select" && argc == 6)
        return target.select(control, _wtoi(argv[4]), _wtoi(argv[5])) ? 0 : 1;
    if (command == L"caret") {
        std::printf("%d\n", target.selection_end(control));
        return 0;
    }
    if (command == L"text") {
        print_line(target.text(control));
        return 0;
    }
    std::fprintf(stderr, "zaptor_target_ctl: unknown command or wrong arguments\n");
    return 2;
}
