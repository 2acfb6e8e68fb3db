// The selection actions end to end: a real application in its own process,
// the real clipboard and SendInput, the actions run as the host runs them
// (a message named by the ident, on release of the combination).
#include "builtin_actions/clipboard_stash.h"
#include "builtin_actions/text_transform_actions.h"
#include "contract/parameter_values.h"
#include "host/reference_host.h"
#include "interpreters/typing_environment.h"
#include "output_test_support.h"
#include "target_app_test.h"
#include "target_client.h"

#include <gtest/gtest.h>

using namespace Output_test;
using Control = Target_app::Control;

namespace {

class SelectionActions : public Target_app_test {
protected:
    void SetUp() override {
        Clipboard_stash::clear();
        ASSERT_TRUE(target->ignore_copy(false));
        ASSERT_TRUE(target->copy_picture(false));
        ASSERT_TRUE(target->activate());
    }
    // What the key-binding side sends on release of a combination.
    int release(const std::wstring& ident, std::uint32_t key_code) {
        auto list = Reference_host::make_list();
        Param::write_text(list.get(), L"request", L"execute");
        Param::write_u32(list.get(), L"deactivate", key_code);
        return host.deliver(ident, list.get());
    }

    Reference_host host;
    MakeUppercaseAction upper{&host};
    MakeLowercaseAction lower{&host};
    Base64DecodeAction decode{&host};
    Clipboard_stash::SetStashAction set{&host};
    Clipboard_stash::PasteStashAction paste{&host};
};

// Bytes of a format in a stash slot; 0 when the slot lacks it.
std::uint64_t slot_bytes(std::uint8_t key, std::uint32_t format) {
    for (const Saved_format& record : *Clipboard_stash::slot(key))
        if (record.format == format)
            return record.size;
    return 0;
}

} // namespace

TEST_F(SelectionActions, TransformsReplaceTheSelectionAndGiveTheClipboardBack) {
    ASSERT_TRUE(set_clipboard_text(L"the user's clipboard"));
    // Only the selected part changes; invalid base64 stays, "=" alone decodes
    // to nothing.
    const struct {
        const wchar_t *ident, *text;
        int first;
        const wchar_t* result;
    } cases[] = {{L"zp_uppercase", L"stra\u00dfe \u00e4\u00e9a", 0, L"STRA\u00dfE \u00c4\u00e9A"},
                 {L"zp_lowercase", L"Hello WORLD \u00c4\u00c9A", 6, L"Hello world \u00e4\u00c9a"},
                 {L"zp_base64_decode", L"w6TDtsO8IEhlbGxv", 0, L"\u00e4\u00f6\u00fc Hello"},
                 {L"zp_base64_decode", L"SGVs bG8=", 0, L"SGVs bG8="},
                 {L"zp_base64_decode", L"=", 0, L""}};
    for (const auto& c : cases) {
        hold(Control::edit, c.text, c.first);
        release(c.ident, 0x55);
        EXPECT_EQ(target->text(Control::edit), c.result) << c.text;
        EXPECT_EQ(clipboard_text(), L"the user's clipboard") << c.text;
    }
}

TEST_F(SelectionActions, StashSlotsFollowTheBaseKey) {
    ASSERT_TRUE(set_clipboard_text(L"before"));

    hold(Control::edit, L"alpha");
    release(L"zp_clipboardstash_set", 0x0141); // VQ-Key+Shift+A
    EXPECT_EQ(clipboard_text(), L"before");    // set restores the clipboard
    hold(Control::edit, L"beta");
    release(L"zp_clipboardstash_set", 0x0142); // slot B
    hold(Control::edit, L"gamma");
    release(L"zp_clipboardstash_set", 0x0341); // Control+Shift+A: slot A again
    EXPECT_EQ(slot_bytes(0x42, CF_UNICODETEXT), (4 + 1) * 2u);

    // Paste on VQ-Key+A at the end of the text: slot A holds the last set.
    std::vector<std::uint8_t> before, after;
    ASSERT_TRUE(clipboard_bytes(CF_UNICODETEXT, before));
    hold(Control::edit, L"x:", 2, 2);
    release(L"zp_clipboardstash_paste", 0x41);
    EXPECT_EQ(target->text(Control::edit), L"x:gamma");
    // The user's clipboard comes back, byte for byte, once the paste is in.
    ASSERT_TRUE(clipboard_bytes(CF_UNICODETEXT, after));
    EXPECT_EQ(after, before);
    hold(Control::edit, L"y:", 2, 2);
    release(L"zp_clipboardstash_paste", 0x42);
    EXPECT_EQ(target->text(Control::edit), L"y:beta");
}

