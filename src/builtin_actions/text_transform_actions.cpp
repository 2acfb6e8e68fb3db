#include "builtin_actions/text_transform_actions.h"

#include "builtin_actions/text_codecs.h"
#include "output/clipboard_backup_scope.h"
#include "text/textprovider.h"
#include "trace/trace.h"

#include <stdexcept>

Selection_transform_action::Selection_transform_action(std::wstring ident, Interaction_if* host)
    : FilterBaseKeyAction(std::move(ident), host) {}

MakeUppercaseAction::MakeUppercaseAction(Interaction_if* host)
    : Selection_transform_action(L"zp_uppercase", host) {}

int MakeUppercaseAction::process_deactivate() {
    Trace::marker("MakeUppercaseAction::process_deactivate");
    Clipboard_backup_scope scope(clipboard(), "MakeUppercaseAction::process_deactivate");
    if (!scope)
        return 0;
    std::wstring text = clipboard().read_selection_text();
    // Nothing copied: pasting nothing would only disturb the application.
    if (!text.empty())
        clipboard().paste_text(to_upper_case(std::move(text)));
    return 0;
}

const wchar_t* MakeUppercaseAction::name() {
    return text_provider().get_string(L"To upper case");
}

const wchar_t* MakeUppercaseAction::description() {
    return text_provider().get_string(L"Converts the selected text to all upper case letters.");
}

MakeLowercaseAction::MakeLowercaseAction(Interaction_if* host)
    : Selection_transform_action(L"zp_lowercase", host) {}

int MakeLowercaseAction::process_deactivate() {
    Trace::marker("MakeLowercaseAction::process_deactivate");
    Clipboard_backup_scope scope(clipboard(), "MakeLowercaseAction::process_deactivate");
    if (!scope)
        return 0;
    std::wstring text = clipboard().read_selection_text();
    // Nothing copied: pasting nothing would only disturb the application.
    if (!text.empty())
        clipboard().paste_text(to_lower_case(std::move(text)));
    return 0;
}

const wchar_t* MakeLowercaseAction::name() {
    return text_provider().get_string(L"To lower case");
}

const wchar_t* MakeLowercaseAction::description() {
    return text_provider().get_string(L"Converts the selected text to all lower case letters.");
}

Base64DecodeAction::Base64DecodeAction(Interaction_if* host)
    : Selection_transform_action(L"zp_base64_decode", host) {}

int Base64DecodeAction::process_deactivate() {
    Trace::marker("Base64DecodeAction::process_deactivate");
    Clipboard_backup_scope scope(clipboard(), "Base64DecodeAction::process_deactivate");
    if (!scope)
        return 0;
    std::wstring text = clipboard().read_selection_text();
    if (text.empty())
        return 0;
    try {
        auto bytes = base64_decode(text.data(), text.size());
        clipboard().paste_text(utf8_to_utf16(bytes.data(), bytes.size()));
    } catch (const std::exception&) {
        // Not base64 (or not decodable): the selection stays as it is and
        // the scope gives the clipboard back. Deliberately silent.
    }
    return 0;
}

const wchar_t* Base64DecodeAction::name() {
    return text_provider().get_string(L"Base64 decode");
}

const wchar_t* Base64DecodeAction::description() {
    return text_provider().get_string(L"Decodes a base64 encoded string.");
}
