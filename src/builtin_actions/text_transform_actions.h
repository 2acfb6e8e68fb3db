#pragma once

#include "actions/filter_base_key_action.h"
#include "output/clipboard_handler.h"

// Selection transforms: on release of their combination they replace the
// selected text in the foreground application by a transformed copy, with
// the user's clipboard saved before and restored after.
class Selection_transform_action : public FilterBaseKeyAction {
public:
    Selection_transform_action(std::wstring ident, Interaction_if* host);

protected:
    Clipboard_handler& clipboard() { return clipboard_; }

private:
    Clipboard_handler clipboard_;
};

class MakeUppercaseAction final : public Selection_transform_action {
public:
    explicit MakeUppercaseAction(Interaction_if* host);
    int process_deactivate() override;
    const wchar_t* name() override;
    const wchar_t* description() override;
};

class MakeLowercaseAction final : public Selection_transform_action {
public:
    explicit MakeLowercaseAction(Interaction_if* host);
    int process_deactivate() override;
    const wchar_t* name() override;
    const wchar_t* description() override;
};

class Base64DecodeAction final : public Selection_transform_action {
public:
    explicit Base64DecodeAction(Interaction_if* host);
    int process_deactivate() override;
    const wchar_t* name() override;
    const wchar_t* description() override;
};
