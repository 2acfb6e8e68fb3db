// vqhost.exe: the reference host.
//   vqhost.exe [--activation VK] [--tray-item KEY]... [--language LANG] [--root DIR]
//              [--print-requests]
//       runs as a desktop program (see desktop_host.h); --tray-item triggers
//       that tray item once after start-up; --root replaces the folder of
//       vqhost.exe as the folder holding plugins\ and the key-value store;
//       --print-requests prints "> NAME KEY=VALUE ..." for every request a
//       plug-in sends, when it arrives (as the script console does)
//   vqhost.exe --remote-tray-item KEY   asks the running desktop host to
//       trigger a tray item, as the tray menu would
//   vqhost.exe --remote-exit            closes the running desktop host
//   vqhost.exe --script FILE            runs the script in FILE
//   vqhost.exe --script -               runs lines from standard input as they come
// As a desktop program it prints "vqhost: started with N plug-ins" once its
// keyboard hook is in place.
// Exit status: 0 when every line ran (or the desktop host ended), 1 when a
// line failed, 2 for a usage error, 3 when no desktop host runs.
#include "contract/text_convert.h"
#include "contract/unique_handle.h"
#include "host/desktop_host.h"
#include "host/reference_host.h"
#include "host/script_console.h"
#include "host/value_format.h"

#include <fcntl.h>
#include <io.h>
#include <shellapi.h>

#include <cstdio>
#include <exception>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

namespace {

// Any thread may print (requests come from plug-in workers too): one fwrite
// per line keeps lines whole, as the stream locks each call.
void write_line(const std::string& line) {
    const std::string whole = line + "\n";
    std::fwrite(whole.data(), 1, whole.size(), stdout);
    std::fflush(stdout);
}

int usage() {
    std::fputs("usage: vqhost.exe [--activation VK] [--tray-item KEY]... [--language LANG] "
               "[--root DIR] [--print-requests]\n"
               "       vqhost.exe --remote-tray-item KEY | --remote-exit\n"
               "       vqhost.exe --script FILE   (FILE - reads standard input)\n",
               stderr);
    return 2;
}

int run_script(const std::wstring& script) {
    Reference_host host;
    Script_console console(host, write_line);
    if (script == L"-") {
        std::string line;
        while (std::getline(std::cin, line))
            if (!console.run_line(line))
                return 1;
        return 0;
    }
    std::ifstream in(std::filesystem::path(script), std::ios::binary);
    if (!in) {
        std::fprintf(stderr, "vqhost: cannot read script %s\n", utf16_to_utf8(script).c_str());
        return 2;
    }
    std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    return console.run(text);
}

int run_desktop(const Desktop_options& options, bool print_requests) {
    // Started from Explorer, the console was made for us alone: let it go.
    DWORD processes[2];
    if (GetConsoleProcessList(processes, 2) == 1)
        FreeConsole();
    Desktop_host host(options);
    if (print_requests)
        host.host().set_request_observer([](const std::wstring& name, Parameters* list) {
            write_line(Script_console::format_request(name, list));
        });
    std::string error;
    if (!host.start(error)) {
        std::fprintf(stderr, "vqhost: %s\n", error.c_str());
        return 2;
    }
    // Scripts that start the host wait for this line: the hook is in place.
    std::printf("vqhost: started with %u plug-ins\n", static_cast<unsigned>(host.plugins().size()));
    std::fflush(stdout);
    return host.run();
}

int remote_exit() {
    HWND window = FindWindowW(Desktop_host::window_class, nullptr);
    if (!window) {
        std::fputs("vqhost: no vqhost desktop host is running\n", stderr);
        return 3;
    }
    PostMessageW(window, WM_CLOSE, 0, 0);
    return 0;
}

int run(const std::vector<std::wstring>& args) {
    if (args.size() == 2 && args[0] == L"--script")
        return run_script(args[1]);
    if (args.size() == 2 && args[0] == L"--remote-tray-item") {
        std::string error;
        if (Desktop_host::send_to_running(args[1], error))
            return 0;
        std::fprintf(stderr, "vqhost: %s\n", error.c_str());
        return 3;
    }
    if (args.size() == 1 && args[0] == L"--remote-exit")
        return remote_exit();
    Desktop_options options;
    bool print_requests = false;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::wstring& option = args[i];
        if (option == L"--print-requests") {
            print_requests = true;
            continue;
        }
        if (i + 1 >= args.size())
            return usage();
        const std::wstring& value = args[++i];
        if (option == L"--activation") {
            unsigned long long vk = 0;
            std::string error;
            if (!Value_format::parse_number(utf16_to_utf8(value), 0xFE, vk, error) || vk == 0) {
                std::fprintf(stderr, "vqhost: --activation needs a virtual-key code from 1 to "
                                     "0xFE, e.g. 0x14\n");
                return 2;
            }
            options.activation_key = static_cast<std::uint32_t>(vk);
        } else if (option == L"--tray-item" && !value.empty()) {
            options.tray_items.push_back(value);
        } else if (option == L"--language") {
            options.language = value;
        } else if (option == L"--root" && !value.empty()) {
            options.root = value;
        } else {
            return usage();
        }
    }
    return run_desktop(options, print_requests);
}

} // namespace

int main() {
    // Output lines end in "\n" alone, whatever reads them.
    _setmode(_fileno(stdout), _O_BINARY);
    _setmode(_fileno(stdin), _O_BINARY);
    int argc = 0;
    Unique_local_memory<wchar_t*> argv(CommandLineToArgvW(GetCommandLineW(), &argc));
    if (!argv)
        return usage();
    std::vector<std::wstring> args(argv.get() + 1, argv.get() + argc);
    try {
        return run(args);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "vqhost: %s\n", e.what());
        return 2;
    }
}
