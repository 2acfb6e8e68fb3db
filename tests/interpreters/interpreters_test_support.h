// A machine under the test's control for the typing language: a fixed clock,
// a given selection and window title, and a record of what was opened.
#pragma once

#include "interpreters/typing_environment.h"
#include "output/text_expansion.h"

#include <string>
#include <vector>

class Fake_environment final : public Typing_environment {
public:
    static constexpr SYSTEMTIME start{2026, 3, 0, 14, 15, 9, 26, 0};
    SYSTEMTIME now = start;
    std::wstring selection, title, pictures = L"C:\\Pictures";
    std::vector<std::wstring> opened;
    int selection_reads = 0;

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
    std::wstring clipboard_text() override { return text; }
};
