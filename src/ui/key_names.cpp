#include "ui/key_names.h"

#include "actions/key_code.h"
#include "text/textprovider.h"

#include <array>

namespace {

struct Named_key {
    std::uint8_t virtual_key;
    const wchar_t* english;
};

constexpr Named_key named_keys[] = {
    {8, translatable(L"Backspace")},
    {9, translatable(L"Tab Key")},
    {13, translatable(L"Return")},
    {16, translatable(L"Shift")},
    {17, translatable(L"Control")},
    {18, translatable(L"Alt")},
    {19, translatable(L"Pause Key")},
    {20, translatable(L"Caps Lock")},
    {27, translatable(L"Escape")},
    {32, translatable(L"Space")},
    {33, translatable(L"Page up")},
    {34, translatable(L"Page down")},
    {35, translatable(L"End")},
    {36, translatable(L"Pos1")},
    {37, translatable(L"Arrow key left")},
    {38, translatable(L"Arrow key up")},
    {39, translatable(L"Arrow key right")},
    {40, translatable(L"Arrow key down")},
    {44, translatable(L"Print Key")},
    {45, translatable(L"Insert")},
    {46, translatable(L"Delete Key")}, // not "Delete": that is the button
    {91, translatable(L"Left Windows key")},
    {92, translatable(L"Right Windows key")},
    {93, translatable(L"Menue key")},
    {95, translatable(L"Sleep")},
    {96, translatable(L"Num 0")},
    {97, translatable(L"Num 1")},
    {98, translatable(L"Num 2")},
    {99, translatable(L"Num 3")},
    {100, translatable(L"Num 4")},
    {101, translatable(L"Num 5")},
    {102, translatable(L"Num 6")},
    {103, translatable(L"Num 7")},
    {104, translatable(L"Num 8")},
    {105, translatable(L"Num 9")},
    {106, translatable(L"Num *")},
    {107, translatable(L"Num +")},
    {108, translatable(L"Num Enter")},
    {109, translatable(L"Num -")},
    {110, translatable(L"Num ,")},
    {111, translatable(L"Num /")},
    {144, translatable(L"Num Lock")},
    {145, translatable(L"Scroll Key")},
    {160, translatable(L"Left Shift")},
    {161, translatable(L"Right Shift")},
    {162, translatable(L"Left Control")},
    {163, translatable(L"Right Control")},
    {164, translatable(L"Left Alt")},
    {165, translatable(L"Right Alt")},
    {167, translatable(L"Browser forward")},
    {168, translatable(L"Browser refresh")},
    {169, translatable(L"Browser stop")},
    {170, translatable(L"Browser search")},
    {171, translatable(L"Browser favorites")},
    {172, translatable(L"Browser home")},
    {173, translatable(L"Mute")},
    {174, translatable(L"Volume -")},
    {175, translatable(L"Volume +")},
    {176, translatable(L"Next track")},
    {177, translatable(L"Previous track")},
    {178, translatable(L"Stop")},
    {179, translatable(L"Play")},
    {180, translatable(L"Mail")},
    {181, translatable(L"Select Media")},
    {182, translatable(L"Start App1")},
    {183, translatable(L"Start App2")},
};

constexpr std::uint8_t first_function_key = 112; // F1
constexpr std::uint8_t last_function_key = 135;  // F24
constexpr const wchar_t* separator = L" + ";
// Control and Alt together are what AltGr sends.
constexpr std::uint32_t alt_gr = Key_code::control | Key_code::alt;
// In a keyboard state array: the key is down.
constexpr BYTE key_down = 0x80;

// Translating Space with nothing held flushes a pending dead key, which
// would otherwise combine with the next key the user types.
void clear_dead_key() {
    BYTE empty_state[256] = {};
    wchar_t buffer[8];
    ToUnicode(VK_SPACE, MapVirtualKeyW(VK_SPACE, MAPVK_VK_TO_VSC), empty_state, buffer, 8, 0);
}

} // namespace

const wchar_t* fixed_key_name(std::uint8_t virtual_key) {
    for (const Named_key& key : named_keys)
        if (key.virtual_key == virtual_key)
            return key.english;
    return nullptr;
}

HKL focus_keyboard_layout() {
    GUITHREADINFO info{};
    info.cbSize = sizeof(info);
    if (!GetGUIThreadInfo(0, &info))
        return GetKeyboardLayout(0);
    HWND window = info.hwndCaret ? info.hwndCaret : GetForegroundWindow();
    DWORD thread = window ? GetWindowThreadProcessId(window, nullptr) : 0;
    return GetKeyboardLayout(thread);
}

std::wstring key_display_name(std::uint16_t code) {
    Textprovider& texts = text_provider();
    std::wstring prefix;
    if (code & Key_code::shift)
        prefix.append(texts.get_string(L"Shift")).append(separator);
    if ((code & alt_gr) == alt_gr) {
        prefix.append(texts.get_string(L"AltGr")).append(separator);
    } else {
        if (code & Key_code::control)
            prefix.append(texts.get_string(L"Control")).append(separator);
        if (code & Key_code::alt)
            prefix.append(texts.get_string(L"Alt")).append(separator);
    }

    const auto virtual_key = static_cast<std::uint8_t>(Key_code::virtual_key(code));
    if (virtual_key >= first_function_key && virtual_key <= last_function_key)
        return prefix + L"F" + std::to_wstring(virtual_key - first_function_key + 1);
    if (const wchar_t* english = fixed_key_name(virtual_key))
        return prefix + texts.get_string(english);

    BYTE state[256] = {};
    state[virtual_key] = key_down;
    clear_dead_key();
    wchar_t produced[8] = {};
    UINT scan = MapVirtualKeyW(virtual_key, MAPVK_VK_TO_VSC);
    int count = ToUnicodeEx(virtual_key, scan, state, produced, 8, 0, focus_keyboard_layout());
    if (count < 0) {
        // A dead key: Space after it gives the accent's own spacing character.
        count =
            ToUnicode(VK_SPACE, MapVirtualKeyW(VK_SPACE, MAPVK_VK_TO_VSC), state, produced, 8, 0);
    }
    std::wstring result;
    if (count > 0 && produced[0] >= 0x20) {
        result = prefix + produced[0];
        if (code & ~Key_code::virtual_key_mask) {
            if (code & Key_code::shift)
                state[VK_SHIFT] = state[VK_LSHIFT] = key_down;
            if (code & Key_code::control)
                state[VK_CONTROL] = state[VK_LCONTROL] = key_down;
            if (code & Key_code::alt)
                state[VK_MENU] = state[VK_LMENU] = key_down;
            wchar_t hint[8] = {};
            int hint_count = ToUnicode(virtual_key, scan, state, hint, 8, 0);
            // Control characters (Control+A gives U+0001) would show as boxes.
            if (hint_count > 0 && hint[0] >= 0x20)
                result.append(L"    ( '").append(hint, hint_count).append(L"' )");
        }
    }
    clear_dead_key();
    return result;
}

std::wstring combination_text(std::uint32_t key_code, const std::wstring& activation_name) {
    std::wstring text = key_display_name(static_cast<std::uint16_t>(key_code & Key_code::low_mask));
    if (!Key_code::is_direct(key_code))
        text = activation_name + separator + text;
    return text;
}
