// Every text of the four dialogs fits its control, in English and German,
// with the longest texts the dialogs can show: measured with the control's
// own font, the way the control draws it.
#include "ui/add_key_shortcut_dialog.h"
#include "ui/key_binding_settings_dialog.h"
#include "ui/key_choice.h"
#include "ui/key_names.h"
#include "ui/manage_actions_dialog.h"

#include "contract/plugin_globals.h"
#include "dialog_driver.h"
#include "fake_actions.h"
#include "ui/ui_resources.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

namespace {

// Pixels `text` takes on one line in the control's font.
int text_width(HWND control, const std::wstring& text) {
    HDC dc = GetDC(control);
    auto font = reinterpret_cast<HFONT>(SendMessageW(control, WM_GETFONT, 0, 0));
    HGDIOBJ old = SelectObject(dc, font ? font : GetStockObject(DEFAULT_GUI_FONT));
    RECT box{0, 0, 0, 0};
    DrawTextW(dc, text.c_str(), static_cast<int>(text.size()), &box, DT_CALCRECT | DT_SINGLELINE);
    SelectObject(dc, old);
    ReleaseDC(control, dc);
    return box.right - box.left;
}

std::wstring class_of(HWND window) {
    wchar_t name[64] = {};
    GetClassNameW(window, name, 64);
    return name;
}

bool ends_with(const std::wstring& text, const std::wstring& end) {
    return text.size() >= end.size() &&
           text.compare(text.size() - end.size(), end.size(), end) == 0;
}

int client_width(HWND window) {
    RECT box{};
    GetClientRect(window, &box);
    return box.right;
}

// Collects "control id: 'text' needs N px, has M" for each text that does
// not fit; user-written texts (edits, the tree, the editable category box)
// are not ours to fit.
struct Fit_check {
    std::string language;
    std::vector<std::string> misfits;

    void need(HWND control, const std::wstring& text, int room) {
        if (text.empty())
            return;
        int needed = text_width(control, text);
        if (needed <= room)
            return;
        std::string shown(text.begin(), text.end());
        misfits.push_back(language + " control " + std::to_string(GetDlgCtrlID(control)) + ": '" +
                          shown + "' needs " + std::to_string(needed) + " px, has " +
                          std::to_string(room));
    }

    void control(HWND window) {
        const std::wstring kind = class_of(window);
        const LONG style = GetWindowLongW(window, GWL_STYLE);
        if (ends_with(kind, L"Static")) {
            need(window, text_of(window), client_width(window));
        } else if (ends_with(kind, L"Button")) {
            // Frame, focus rectangle and the margins the button keeps.
            need(window, text_of(window), client_width(window) - 8);
        } else if (ends_with(kind, L"ComboBox") && (style & 3) == CBS_DROPDOWNLIST) {
            COMBOBOXINFO info{};
            info.cbSize = sizeof(info);
            GetComboBoxInfo(window, &info);
            const int room = info.rcItem.right - info.rcItem.left - 4;
            const int count = static_cast<int>(SendMessageW(window, CB_GETCOUNT, 0, 0));
            for (int i = 0; i < count; ++i)
                need(window, combo_item(GetParent(window), GetDlgCtrlID(window), i), room);
        } else if (ends_with(kind, L"SysListView32")) {
            // The header and the first column; the rest is the user's text.
            HWND header = reinterpret_cast<HWND>(SendMessageW(window, LVM_GETHEADER, 0, 0));
            const int columns = static_cast<int>(SendMessageW(header, HDM_GETITEMCOUNT, 0, 0));
            for (int column = 0; column < columns; ++column) {
                wchar_t title[256] = {};
                LVCOLUMNW data{};
                data.mask = LVCF_TEXT;
                data.pszText = title;
                data.cchTextMax = 256;
                SendMessageW(window, LVM_GETCOLUMNW, column, reinterpret_cast<LPARAM>(&data));
                const int width =
                    static_cast<int>(SendMessageW(window, LVM_GETCOLUMNWIDTH, column, 0));
                need(window, title, width - 12);
                if (column == 0)
                    for (const List_row& row : list_rows(window))
                        need(window, row.first, width - 12);
            }
        }
    }

