// zaptor_target_ctl.exe: drives a running zaptor_target.exe from a script.
//   zaptor_target_ctl TITLE set-text edit|rich TEXT
//   zaptor_target_ctl TITLE select edit|rich FIRST SECOND     (-1: to the end)
//   zaptor_target_ctl TITLE activate
//   zaptor_target_ctl TITLE text edit|rich                    prints the text (UTF-8)
//   zaptor_target_ctl TITLE caret edit|rich                   prints the caret position
//   zaptor_target_ctl TITLE clipboard                         prints the clipboard's text
//   zaptor_target_ctl TITLE set-clipboard TEXT                puts TEXT on the clipboard
//   zaptor_target_ctl TITLE clipboard-formats                 prints one format a line: id name
//   zaptor_target_ctl TITLE quit
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

bool parse_control(const std::wstring& word, Target_app::Control& control) {
    if (word == L"edit")
        control = Target_app::Control::edit;
    else if (word == L"rich")
        control = Target_app::Control::rich_edit;
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
        std::fprintf(stderr, "zaptor_target_ctl: expected edit or rich\n");
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
