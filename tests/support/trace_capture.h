// Reads back what the code under test wrote to the trace file.
#pragma once

#include "trace/trace.h"

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

class Trace_capture {
public:
    // Starts a fresh, truncated trace file at debug level.
    Trace_capture() { Trace::set_level(Trace::debug_level); }

    std::vector<std::string> lines() const {
        Trace::get()->flush();
        std::ifstream in(std::filesystem::path(Trace::trace_file_path()), std::ios::binary);
        std::vector<std::string> result;
        for (std::string line; std::getline(in, line);)
            result.push_back(line);
        return result;
    }
    // Error (info) lines written under `function`, without time stamp and kind.
    std::vector<std::string> errors(const std::string& function) const {
        return of_kind("ERR\t[" + function + "]  ");
    }
    std::vector<std::string> infos(const std::string& function) const {
        return of_kind("INF\t[" + function + "]  ");
    }
    std::size_t error_count() const {
        auto all = lines();
        return static_cast<std::size_t>(std::count_if(all.begin(), all.end(), [](const auto& l) {
            return l.find("\tERR\t[") != std::string::npos;
        }));
    }

private:
    std::vector<std::string> of_kind(const std::string& head) const {
        std::vector<std::string> result;
        for (const std::string& line : lines())
            if (std::size_t at = line.find(head); at != std::string::npos)
                result.push_back(line.substr(at + head.size()));
        return result;
    }
};
