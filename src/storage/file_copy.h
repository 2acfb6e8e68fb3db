// Copying database files for backup and restore.
#pragma once

#include <string>

// Copies `from` over `to` (overwriting it) through a temporary file beside
// `to` that is renamed over it, so that `to` is always either the old file or
// the whole new one. On failure returns false and puts a readable reason,
// naming both paths, into `error`. Copying a file onto itself fails instead
// of truncating it.
//
// Not std::filesystem::copy_file: libstdc++ on Windows takes any two
// existing files for the same one (no inode numbers there) and refuses
// to overwrite.
bool copy_file_over(const std::wstring& from, const std::wstring& to, std::string& error);
