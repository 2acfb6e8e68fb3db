// The desktop host's questions: a small modal dialog with the title as its
// caption and label, an edit field ("ask_text") or a date picker ("ask_date"),
// OK and Cancel. The dialogs are built from in-memory templates, so that the
// host needs no resource script. The window that was in the foreground gets
// the focus back afterwards, because what follows is usually typing into it.
#pragma once

#include "host/host_services.h"

#include <windows.h>

#include <string>

class Ask_dialogs final : public Asker {
public:
    // Control ids, for whoever drives the dialogs (tests, scripts).
    static constexpr int label_id = 1000;
    static constexpr int edit_id = 1001;
    static constexpr int date_id = 1002;

    bool ask_text(const std::wstring& title, std::wstring& text) override;
    bool ask_date(const std::wstring& title, SYSTEMTIME& date) override;

private:
    struct Question {
        static constexpr const char* trace_name = "Ask_dialogs::dialog_proc";
        bool is_date = false;
        std::wstring title;
        std::wstring text;
        SYSTEMTIME date{};
        HWND dialog = nullptr;
        INT_PTR on_init_dialog(HWND window);
        INT_PTR handle(UINT message, WPARAM w, LPARAM l);
    };
    static bool run(Question& question);
};
