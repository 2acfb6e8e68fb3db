// Typing data: the string handed to the host for typing. Code units U+0001 to
// U+0005 start control elements; every other code unit is a character.
#pragma once

#include <cstdint>
#include <string>

namespace Typing_data {

constexpr wchar_t key_press = 0x0001;
constexpr wchar_t key_down = 0x0002;
constexpr wchar_t key_up = 0x0003;
constexpr wchar_t pause = 0x0004;
constexpr wchar_t record = 0x0005;

// A key element: the marker and two lowercase hex digits of the virtual key.
std::wstring key_element(wchar_t marker, std::uint8_t virtual_key);
// A pause: the milliseconds in lowercase hex, right-aligned to width 4.
std::wstring pause_element(std::uint16_t milliseconds);
std::wstring link_record(const std::wstring& first, const std::wstring& second);
std::wstring image_record(const std::wstring& reference);

} // namespace Typing_data