    void dialog(HWND dialog) {
        for (HWND child = GetWindow(dialog, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT))
            control(child);
    }
};

// The combination codes whose texts are the longest that the prefix and
// key lists can compose.
std::vector<std::uint32_t> longest_codes(const std::wstring& activation, std::size_t count) {
    std::vector<std::pair<std::size_t, std::uint32_t>> lengths;
    for (const Choice_entry& prefix : prefix_choices(activation))
        for (const Choice_entry& key : key_choices(GetKeyboardLayout(0))) {
            const std::uint32_t code = prefix.code | key.code;
            lengths.emplace_back(combination_text(code, activation).size(), code);
        }
    std::sort(lengths.rbegin(), lengths.rend());
    std::vector<std::uint32_t> codes;
    for (std::size_t i = 0; i < lengths.size() && codes.size() < count; ++i)
        codes.push_back(lengths[i].second);
    return codes;
}

class DialogFit : public ::testing::TestWithParam<bool> {
protected:
    DialogFit() : language(GetParam()) {
        check.language = GetParam() ? "de" : "en";
        activation = key_display_name(VK_CAPITAL);
        codes = longest_codes(activation, 4);
        for (std::size_t i = 0; i < codes.size(); ++i) {
            const std::wstring ident = L"zp_" + std::to_wstring(i + 1) + L"_user_id";
            actions.put(ident,
                        {L"typing_interpreter", L"x", L"Action " + std::to_wstring(i), L"", L""});
            actions.bind(ident, codes[i]);
            directory.bind(codes[i], ident);
        }
    }

    Language_scope language;
    Fit_check check;
    std::wstring activation;
    std::vector<std::uint32_t> codes;
    Reference_host host;
    Fake_code_actions actions{host};
    Memory_directory directory{&host};
};

TEST_P(DialogFit, ManageActionsWithTheLongestCombinationsAndTheRefusal) {
    Manage_actions_dialog dialog(&host);
    Dialog_thread runner([&] { return dialog.run(nullptr); });
    HWND window = runner.wait_for_other(nullptr);
    ASSERT_NE(window, nullptr);
    HWND tree = GetDlgItem(window, IDC_MA_TREE);
    for (std::size_t i = 0; i < codes.size(); ++i) {
        HTREEITEM item = find_tree_item(tree, L"Action " + std::to_wstring(i));
        ASSERT_NE(item, nullptr);
        select_tree_item(tree, item);
        check.control(GetDlgItem(window, IDC_MA_KEY_BUTTON));
    }
    actions.set_accepting(false);
    ASSERT_TRUE(click(window, IDC_MA_NEW));
    set_text(window, IDC_MA_NAME, L"Refused");
    set_text(window, IDC_MA_CODE, L"x");
    ASSERT_TRUE(click(window, IDC_MA_SAVE));
    check.dialog(window);
    EXPECT_EQ(check.misfits, std::vector<std::string>{});
}

TEST_P(DialogFit, SelectKeyCombination) {
    Key_choice choice;
    choice.host = &host;
    Dialog_thread runner([&] { return run_select_key_combination(nullptr, choice); });
    HWND window = runner.wait_for_other(nullptr);
    ASSERT_NE(window, nullptr);
    check.dialog(window);
    EXPECT_EQ(check.misfits, std::vector<std::string>{});
}

TEST_P(DialogFit, KeyBindingSettingsWithTheLongestCombinations) {
    Key_binding_settings_dialog settings(Plugin_globals::module(), &host, &directory, activation);
    Dialog_thread runner([&] { return settings.run(nullptr); });
    HWND window = runner.wait_for_other(nullptr);
    ASSERT_NE(window, nullptr);
    EXPECT_EQ(list_rows(GetDlgItem(window, IDC_KS_LIST)).size(), codes.size());
    check.dialog(window);
    EXPECT_EQ(check.misfits, std::vector<std::string>{});
}

TEST_P(DialogFit, AddKeyShortcut) {
    Add_shortcut_dialog add(Plugin_globals::module(), &host, &directory, activation, codes[0]);
    Dialog_thread runner([&] { return add.run(nullptr); });
    HWND window = runner.wait_for_other(nullptr);
    ASSERT_NE(window, nullptr);
    check.dialog(window);
    EXPECT_EQ(check.misfits, std::vector<std::string>{});
}

INSTANTIATE_TEST_SUITE_P(EnglishAndGerman, DialogFit, ::testing::Values(false, true),
                         [](const auto& info) { return info.param ? "German" : "English"; });

} // namespace
