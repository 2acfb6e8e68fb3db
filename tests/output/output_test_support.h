// The real clipboard, touched directly (not through the code under test).
#pragma once

#include <windows.h>

#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <vector>

namespace Output_test {

// Pumps messages until the condition (checked every interval) holds or time is up.
bool pump_until(const std::function<bool()>& condition, std::uint32_t timeout_ms,
                std::uint32_t interval_ms = 1);

bool set_clipboard(const std::map<std::uint32_t, std::vector<std::uint8_t>>& formats);
bool set_clipboard_text(const std::wstring& text);
// Bytes of a format (whole block), or false if the format is absent.
bool clipboard_bytes(std::uint32_t format, std::vector<std::uint8_t>& bytes);
std::wstring clipboard_text();
std::vector<std::uint8_t> utf16_bytes(const std::wstring& text); // with its NUL

} // namespace Output_test
