#pragma once

#include <string>

// UTF-8 <-> UTF-16. Invalid input never throws: bad sequences and lone
// surrogates become U+FFFD, so that any text from a user, a file or the
// clipboard converts.
std::string utf16_to_utf8(const std::wstring& text);
std::string utf16_to_utf8(const wchar_t* text, std::size_t length);
std::wstring utf8_to_utf16(const std::string& text);
