// Copying database files for backup and restore.
#pragma once

#include <string>

// Copies `from` over `to` (overwriting it) through a temporary file beside
// `to` that is renamed over it, so that `to` is always either the old file or
// the whole new one. On failure returns false and puts a readable reason,
// naming both paths, into `error`. Copying a file onto itself fails instead
// of truncating it; so does replacing a read-only file.
//
// Not std::filesystem::copy_file: libstdc++ on Windows takes any two
// existing files for the same one (no inode numbers there) and refuses
// to overwrite.
bool copy_file_over(const std::wstring& from, const std::wstring& to, std::string& error);

// A new, empty directory of its own under the user's temporary folder, for
// files kept only during one operation. Removed with everything in it when
// the object goes. The path is empty when no directory could be made.
class Scratch_directory {
public:
    Scratch_directory();
    ~Scratch_directory();
    Scratch_directory(const Scratch_directory&) = delete;
    Scratch_directory& operator=(const Scratch_directory&) = delete;
    const std::wstring& path() const { return path_; }

private:
    std::wstring path_;
};
