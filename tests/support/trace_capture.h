// Reads back what the code under test wrote to the trace file.
#pragma once

#include "trace/trace.h"

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

class Trace_capture {
public:
    // Starts a fresh, truncated trace file at debug level.
    Trace_capture() { Trace::set_level(Trace::debug_level); }

    // Error lines written under `function`, without time stamp and kind.
    std::vector<std::string> errors(const std::string& function) const {
        return lines_after("ERR\t[" + function + "]  ");
    }
    std::size_t error_count() const { return lines_after("\tERR\t[").size(); }

private:
    std::vector<std::string> lines_after(const std::string& head) const {
        Trace::get()->flush();
        std::ifstream in(std::filesystem::path(Trace::trace_file_path()), std::ios::binary);
        std::vector<std::string> result;
        for (std::string line; std::getline(in, line);)
            if (std::size_t at = line.find(head); at != std::string::npos)
                result.push_back(line.substr(at + head.size()));
        return result;
    }
};
