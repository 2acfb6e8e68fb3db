#pragma once

#include <string>

namespace Test_support {

// A private copy of a host installation in a fresh temp folder:
// vqhost.exe, and plugins\ with zaptor.dll and zaptor.lng from the build.
// Running the real host in its own process keeps each test's process-wide
// state (trace token, current directory, databases) apart.
struct Vqhost_install {
    std::wstring dir;     // with no trailing backslash
    std::wstring plugins; // dir + "\\plugins"
};

Vqhost_install make_vqhost_install(const std::wstring& name);

struct Script_result {
    unsigned long exit_code = 0;
    std::string output; // stdout and stderr, as printed
};

// Runs `vqhost.exe --script -` in `dir` with `script` on standard input.
Script_result run_vqhost_script(const Vqhost_install& install, const std::string& script,
                                unsigned long timeout_ms = 120000);

// True when `output` holds `line` as one whole line.
bool has_line(const std::string& output, const std::string& line);
// How often `needle` stands in `text`.
std::size_t count_of(const std::string& text, const std::string& needle);

} // namespace Test_support
