// Composing a key combination from a prefix list (activation key and
// modifiers) and a key list, and the "Select key combination" dialog.
#pragma once

#include "actions/key_code.h"
#include "contract/host_interface.h"

#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

struct Choice_entry {
    std::wstring text;
    std::uint32_t code;
};

// The virtual key of the host's activation key; 20 (Caps Lock) without an
// answer or with one that is no virtual key (0 or above 255).
std::uint32_t activation_key(Interaction_if* host);
// The display name of that key, as the prefixes and combinations show it.
std::wstring activation_key_name(Interaction_if* host);

// The 15 prefixes, in their fixed order. `activation_name` is the display
// text of the activation key.
std::vector<Choice_entry> prefix_choices(const std::wstring& activation_name);
// Index of the prefix whose code equals `current` outside the low byte; 1
// (the blank entry, a direct binding) when none does.
int preselected_prefix(const std::vector<Choice_entry>& prefixes, std::uint32_t current);

// The codes offered as keys on `layout`, before names are looked up;
// 0xFFFFFFFF for a letter or digit the layout cannot type.
std::vector<std::uint32_t> candidate_key_codes(HKL layout);
// The candidates that have a display text.
std::vector<Choice_entry> key_choices(HKL layout);
// Index of the last key with the low byte of `current`; 0 when none has.
int preselected_key(const std::vector<Choice_entry>& keys, std::uint32_t current);

// Fill a drop-down list with the entries (code as item data) and select one.
void fill_choice_list(HWND combo, const std::vector<Choice_entry>& entries, int selected);
// Item data of the prefix selection OR item data of the key selection.
std::uint32_t chosen_key_code(HWND prefix_list, HWND key_list);

// Handed to the "Select key combination" dialog.
struct Key_choice {
    Interaction_if* host = nullptr;
    std::uint32_t current = Key_code::none; // Key_code::none: unbound
    std::uint32_t chosen = Key_code::none;  // written on Apply
};

namespace Select_key_result {
enum : int { apply = IDOK, unbind = 1021, cancel = IDCANCEL };
}

// Runs the dialog modally; answers Select_key_result (or -1 when the dialog
// could not be created).
INT_PTR run_select_key_combination(HWND owner, Key_choice& choice);
