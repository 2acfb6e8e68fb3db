// Display texts of key combinations, in the chosen language and for the
// keyboard layout that the user types with.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>

// The text of a 16-bit key code (virtual key in the low byte, Shift, Control
// and Alt in bits 8 to 10). Named keys come from a fixed table; other keys
// are named by the character they type on the focused window's layout.
// Empty when the key types nothing printable.
std::wstring key_display_name(std::uint16_t code);

// The text a binding is shown with: the key's display text, preceded by
// the activation key and " + " unless the binding is direct.
std::wstring combination_text(std::uint32_t key_code, const std::wstring& activation_name);

// The layout of the thread that owns the caret (or the foreground window);
// the calling thread's layout when that cannot be read.
HKL focus_keyboard_layout();

// The English name of a virtual key from the fixed table (null when the key
// has none), before translation.
const wchar_t* fixed_key_name(std::uint8_t virtual_key);
