// vqhost.exe: the reference host as a console program.
//   vqhost.exe --script FILE   runs the script in FILE
//   vqhost.exe --script -      runs lines from standard input as they come
// Exit status: 0 when every line ran, 1 when a line failed, 2 for a usage error.
#include "core/text_convert.h"
#include "host/reference_host.h"
#include "host/script_console.h"

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

struct Local_free {
    void operator()(wchar_t** argv) const { LocalFree(argv); }
};

void write_line(const std::string& line) {
    std::fwrite(line.data(), 1, line.size(), stdout);
    std::fputc('\n', stdout);
    std::fflush(stdout);
}

int usage() {
    std::fputs("usage: vqhost.exe --script FILE   (FILE - reads standard input)\n", stderr);
    return 2;
}

int run(const std::wstring& script) {
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

} // namespace

int main() {
    // Output lines end in "\n" alone, whatever reads them.
    _setmode(_fileno(stdout), _O_BINARY);
    _setmode(_fileno(stdin), _O_BINARY);
    int argc = 0;
    std::unique_ptr<wchar_t*, Local_free> argv(CommandLineToArgvW(GetCommandLineW(), &argc));
    if (!argv || argc != 3 || std::wstring(argv.get()[1]) != L"--script")
        return usage();
    try {
        return run(argv.get()[2]);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "vqhost: %s\n", e.what());
        return 2;
    }
}
