#pragma once

#include "actions/filter_base_key_action.h"
#include "output/clipboard_handler.h"

#include <cstdint>

// Named clipboard slots, one per base key: Set stores the selection (all four
// text formats) in the slot of its combination's base key, Paste pastes it,
// so VQ-Key+Shift+A and VQ-Key+A share slot A. Slots live in memory only,
// from load to unload of the plug-in.
namespace Clipboard_stash {

// A copy of a slot (creating an empty one when missing).
Clipboard_data slot(std::uint8_t key);
void store(std::uint8_t key, Clipboard_data data);
// Forgets every slot (tests).
void clear();

class SetStashAction final : public FilterBaseKeyAction {
public:
    explicit SetStashAction(Interaction_if* host);
    int process_deactivate() override;
    const wchar_t* name() override;
    const wchar_t* description() override;

private:
    Clipboard_handler clipboard_;
};

class PasteStashAction final : public FilterBaseKeyAction {
public:
    explicit PasteStashAction(Interaction_if* host);
    int process_deactivate() override;
    const wchar_t* name() override;
    const wchar_t* description() override;

private:
    Clipboard_handler clipboard_;
};

} // namespace Clipboard_stash
