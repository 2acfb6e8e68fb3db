#include "host/key_value_file.h"

#include "contract/text_convert.h"
#include "trace/trace.h"

#include <windows.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>

namespace {

const char header[] = "# vqhost key-value store";

std::string escape(const std::wstring& text) {
    std::string out;
    for (char c : utf16_to_utf8(text)) {
        switch (c) {
        case '\\':
            out += "\\\\";
            break;
        case '\t':
            out += "\\t";
            break;
        case '\n':
            out += "\\n";
            break;
        case '\r':
            out += "\\r";
            break;
        default:
            out += c;
        }
    }
    return out;
}

bool unescape(const std::string& text, std::wstring& out) {
    std::string raw;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '\\') {
            raw += text[i];
            continue;
        }
        if (++i == text.size())
            return false;
        switch (text[i]) {
        case '\\':
            raw += '\\';
            break;
        case 't':
            raw += '\t';
            break;
        case 'n':
            raw += '\n';
            break;
        case 'r':
            raw += '\r';
            break;
        default:
            return false;
        }
    }
    out = utf8_to_utf16(raw);
    return true;
}

} // namespace

namespace Key_value_file {

std::string format_line(const std::wstring& key, const std::wstring& value) {
    return escape(key) + "\t" + escape(value);
}

bool parse_line(const std::string& line, std::wstring& key, std::wstring& value) {
    const std::size_t tab = line.find('\t');
    if (tab == std::string::npos || tab == 0)
        return false;
    return unescape(line.substr(0, tab), key) && unescape(line.substr(tab + 1), value) &&
           !key.empty();
}

bool load(const std::wstring& path, Entries& entries) {
    if (GetFileAttributesW(path.c_str()) == INVALID_FILE_ATTRIBUTES)
        return true;
    std::ifstream in(std::filesystem::path(path), std::ios::binary);
    if (!in) {
        Trace::error("Key_value_file::load") << "cannot read " << path;
        return false;
    }
    std::string line;
    unsigned int bad = 0;
    unsigned int number = 0;
    while (std::getline(in, line)) {
        ++number;
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        if (line.empty() || line[0] == '#')
            continue;
        std::wstring key, value;
        if (!parse_line(line, key, value)) {
            Trace::error("Key_value_file::load")
                << path << " line " << number << " is no KEY<tab>VALUE entry; skipped";
            ++bad;
            continue;
        }
        entries[key] = value;
    }
    if (bad) {
        const std::wstring aside = path + L".corrupt";
        if (CopyFileW(path.c_str(), aside.c_str(), FALSE))
            Trace::error("Key_value_file::load") << "the unreadable file was kept as " << aside;
        else
            Trace::error("Key_value_file::load")
                << "cannot keep a copy as " << aside << " (error "
                << static_cast<std::uint32_t>(GetLastError()) << ")";
    }
    return true;
}

bool save(const std::wstring& path, const Entries& entries) {
    const std::wstring temporary = path + L".new";
    {
        std::ofstream out(std::filesystem::path(temporary), std::ios::binary | std::ios::trunc);
        out << header << "\n";
        for (const auto& [key, value] : entries)
            out << format_line(key, value) << "\n";
        out.flush();
        if (!out) {
            Trace::error("Key_value_file::save") << "cannot write " << temporary;
            out.close();
            DeleteFileW(temporary.c_str());
            return false;
        }
    }
    if (!MoveFileExW(temporary.c_str(), path.c_str(),
                     MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
        Trace::error("Key_value_file::save") << "cannot replace " << path << " (error "
                                             << static_cast<std::uint32_t>(GetLastError()) << ")";
        DeleteFileW(temporary.c_str());
        return false;
    }
    return true;
}

} // namespace Key_value_file
