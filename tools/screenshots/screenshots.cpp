// Shows one dialog with sample actions and bindings, in English or German,
// long enough for tools/screenshots.sh to capture it, then closes it.
//   zaptor_screenshots.exe manage|keys|settings|add en|de [seconds]
#include "actions/binding_directory.h"
#include "builtin_actions/text_transform_actions.h"
#include "contract/parameter_values.h"
#include "contract/plugin_globals.h"
#include "fake_actions.h"
#include "tests/ui/dialog_driver.h"
#include "text/textprovider.h"
#include "ui/key_binding_settings_dialog.h"
#include "ui/key_names.h"
#include "ui/manage_actions_dialog.h"
#include "ui/ui_resources.h"

#include <windows.h>

#include <cstdio>
#include <map>
#include <string>

namespace {

// The key and abbreviation of an action bound here, answered as keyboard
// shortcuts do.
class Sample_keys final : public Filter {
public:
    explicit Sample_keys(Reference_host& host)
        : registration_(&host, this, {L"zp_action_key_binding", L"zp_action_abbreviation"}) {}
    void* destroy(unsigned int) override { return this; }
    int status() override { return 1; }
    int process(const wchar_t* name, unsigned int length, Parameters* list) override {
        if (!list)
            return 0;
        const std::wstring id = Param::read_text(list, L"id");
        if (std::wstring(name, length) == L"zp_action_abbreviation") {
            for (const Abbreviation_row& row : abbreviations)
                if (row.ident == id) {
                    Param::write_text(list, L"abbreviation", row.abbreviation);
                    Param::write_text(list, L"kind", row.immediate ? L"immediate" : L"word");
                    Param::write_flag(list, L"case_sensitive", row.case_sensitive);
                }
            return 0;
        }
        auto found = keys.find(id);
        if (found != keys.end())
            Param::write_u32(list, L"key", found->second);
        return 0;
    }
    std::map<std::wstring, std::uint32_t> keys;
    std::vector<Abbreviation_row> abbreviations; // sorted by abbreviation

private:
    Filter_registration registration_;
};

// Bindings that touch no database.
class Memory_directory final : public Binding_directory {
public:
    Memory_directory(Interaction_if* host, const Sample_keys& keys)
        : Binding_directory(host, nullptr), keys_(keys) {}
    // Binds the action `ident` as it answers now; nothing when it does not.
    void bind(std::uint32_t key_code, const std::wstring& ident) {
        for (Binding_row action : action_texts())
            if (action.ident == ident) {
                action.key_code = key_code;
                bound_[key_code] = action;
            }
    }
    Key_binding_entry binding_of(std::uint32_t key_code) override {
        auto found = bound_.find(key_code);
        return found == bound_.end() ? Key_binding_entry{}
                                     : Key_binding_entry{found->second.ident, found->second.name};
    }
    std::vector<Binding_row> bound_rows() override {
        std::vector<Binding_row> rows;
        for (const auto& bound : bound_)
            rows.push_back(bound.second);
        return rows;
    }
    bool store_binding(std::uint32_t, const std::wstring&, const std::wstring&) override {
        return true;
    }
    bool remove_binding(std::uint32_t) override { return true; }
    std::vector<Abbreviation_row> abbreviations() override {
        std::vector<Abbreviation_row> rows;
        for (Abbreviation_row row : keys_.abbreviations)
            for (const Binding_row& action : action_texts())
                if (action.ident == row.ident) {
                    row.name = action.name;
                    rows.push_back(row);
                }
        return rows;
    }
    std::vector<std::wstring> excluded_applications() override {
        return {L"KeePass*.exe", L"putty.exe"};
    }
    bool set_excluded_applications(const std::vector<std::wstring>&) override { return true; }

private:
    std::map<std::uint32_t, Binding_row> bound_;
    const Sample_keys& keys_;
};

std::wstring beside_exe(const wchar_t* relative) {
    wchar_t path[MAX_PATH] = {};
    GetModuleFileNameW(nullptr, path, MAX_PATH);
    std::wstring folder(path);
    return folder.substr(0, folder.find_last_of(L'\\') + 1) + relative;
}

void add_samples(Fake_code_actions& actions, Sample_keys& keys, bool german) {
    // What a user writes: in the user's own language.
    auto text = [german](const wchar_t* english, const wchar_t* deutsch) {
        return german ? deutsch : english;
    };
    actions.put(L"zp_1_user_id",
                {L"typing_interpreter",
                 text(L"Kind regards,\r\nAnna Example",
                      L"Mit freundlichen Gr\u00FC\u00DFen\r\nAnna Beispiel"),
                 text(L"Signature", L"Signatur"),
                 text(L"Types the closing lines of a letter.", L"Tippt den Briefschluss."),
                 text(L"Mail", L"Post")});
    actions.put(L"zp_2_user_id",
                {L"typing_interpreter", L"{date:yyyy-MM-dd}",
                 text(L"Today's date", L"Heutiges Datum"),
                 text(L"Types the date in ISO form.", L"Tippt das Datum in ISO-Form."),
                 text(L"Text snippets", L"Textbausteine")});
    actions.put(L"zp_3_user_id",
                {L"url_interpreter", L"https://en.wikipedia.org/w/index.php?search={selection}",
                 text(L"Look up selection", L"Auswahl nachschlagen"),
                 text(L"Searches the selected words in the encyclopedia.",
                      L"Sucht die markierten W\u00F6rter im Lexikon."),
                 L"Web"});
    actions.put(L"zp_4_user_id", {L"batch_interpreter", L"start notepad.exe",
                                  text(L"Open notepad", L"Editor \u00F6ffnen"),
                                  text(L"Starts the text editor.", L"Startet den Texteditor."),
                                  text(L"Tools", L"Werkzeuge")});
    actions.put(
        L"zp_5_user_id",
        {L"typing_interpreter", L"Hello {ask_text:Name}!", text(L"Greeting", L"Gru\u00DF"),
         text(L"Asks for a name and greets.", L"Fragt nach einem Namen und gr\u00FC\u00DFt."),
         text(L"Mail", L"Post")});
    keys.keys[L"zp_1_user_id"] = 0x153;   // activation key + Shift + s: a long text
    keys.keys[L"zp_3_user_id"] = 0x10674; // Control + Alt + F5, direct
    // One of each kind; "ISOD" only in capitals.
    keys.abbreviations = {{L"ISOD", L"zp_2_user_id", L"", false, true},
                          {L"hi", L"zp_5_user_id", L"", false, false},
                          {L"sig;", L"zp_1_user_id", L"", true, false}};
}

// The settings dialog, and for "add" the "Add key shortcut" dialog opened
// from it to change the first key binding.
HWND show_binding_dialogs(Dialog_thread& runner, const std::wstring& which, bool german) {
    HWND window = runner.wait_for(german ? L"Zaptor-Einstellungen" : L"Zaptor settings");
    if (!window || which != L"add")
        return window;
    // The first key combination: abbreviations are not changed here.
    HWND list = GetDlgItem(window, IDC_KS_LIST);
    for (int row = 0; row < ListView_GetItemCount(list); ++row) {
        select_list_row(list, row);
        if (IsWindowEnabled(GetDlgItem(window, IDC_KS_MODIFY)))
            break;
    }
    click(window, IDC_KS_MODIFY, true);
    return runner.wait_for(L"", window);
}

} // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc < 3) {
        std::fprintf(stderr,
                     "usage: zaptor_screenshots manage|keys|settings|add en|de [seconds]\n");
        return 2;
    }
    const std::wstring which = argv[1];
    const std::wstring language = argv[2];
    const int seconds = argc > 3 ? _wtoi(argv[3]) : 10;
    text_provider().set_language_from_file(beside_exe(L"plugins\\zaptor.lng"),
                                           language == L"de" ? L"de" : L"");

    Reference_host host;
    Fake_code_actions actions(host);
    MakeUppercaseAction upper(&host);
    Sample_keys keys(host);
    add_samples(actions, keys, language == L"de");

    if (which == L"settings" || which == L"add") {
        Memory_directory directory(&host, keys);
        directory.bind(0x153, L"zp_1_user_id");   // activation key + Shift + s
        directory.bind(0x326, L"zp_4_user_id");   // activation key + Shift + Control + Up
        directory.bind(0x10674, L"zp_3_user_id"); // Control + Alt + F5, direct
        directory.bind(0x244, L"zp_2_user_id");   // activation key + Control + d
        directory.bind(0x155, L"zp_uppercase");   // activation key + Shift + u
        Key_binding_settings_dialog settings(Plugin_globals::module(), &host, &directory,
                                             key_display_name(VK_CAPITAL));
        Dialog_thread runner([&] { return settings.run(nullptr); });
        if (!show_binding_dialogs(runner, which, language == L"de")) {
            std::fprintf(stderr, "the dialog did not open\n");
            return 1;
        }
        std::printf("shown\n");
        std::fflush(stdout);
        Sleep(static_cast<DWORD>(seconds) * 1000);
        return 0;
    }

    Manage_actions_dialog dialog(&host);
    const std::wstring caption = language == L"de" ? L"Aktionen verwalten" : L"Manage actions";
    Dialog_thread runner([&] { return dialog.run(nullptr); });
    HWND window = runner.wait_for(caption);
    if (!window) {
        std::fprintf(stderr, "the dialog did not open\n");
        return 1;
    }
    HWND tree = GetDlgItem(window, IDC_MA_TREE);
    expand_roots(tree);
    if (HTREEITEM item = find_tree_item(tree, language == L"de" ? L"Signatur" : L"Signature"))
        TreeView_SelectItem(tree, item);
    if (which == L"keys") {
        click(window, IDC_MA_KEY_BUTTON, true);
        runner.wait_for(L"", window);
    }
    std::printf("shown\n");
    std::fflush(stdout);
    Sleep(static_cast<DWORD>(seconds) * 1000);
    return 0; // Dialog_thread closes what is still open
}
