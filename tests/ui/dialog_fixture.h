// Four code actions, and real keyboard shortcuts with a fresh database.
#pragma once

#include "actions/binding_directory.h"
#include "actions/keyboard_shortcuts.h"
#include "actions/running_tasks.h"
#include "dialog_driver.h"
#include "fake_actions.h"
#include "storage/shortcut_database.h"
#include "support/work_folder.h"

#include <gtest/gtest.h>

#include <memory>

using Stored = std::map<std::uint32_t, std::wstring>;

class Dialogs : public ::testing::Test {
protected:
    Dialogs() {
        actions->put(L"zp_1_user_id", {L"typing_interpreter", L"Hello {date}", L"Greeting",
                                       L"Types a greeting.", L"Letters"});
        actions->put(L"zp_2_user_id", {L"url_interpreter", L"https://example.org/?q=%s",
                                       L"Search web", L"Opens a search.", L"Web"});
        actions->put(L"zp_3_user_id",
                     {L"batch_interpreter", L"echo hi", L"Echo", L"Echoes.", L"Letters"});
        actions->put(L"zp_4_user_id", {L"typing_interpreter", L"x", L"(draft)", L"Draft.", L""});
        EXPECT_TRUE(shortcuts.initialize());
    }
    // Runs a dialog on `runner`; the one with `caption` (any when empty).
    HWND open(std::function<INT_PTR()> run, const std::wstring& caption) {
        runner = std::make_unique<Dialog_thread>(std::move(run));
        return runner->wait_for(caption);
    }
    // "ident" (and " name") per key, read by a connection of its own.
    Stored stored(bool with_names = false) {
        Stored result;
        for (const auto& [key, entry] : Shortcut_database(folder.database()).load_all())
            result[key] = entry.ident + (with_names ? L" " + entry.name : L"");
        return result;
    }

    Work_folder folder{L"dialogs"};
    Reference_host host;
    std::unique_ptr<Fake_code_actions> actions = std::make_unique<Fake_code_actions>(host);
    Running_tasks tasks;
    Keyboard_shortcuts_impl shortcuts{&host, L"plugins\\zaptor.db", tasks};
    Binding_directory directory{
        &host, std::shared_ptr<Keyboard_shortcuts>(std::shared_ptr<void>(), &shortcuts)};
    std::unique_ptr<Dialog_thread> runner; // last: closes its dialogs first
};
