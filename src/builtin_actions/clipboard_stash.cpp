#include "builtin_actions/clipboard_stash.h"

#include "output/clipboard_backup_scope.h"
#include "text/textprovider.h"
#include "trace/trace.h"

#include <map>
#include <mutex>

namespace Clipboard_stash {
namespace {

// Set and paste may run at once on different worker tasks: a slot is only
// ever read or replaced whole, under this lock, never while the clipboard
// is being worked on.
std::mutex stash_lock;
std::map<std::uint8_t, std::shared_ptr<const Clipboard_snapshot>> stash;

} // namespace

std::shared_ptr<const Clipboard_snapshot> slot(std::uint8_t key) {
    std::lock_guard<std::mutex> lock(stash_lock);
    auto& found = stash[key];
    if (!found)
        found = std::make_shared<const Clipboard_snapshot>();
    return found;
}

void store(std::uint8_t key, Clipboard_snapshot data) {
    auto kept = std::make_shared<const Clipboard_snapshot>(std::move(data));
    std::lock_guard<std::mutex> lock(stash_lock);
    stash[key] = std::move(kept);
}

void clear() {
    std::lock_guard<std::mutex> lock(stash_lock);
    stash.clear();
}

SetStashAction::SetStashAction(Interaction_if* host)
    : FilterBaseKeyAction(L"zp_clipboardstash_set", host) {}

int SetStashAction::process_deactivate() {
    Trace::marker("Clipboard_stash::SetStashAction::process_deactivate");
    auto key = static_cast<std::uint8_t>(key_code() & 0xFF);
    Clipboard_backup_scope scope(clipboard_, "Clipboard_stash::SetStashAction::process_deactivate");
    if (!scope)
        return 0;
    // A failed copy reads as an empty map and empties the slot.
    store(key, clipboard_.read_selection_formats());
    return 0;
}

const wchar_t* SetStashAction::name() {
    return text_provider().get_string(L"Clipboard stash - Set");
}

const wchar_t* SetStashAction::description() {
    return text_provider().get_string(
        L"Stashes the currently selected text for the given base-key. E.g. VQ-Key+shift+a will "
        L"store the selection in slot a. This can be pasted by the 'clipboard stash paste' "
        L"operation that uses the same base key, for example VQ-key+a.");
}

PasteStashAction::PasteStashAction(Interaction_if* host)
    : FilterBaseKeyAction(L"zp_clipboardstash_paste", host) {}

int PasteStashAction::process_deactivate() {
    Trace::marker("Clipboard_stash::PasteStashAction::process_deactivate");
    auto key = static_cast<std::uint8_t>(key_code() & 0xFF);
    // The slot travels through the clipboard like any other pasted text; the
    // user's own clipboard comes back once the target has taken the paste.
    const std::shared_ptr<const Clipboard_snapshot> data = slot(key);
    Clipboard_backup_scope scope(clipboard_,
                                 "Clipboard_stash::PasteStashAction::process_deactivate");
    if (scope)
        clipboard_.paste(*data);
    return 0;
}

const wchar_t* PasteStashAction::name() {
    return text_provider().get_string(L"Clipboard stash - Paste");
}

const wchar_t* PasteStashAction::description() {
    return text_provider().get_string(
        L"Writes the value stashed on the slot of the base key of the combination. E.g. if you "
        L"have a 'clipboard stash set' operation set to VQ-key+shift+a you can paste the stashed "
        L"contents by setting this action to VQ-key+a.");
}

} // namespace Clipboard_stash
