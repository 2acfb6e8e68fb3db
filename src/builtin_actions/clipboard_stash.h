#pragma once

#include "actions/filter_base_key_action.h"
#include "output/clipboard_handler.h"

#include <cstdint>
#include <memory>

// Named clipboard slots, one per base key: Set stores the selection (every
// format the application copied: a picture pastes back as a picture) in the slot of its
// combination's base key, Paste pastes it, so VQ-Key+Shift+A and VQ-Key+A share slot A. Slots live
// in memory only, from load to unload of the plug-in.
namespace Clipboard_stash {

// A slot (never null; empty when missing). Slots are replaced whole, never
// changed, so a slot being pasted stays valid while another set runs.
std::shared_ptr<const Clipboard_snapshot> slot(std::uint8_t key);
void store(std::uint8_t key, Clipboard_snapshot data);
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
