// A fresh folder with a "plugins" subfolder as the current directory for a
// test's lifetime: the key-binding database path is relative to it.
#pragma once

#include "support/test_support.h"

#include <windows.h>

#include <string>

class Work_folder {
public:
    explicit Work_folder(const std::wstring& prefix) {
        wchar_t previous[MAX_PATH] = {};
        GetCurrentDirectoryW(MAX_PATH, previous);
        previous_ = previous;
        path_ = Test_support::make_temp_directory(prefix);
        CreateDirectoryW((path_ + L"\\plugins").c_str(), nullptr);
        SetCurrentDirectoryW(path_.c_str());
    }
    ~Work_folder() {
        SetCurrentDirectoryW(previous_.c_str());
        Test_support::remove_tree(path_);
    }
    Work_folder(const Work_folder&) = delete;
    Work_folder& operator=(const Work_folder&) = delete;

    const std::wstring& path() const { return path_; }
    std::wstring database() const { return path_ + L"\\plugins\\zaptor.db"; }

private:
    std::wstring previous_;
    std::wstring path_;
};
