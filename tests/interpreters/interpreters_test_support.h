// A machine under the test's control for the typing language: a fixed clock,
// a given selection and window title, and a record of what was opened.
#pragma once

#include "interpreters/typing_environment.h"
#include "output/text_expansion.h"

#include <string>
#include <vector>

class Fake_environment final : public Typing_environment {
public:
    SYSTEMTIME now{};
    std::wstring selection;
    std::wstring title;
    std::wstring pictures = L"C:\\Pictures";
    std::vector<std::wstring> opened;
    int selection_reads = 0;

    Fake_environment() { set_now(2026, 3, 14, 15, 9, 26); }

    void set_now(int year, int month, int day, int hour, int minute, int second) {
        now = SYSTEMTIME{};
        now.wYear = static_cast<WORD>(year);
        now.wMonth = static_cast<WORD>(month);
        now.wDay = static_cast<WORD>(day);
        now.wHour = static_cast<WORD>(hour);
        now.wMinute = static_cast<WORD>(minute);
        now.wSecond = static_cast<WORD>(second);
    }

    SYSTEMTIME local_time() override { return now; }
    std::wstring selection_text() override {
        ++selection_reads;
        return selection;
    }
    std::wstring foreground_window_title() override { return title; }
    void open(const std::wstring& target) override { opened.push_back(target); }
    std::wstring pictures_folder() override { return pictures; }
};

class Fake_clipboard final : public Clipboard_text_source {
public:
    std::wstring text;
    int reads = 0;
    std::wstring clipboard_text() override {
        ++reads;
        return text;
    }
};
