// What the typing language needs from the machine besides the host: the
// clock, the foreground application and the shell. Tests replace it to keep
// time and the desktop under their control.
#pragma once

#include <windows.h>

#include <string>

class Typing_environment {
public:
    virtual ~Typing_environment() = default;
    virtual SYSTEMTIME local_time() = 0;
    // The foreground application's selection, copied through the clipboard.
    virtual std::wstring selection_text() = 0;
    virtual std::wstring foreground_window_title() = 0;
    // Opens a document or address with the shell.
    virtual void open(const std::wstring& target) = 0;
    // The user's Pictures folder; empty when unknown.
    virtual std::wstring pictures_folder() = 0;
};

// The real machine.
class System_environment final : public Typing_environment {
public:
    SYSTEMTIME local_time() override;
    std::wstring selection_text() override;
    std::wstring foreground_window_title() override;
    void open(const std::wstring& target) override;
    std::wstring pictures_folder() override;
};

// Date and time formatting for the user's default locale; empty (and one
// error line) when Windows rejects the date or the format.
std::wstring format_date(const SYSTEMTIME& time, const std::wstring& format);
std::wstring format_time(const SYSTEMTIME& time, const std::wstring& format);
