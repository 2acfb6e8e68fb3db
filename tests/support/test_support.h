#pragma once

#include <string>

namespace Test_support {

// Folder of the running test executable, with a trailing backslash.
std::wstring exe_directory();
// A fresh, empty folder under %TEMP% for one test.
std::wstring make_temp_directory(const std::wstring& prefix);
void remove_tree(const std::wstring& path);
bool file_exists(const std::wstring& path);
std::string read_file(const std::wstring& path);
bool write_file(const std::wstring& path, const std::string& bytes);
// `count` bytes of noise, the same for the same seed.
std::string random_bytes(std::size_t count, unsigned seed);

} // namespace Test_support
