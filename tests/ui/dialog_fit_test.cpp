// Every text of the four dialogs fits its control, in English and German,
// with the longest texts the dialogs can show: measured with the control's
// own font, the way the control draws it.
#include "ui/add_key_shortcut_dialog.h"
#include "ui/key_binding_settings_dialog.h"
#include "ui/key_choice.h"
#include "ui/key_names.h"
#include "ui/manage_actions_dialog.h"

#include "contract/plugin_globals.h"
#include "contract/text_convert.h"
#include "dialog_driver.h"
#include "fake_actions.h"
#include "ui/ui_resources.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>

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
    return box.right;
}

// Collects "control id: 'text' needs N px, has M" for each text that does
// not fit; user-written texts (edits, the tree, the editable category box)
// are not ours to fit.
struct Fit_check {
    std::string language;
    std::vector<std::string> misfits;

    void need(HWND control, const std::wstring& text, int room) {
        int needed = text_width(control, text);
        if (!text.empty() && needed > room)
            misfits.push_back(language + " control " + std::to_string(GetDlgCtrlID(control)) +
                              ": '" + utf16_to_utf8(text) + "' needs " + std::to_string(needed) +
                              " px, has " + std::to_string(room));
    }

    void control(HWND window) {
        wchar_t name[64] = {};
        GetClassNameW(window, name, 64);
        const std::wstring kind = name;
        RECT client{};
        GetClientRect(window, &client);
        if (kind == L"Static") {
            need(window, text_of(window), client.right);
        } else if (kind == L"Button") {
            // Frame, focus rectangle and the margins the button keeps.
            need(window, text_of(window), client.right - 8);
        } else if (kind == L"ComboBox" &&
                   (GetWindowLongW(window, GWL_STYLE) & 3) == CBS_DROPDOWNLIST) {
            COMBOBOXINFO info{};
            info.cbSize = sizeof(info);
            GetComboBoxInfo(window, &info);
            const int room = info.rcItem.right - info.rcItem.left - 4;
            const int count = static_cast<int>(SendMessageW(window, CB_GETCOUNT, 0, 0));
            for (int i = 0; i < count; ++i)
                need(window, combo_item(GetParent(window), GetDlgCtrlID(window), i), room);
        } else if (kind == L"SysListView32") {
            // The header and the first column; the rest is the user's text.
            wchar_t title[256] = {};
            LVCOLUMNW data{};
            data.mask = LVCF_TEXT;
            data.pszText = title;
            data.cchTextMax = 256;
            for (int column = 0;
                 SendMessageW(window, LVM_GETCOLUMNW, column, reinterpret_cast<LPARAM>(&data));
                 ++column) {
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

    // Runs the dialog, lets `prepare` fill it, and checks every text.
    void fits(const std::function<INT_PTR()>& run, std::function<void(HWND)> prepare = nullptr) {
        Dialog_thread runner(run);
        HWND window = runner.wait_for_other(nullptr);
        ASSERT_NE(window, nullptr);
        if (prepare)
            prepare(window);
        check.dialog(window);
        EXPECT_EQ(check.misfits, std::vector<std::string>{});
    }
};

TEST_P(DialogFit, EveryDialogWithTheLongestCombinationsAndTheRefusal) {
    Manage_actions_dialog manage(&host);
    fits([&] { return manage.run(nullptr); },
         [&](HWND window) {
             HWND tree = GetDlgItem(window, IDC_MA_TREE);
             for (std::size_t i = 0; i < codes.size(); ++i) {
                 select_tree_item(tree, find_tree_item(tree, L"Action " + std::to_wstring(i)));
                 check.control(GetDlgItem(window, IDC_MA_KEY_BUTTON));
             }
             actions.accepting = false;
             ASSERT_TRUE(click(window, IDC_MA_NEW));
             set_text(window, IDC_MA_NAME, L"Refused");
             set_text(window, IDC_MA_CODE, L"x");
             ASSERT_TRUE(click(window, IDC_MA_SAVE));
         });
    Key_choice choice;
    choice.host = &host;
    fits([&] { return run_select_key_combination(nullptr, choice); });
    Key_binding_settings_dialog settings(Plugin_globals::module(), &host, &directory, activation);
    fits([&] { return settings.run(nullptr); },
         [&](HWND window) {
             EXPECT_EQ(list_rows(GetDlgItem(window, IDC_KS_LIST)).size(), codes.size());
         });
    Add_shortcut_dialog add(Plugin_globals::module(), &host, &directory, activation, codes[0]);
    fits([&] { return add.run(nullptr); });
}

INSTANTIATE_TEST_SUITE_P(EnglishAndGerman, DialogFit, ::testing::Values(false, true),
                         [](const auto& info) { return info.param ? "German" : "English"; });

} // namespace
