#include "ui/add_key_shortcut_dialog.h"
#include "ui/key_binding_settings_dialog.h"
#include "ui/key_choice.h"
#include "ui/key_names.h"
#include "ui/manage_actions_dialog.h"

#include "contract/parameter_values.h"
#include "contract/text_convert.h"
#include "dialog_fixture.h"
#include "ui/ui_resources.h"

#include <algorithm>
#include <tuple>

namespace {

// Adds each text of ours that does not fit (edits and the tree hold the user's).
void check_fit(HWND control, std::vector<std::string>& misfits) {
    auto need = [&](const std::wstring& text, int room) {
        HDC dc = GetDC(control);
        auto font = reinterpret_cast<HFONT>(SendMessageW(control, WM_GETFONT, 0, 0));
        HGDIOBJ old = SelectObject(dc, font ? font : GetStockObject(DEFAULT_GUI_FONT));
        RECT box{0, 0, 0, 0};
        DrawTextW(dc, text.c_str(), static_cast<int>(text.size()), &box,
                  DT_CALCRECT | DT_SINGLELINE);
        SelectObject(dc, old);
        ReleaseDC(control, dc);
        if (!text.empty() && box.right > room)
            misfits.push_back(utf16_to_utf8(text) + ": " + std::to_string(box.right - room) +
                              " px");
    };
    wchar_t name[64] = {};
    GetClassNameW(control, name, 64);
    const std::wstring kind = name;
    RECT client{};
    GetClientRect(control, &client);
    const LONG style = GetWindowLongW(control, GWL_STYLE);
    const LONG type = style & BS_TYPEMASK;
    const bool boxed = kind == L"Button" &&
                       (type == BS_CHECKBOX || type == BS_AUTOCHECKBOX || type == BS_RADIOBUTTON ||
                        type == BS_AUTORADIOBUTTON || type == BS_3STATE || type == BS_AUTO3STATE);
    if (boxed) { // the box and the gap after it
        need(text_of(control), client.right - GetSystemMetrics(SM_CXMENUCHECK) - 6);
    } else if (kind == L"Static" || kind == L"Button") { // a button's frame and margins: 8 px
        need(text_of(control), client.right - (kind == L"Button" ? 8 : 0));
    } else if (kind == L"ComboBox" &&
               (GetWindowLongW(control, GWL_STYLE) & 3) == CBS_DROPDOWNLIST) {
        COMBOBOXINFO info{};
        info.cbSize = sizeof(info);
        GetComboBoxInfo(control, &info);
        for (int i = 0; i < static_cast<int>(SendMessageW(control, CB_GETCOUNT, 0, 0)); ++i)
            need(combo_item(GetParent(control), GetDlgCtrlID(control), i),
                 info.rcItem.right - info.rcItem.left - 4);
    } else if (kind == L"SysListView32") { // the headers and the combinations
        wchar_t title[256] = {};
        LVCOLUMNW data{};
        data.mask = LVCF_TEXT;
        data.pszText = title;
        data.cchTextMax = 256;
        for (int column = 0;
             SendMessageW(control, LVM_GETCOLUMNW, column, reinterpret_cast<LPARAM>(&data));
             ++column) {
            const int room = static_cast<int>(ListView_GetColumnWidth(control, column)) - 12;
            need(title, room);
            for (const auto& row : column == 0 ? list_rows(control) : Rows{})
                need(row.first, room);
        }
    }
}

TEST_F(Dialogs, EveryTextFitsWithTheLongestCombinationsAndTheRefusalInEnglishAndGerman) {
    for (bool german : {false, true}) {
        Language_scope language(german);
        const std::wstring activation = key_display_name(VK_CAPITAL);
        std::vector<std::pair<std::size_t, std::uint32_t>> lengths; // the four longest, bound
        for (const Choice_entry& prefix : prefix_choices(activation))
            for (const Choice_entry& key : key_choices(GetKeyboardLayout(0)))
                lengths.emplace_back(combination_text(prefix.code | key.code, activation).size(),
                                     prefix.code | key.code);
        std::sort(lengths.rbegin(), lengths.rend());
        for (const auto& [code, ident] : stored()) // the other language's
            directory.remove_binding(code);
        for (std::size_t i = 0; i < 4; ++i)
            directory.store_binding(lengths[i].second,
                                    L"zp_" + std::to_wstring(i + 1) + L"_user_id", L"x");
        // The longest kind of abbreviation row, and one for the refusal below.
        set_abbreviation(L"zp_2_user_id", L"sig;", L"immediate", true);
        set_abbreviation(L"zp_3_user_id", L"abcdefghijklmnopqrstuvwxyzABCDEF", L"word", true);

        std::vector<std::string> misfits;
        auto fits = [&](std::function<INT_PTR()> run, std::function<void(HWND)> prepare) {
            HWND window = open(std::move(run), L"");
            ASSERT_NE(window, nullptr);
            prepare(window);
            for (HWND child = GetWindow(window, GW_CHILD); child;
                 child = GetWindow(child, GW_HWNDNEXT))
                check_fit(child, misfits);
            runner.reset();
        };
        Manage_actions_dialog manage(&host);
        fits([&] { return manage.run(nullptr); },
             [&](HWND window) {
                 HWND tree = GetDlgItem(window, IDC_MA_TREE);
                 expand_roots(tree);
                 for (const wchar_t* name : {L"Greeting", L"Search web", L"Echo", L"(draft)"}) {
                     TreeView_SelectItem(tree, find_tree_item(tree, name));
                     check_fit(GetDlgItem(window, IDC_MA_KEY_BUTTON), misfits);
                 }
                 interpreters(false);
                 ASSERT_TRUE(click(window, IDC_MA_NEW));
                 SetDlgItemTextW(window, IDC_MA_NAME, L"Refused");
                 SetDlgItemTextW(window, IDC_MA_CODE, L"x");
                 ASSERT_TRUE(click(window, IDC_MA_SAVE));
                 check_fit(GetDlgItem(window, IDC_MA_STATUS), misfits);
                 interpreters(true);
                 // Stored, its abbreviation not: the other action is named.
                 SetDlgItemTextW(window, IDC_MA_ABBREVIATION, L"sig;");
                 CheckDlgButton(window, IDC_MA_CASE_SENSITIVE, BST_CHECKED);
                 SendDlgItemMessageW(window, IDC_MA_ABBREVIATION_KIND, CB_SETCURSEL, 1, 0);
                 ASSERT_TRUE(click(window, IDC_MA_SAVE));
                 EXPECT_NE(text_of(window, IDC_MA_STATUS).find(L"Search web"), std::wstring::npos);
             });
        Key_choice choice{&host};
        fits([&] { return run_select_key_combination(nullptr, choice); }, [](HWND) {});
        Key_binding_settings_dialog settings(GetModuleHandleW(nullptr), &host, &directory,
                                             activation);
        fits(
            [&] { return settings.run(nullptr); },
            [&](HWND window) { EXPECT_EQ(list_rows(GetDlgItem(window, IDC_KS_LIST)).size(), 6u); });
        Add_shortcut_dialog add(GetModuleHandleW(nullptr), &host, &directory, activation,
                                lengths[0].second);
        fits([&] { return add.run(nullptr); }, [](HWND) {});
        EXPECT_EQ(misfits, std::vector<std::string>{}) << (german ? "German" : "English");
    }
}

} // namespace