TEST_F(SelectionActions, StashKeepsRichTextAndPicturesAndAFailedSetEmptiesTheSlot) {
    const UINT rtf = RegisterClipboardFormatW(L"Rich Text Format");
    hold(Control::rich_edit, L"Hello");
    release(L"zp_clipboardstash_set", 0x0148);
    ASSERT_GT(slot_bytes(0x48, rtf), 0u);
    hold(Control::rich_edit, L"", 0, 0);
    release(L"zp_clipboardstash_paste", 0x48);
    // Pasted from the Rich Text Format, which ends its paragraph.
    EXPECT_EQ(target->text(Control::rich_edit).substr(0, 5), L"Hello");
    EXPECT_LE(target->text(Control::rich_edit).size(), 7u);

    // A picture stashed from a drawing program pastes as that picture.
    ASSERT_TRUE(set_clipboard_text(L"the user's text"));
    ASSERT_TRUE(target->copy_picture(true));
    hold(Control::edit, L"x");
    release(L"zp_clipboardstash_set", 0x0150);
    ASSERT_TRUE(target->copy_picture(false));
    EXPECT_EQ(clipboard_text(), L"the user's text");
    EXPECT_GT(slot_bytes(0x50, CF_DIB), 64u * 48 * 4);
    ASSERT_TRUE(target->paste_mode(0));
    hold(Control::edit, L"", 0, 0);
    release(L"zp_clipboardstash_paste", 0x50);
    EXPECT_EQ(target->paste_report() & 0x18, 0x18); // the picture was there to paste
    EXPECT_EQ(clipboard_text(), L"the user's text");

    // The application ignores the copy: after the copy time-out the slot is
    // empty and pastes nothing.
    ASSERT_TRUE(target->ignore_copy(true));
    hold(Control::edit, L"not copied");
    release(L"zp_clipboardstash_set", 0x0148);
    ASSERT_TRUE(target->ignore_copy(false));
    EXPECT_TRUE(Clipboard_stash::slot(0x48)->empty());
    hold(Control::edit, L"q:", 2, 2);
    release(L"zp_clipboardstash_paste", 0x48);
    EXPECT_EQ(target->text(Control::edit), L"q:");
}

// The user's clipboard (a picture, a private format, HTML, RTF, a file list,
// a metafile and text, owned by another program) reads back byte-identical
// after every action, with and without a selection; a typed "{selection}"
// gives it back too. A clipboard that cannot be saved (another program holds
// it for 3 s) refuses the action: the selection stays, the clipboard is not
// even rewritten.
TEST_F(SelectionActions, EveryFormatOfTheUsersClipboardSurvivesEveryAction) {
    System_environment typing;
    const struct {
        const wchar_t* ident; // nullptr: the typing language's {selection}
        const wchar_t* text;  // selected; nullptr: nothing selected
        const wchar_t* after;
        bool held = false;
    } cases[] = {
        {L"zp_uppercase", L"Some words", L"SOME WORDS"},
        {L"zp_lowercase", L"Some words", L"some words"},
        {L"zp_base64_decode", L"aGk=", L"hi"},
        {L"zp_clipboardstash_set", L"stashed", L"stashed"},
        {L"zp_clipboardstash_paste", L"replaced", L"stashed"},
        {nullptr, L"read by a template", L"read by a template"},
        {L"zp_uppercase", nullptr, L"kept"},
        {L"zp_clipboardstash_set", nullptr, L"kept"},
        {L"zp_clipboardstash_paste", nullptr, L"kept"},
        {L"zp_uppercase", L"lower", L"lower", true},
    };
    for (const auto& c : cases) {
        const std::wstring name = std::wstring(c.ident ? c.ident : L"{selection}") +
                                  (c.text ? L" on a selection" : L" without one");
        ASSERT_TRUE(target->own_clipboard());
        if (c.text)
            hold(Control::edit, c.text);
        else
            hold(Control::edit, L"kept", 4, 4);
        const DWORD sequence = GetClipboardSequenceNumber();
        ASSERT_TRUE(!c.held || target->hold_clipboard(3000));
        if (c.ident)
            release(c.ident, 0x0153);
        else
            EXPECT_EQ(typing.selection_text(), c.text);
        EXPECT_EQ(target->text(Control::edit), c.after) << name;
        if (c.held) { // refused: the other program lets go of it later
            pump_until([&] { return target->clipboard_intact() == 0x100; }, 5000, 50);
            EXPECT_EQ(GetClipboardSequenceNumber(), sequence);
        }
        EXPECT_EQ(target->clipboard_intact(), 0x100) << name;
    }
}
