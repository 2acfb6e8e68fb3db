// Four code actions answered by the real interpreters, and real keyboard
// shortcuts, both with fresh databases.
#pragma once

#include "actions/binding_directory.h"
#include "actions/keyboard_shortcuts.h"
#include "actions/running_tasks.h"
#include "contract/parameter_values.h"
#include "dialog_driver.h"
#include "host/reference_host.h"
#include "interpreters/batch_interpreter.h"
#include "interpreters/typing_interpreter.h"
#include "interpreters/url_interpreter.h"
#include "storage/shortcut_database.h"
#include "support/work_folder.h"

#include <gtest/gtest.h>

#include <memory>

using Stored = std::map<std::uint32_t, std::wstring>;

class Dialogs : public ::testing::Test {
protected:
    Dialogs() {
        const wchar_t* samples[][6] = {
            {L"zp_1_user_id", L"typing_interpreter", L"Hello {date}", L"Greeting",
             L"Types a greeting.", L"Letters"},
            {L"zp_2_user_id", L"url_interpreter", L"https://example.org/?q=%s", L"Search web",
             L"Opens a search.", L"Web"},
            {L"zp_3_user_id", L"batch_interpreter", L"echo hi", L"Echo", L"Echoes.", L"Letters"},
            {L"zp_4_user_id", L"typing_interpreter", L"x", L"(draft)", L"Draft.", L""}};
        for (const auto& s : samples)
            EXPECT_EQ(code->store_code(s[0], s[1], s[2], s[3], s[4], s[5]), Code_result::ok);
        interpreters(true);
        EXPECT_TRUE(shortcuts.initialize());
    }
    // Off: no interpreter answers, so nothing is stored or listed.
    void interpreters(bool on) {
        typing.reset(on ? new Typing_interpreter(&host, code) : nullptr);
        url.reset(on ? new Url_interpreter(&host, code) : nullptr);
        batch.reset(on ? new Batch_interpreter(&host, code) : nullptr);
    }
    // "type|code|name|description|category" of a stored action.
    std::wstring load(const std::wstring& ident) {
        std::wstring f[5];
        code->load_code(ident, f[0], f[1], f[2], f[3], f[4]);
        return f[0] + L"|" + f[1] + L"|" + f[2] + L"|" + f[3] + L"|" + f[4];
    }
    // Runs a dialog on `runner`; the one with `caption` (any when empty).
    HWND open(std::function<INT_PTR()> run, const std::wstring& caption) {
        runner = std::make_unique<Dialog_thread>(std::move(run));
        return runner->wait_for(caption);
    }
    void set_abbreviation(const wchar_t* ident, const wchar_t* text, const wchar_t* kind,
                          bool case_sensitive = false) {
        Param::Owned_parameters list = Param::create(&host);
        for (const auto& [key, value] :
             {std::pair(L"id", ident), {L"abbreviation", text}, {L"kind", kind}})
            Param::write_text(list.get(), key, value);
        Param::write_flag(list.get(), L"case_sensitive", case_sensitive);
        Param::send(&host, L"zp_action_set_abbreviation", list.get());
    }
    // "ident" (and " name") per key, read by a connection of its own.
    Stored stored(bool with_names = false) {
        Stored result;
        Binding_map map;
        Shortcut_database(folder.database()).load_all(map);
        for (const auto& [key, entry] : map)
            result[key] = entry.ident + (with_names ? L" " + entry.name : L"");
        return result;
    }

    Work_folder folder{L"dialogs"};
    Reference_host host;
    std::shared_ptr<Code_storage> code = Code_storage::open_path(folder.path() + L"\\code.db");
    std::unique_ptr<Code_interpreter> typing, url, batch;
    Running_tasks tasks;
    Keyboard_shortcuts_impl shortcuts{&host, L"plugins\\zaptor.db", tasks};
    Binding_directory directory{
        &host, std::shared_ptr<Keyboard_shortcuts>(std::shared_ptr<void>(), &shortcuts)};
    std::unique_ptr<Dialog_thread> runner; // last: closes its dialogs first
};
