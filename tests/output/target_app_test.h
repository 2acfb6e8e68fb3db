// A test suite that runs against one zaptor_target.exe in its own process,
// started before the suite's first test and closed after its last.
#pragma once

#include "output/clipboard_window.h"
#include "tools/target_app/target_client.h"

#include <gtest/gtest.h>

#include <string>

class Target_app_test : public ::testing::Test {
protected:
    // The suite's thread plays the host's: it makes the clipboard window
    // that the plug-in's start-up would make, and serves it.
    static void SetUpTestSuite() {
        ASSERT_NE(Clipboard_window::create_process_window(), nullptr);
        ASSERT_TRUE((target = new Target_app)->start());
    }
    static void TearDownTestSuite() { delete target; }
    // Text in one of the target's controls, selected from `first` to
    // `second` (-1: the end), and the target in front for the next keys.
    static void hold(Target_app::Control control, const std::wstring& text, int first = 0,
                     int second = -1) {
        ASSERT_TRUE(target->set_text(control, text));
        ASSERT_TRUE(target->select(control, first, second));
        ASSERT_TRUE(target->activate());
    }
    static inline Target_app* target = nullptr;
};
