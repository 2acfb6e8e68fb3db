// The host's services that reach the user: typing into the foreground window
// and asking questions. The console host has neither (it records and answers
// from the script); the desktop host plugs in SendInput and small dialogs.
#pragma once

#include <windows.h>

#include <string>

class Typist {
public:
    virtual ~Typist() = default;
    // Types typing data into the foreground window; false when some of it
    // could not be sent (traced).
    virtual bool type(const std::wstring& typing_data) = 0;
};

class Asker {
public:
    virtual ~Asker() = default;
    // Asks for a text; false when the user cancelled (text unchanged).
    virtual bool ask_text(const std::wstring& title, std::wstring& text) = 0;
    // Asks for a date, proposing `date`; false when the user cancelled (date unchanged).
    virtual bool ask_date(const std::wstring& title, SYSTEMTIME& date) = 0;
};
