// The batch interpreter under Wine: the exact bytes through the recorder
// standing in for %ComSpec%, and what the real cmd.exe does with a one-line
// script (Wine's cmd.exe runs only the first line of a multi-line chunk).
#include "interpreters/batch_interpreter.h"

#include "contract/parameter_values.h"
#include "host/reference_host.h"
#include "interpreters/interpreters_test_support.h"
#include "output/clipboard_window.h"
#include "output_test_support.h"
#include "shell_test_support.h"
#include "storage/code_storage.h"
#include "support/test_support.h"
#include "support/trace_capture.h"
#include "support/work_folder.h"
#include "target_client.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <set>
#include <vector>

using namespace Shell_test;

namespace {

// Counts the open kernel handles by probing every handle value: Wine's
// GetProcessHandleCount answers 0.
DWORD handle_count() {
    DWORD count = 0, flags = 0;
    for (ULONG_PTR value = 4; value < 0x20000; value += 4)
        count += GetHandleInformation(reinterpret_cast<HANDLE>(value), &flags) ? 1 : 0;
    return count;
}

BOOL CALLBACK collect_visible(HWND window, LPARAM data) {
    if (IsWindowVisible(window))
        reinterpret_cast<std::set<HWND>*>(data)->insert(window);
    return TRUE;
}

class BatchInterpreter : public ::testing::Test {
protected:
    // The test's thread plays the host's, which the start-up gives the
    // clipboard window.
    static void SetUpTestSuite() { ASSERT_NE(Clipboard_window::create_process_window(), nullptr); }
    // Stores the code and sends what a key binding sends on release
    // ("deactivate") or press; no filter has the ident, so the host hands it
    // to the default handler.
    void execute(const std::wstring& code, const wchar_t* type = L"batch_interpreter",
                 const wchar_t* key = L"deactivate") {
        const std::wstring ident = L"zp_" + std::to_wstring(++stored) + L"_user_id";
        EXPECT_EQ(storage->store_code(ident, type, code, L"name", L"", L""), 0);
        auto list = Reference_host::make_list();
        Param::write_text(list.get(), L"request", L"execute");
        Param::write_u32(list.get(), key, 0x41);
        host.deliver(ident, list.get());
    }

    Work_folder work{L"batch"}; // the current directory meanwhile
    const std::wstring folder = work.path();
    Reference_host host;
    std::shared_ptr<Code_storage> storage = Code_storage::open_path(folder + L"\\code_storage.db");
    std::unique_ptr<Fake_environment> owned_environment = std::make_unique<Fake_environment>();
    Fake_environment& environment = *owned_environment;
    Batch_interpreter interpreter{&host, storage, std::move(owned_environment)};
    int stored = 0;
};

} // namespace

TEST_F(BatchInterpreter, RecorderReadsTheRenderedScriptInAnsiThenTheExitLine) {
    CPINFO info{};
    ASSERT_TRUE(GetCPInfo(CP_ACP, &info));
    // The typing data of "{key:shift return}": Shift down, Return, Shift up.
    const std::string shift_return = "\x02"
                                     "10\r\x03"
                                     "10";
    const std::wstring wide_shift_return(shift_return.begin(), shift_return.end());
    const struct {
        std::wstring clipboard, code;
        std::string input; // "": nothing runs
        // What the rendering asks of the host, in order (actions, questions, values).
        std::vector<std::wstring> requests = {};
        const wchar_t *type = L"batch_interpreter", *key = L"deactivate";
    } cases[] = {
        // The clipboard text goes into the script as copied: what looks like
        // a placeholder in it is neither run nor asked nor rendered.
        {L"{date:yyyy}", L"echo one\r\necho {clipboard}",
         "echo one\r\necho {date:yyyy}\r\nexit\r\n"},
        {L"{action:zp_probe}", L"echo {clipboard}", "echo {action:zp_probe}\r\nexit\r\n"},
        {L"{ask:text, Name}{var:x}", L"echo {clipboard}",
         "echo {ask:text, Name}{var:x}\r\nexit\r\n"},
        // ... nor a cursor marker; the key elements stay plain characters.
        {L"a{|}b\x02"
         L"5b",
         L"echo {clipboard}{|}",
         "echo a{|}b\x02"
         "5b\r\nexit\r\n"},
        // Every "{clipboard}" gets the text, next to placeholders the code
        // itself holds, which still render and run.
        {L"a{b}c",
         L"echo {clipboard} {date:yyyy} {selection} {clipboard}{action:zp_probe}",
         "echo a{b}c 2026 {sel} a{b}c\r\nexit\r\n",
         {L"vq_default_action_handler"}},
        {L"", L"echo [{clipboard}]", "echo []\r\nexit\r\n"},
        // A line break right after a shift-return key sequence is dropped
        // only where the code wrote both; copied text keeps its own.
        {L"x", L"echo {key:shift return}\r\nx", "echo " + shift_return + "x\r\nexit\r\n"},
        {L"\r\nx", L"echo {key:shift return}{clipboard}",
         "echo " + shift_return + "\r\nx\r\nexit\r\n"},
        {wide_shift_return, L"echo {clipboard}\r\necho y",
         "echo " + shift_return + "\r\necho y\r\nexit\r\n"},
        // A character the ANSI code page lacks arrives as its default character.
        {L"x", L"echo \u2603", "echo " + std::string(1, info.DefaultChar[0]) + "\r\nexit\r\n"},
        {L"x", L"echo x", "", {}, L"url_interpreter"},
        {L"x", L"echo pressed", "", {}, L"batch_interpreter", L"activate"},
    };
    environment.selection = L"{sel}";
    std::vector<std::wstring> requests;
    host.set_request_observer([&](const std::wstring& name, Parameters*) {
        if (name == L"vq_default_action_handler" || name == L"ask_text" || name == L"ask_date" ||
            name == L"kvstore_read")
            requests.push_back(name);
    });
    Scoped_environment comspec(L"ComSpec", recorder_path());
    for (const auto& c : cases) {
        const std::wstring file = folder + L"\\stdin" + std::to_wstring(stored) + L".bin";
        Scoped_environment output(L"ZAPTOR_RECORDER_STDIN", file);
        ASSERT_TRUE(Output_test::set_clipboard_text(c.clipboard));
        requests.clear();
        execute(c.code, c.type, c.key);
        wait_for_file(file, c.input.empty() ? 1500 : 20000);
        EXPECT_EQ(Test_support::read_file(file), c.input) << c.code;
        EXPECT_EQ(requests, c.requests) << c.code;
        EXPECT_EQ(Output_test::clipboard_text(), c.clipboard) << c.code; // given back
    }
    host.set_request_observer(nullptr);
}

TEST_F(BatchInterpreter, HugeScriptsAndMissingProcessorsCloseEveryHandle) {
    const std::wstring file = folder + L"\\stdin.bin";
    Scoped_environment output(L"ZAPTOR_RECORDER_STDIN", file);
    Trace_capture trace; // opens the trace file, which stays open, before the count
    const DWORD handles_before = handle_count();
    ASSERT_GT(handles_before, 0u);
    // 1 MiB to a child that reads nothing for 3 s: the write does not wait
    // for the reader, so the recorder has not written anything yet.
    {
        Scoped_environment stall(L"ZAPTOR_RECORDER_STALL", L"3000");
        std::wstring script;
        for (int line = 0; script.size() < (1u << 20); ++line)
            script += L"echo line " + std::to_wstring(line) + L"\r\n";
        script.resize(1u << 20);
        ASSERT_TRUE(run_batch_script(recorder_path(), script));
        EXPECT_FALSE(Test_support::file_exists(file));
        ASSERT_TRUE(wait_for_file(file, 60000));
        const std::string bytes = Test_support::read_file(file);
        EXPECT_EQ(bytes.size(), (1u << 20) + 8u);
        EXPECT_EQ(bytes.substr(0, 14), "echo line 0\r\ne");
        EXPECT_EQ(bytes.substr(bytes.size() - 8), "\r\nexit\r\n");
    }
    EXPECT_FALSE(run_batch_script(folder + L"\\missing.exe", L"echo x"));
    // A child that ends without reading: the write neither hangs nor leaks.
    {
        Scoped_environment no_input(L"ZAPTOR_RECORDER_STDIN", L"");
        run_batch_script(recorder_path(), std::wstring(100000, L'x'));
    }
    wait_pumping(200);
    EXPECT_EQ(handle_count(), handles_before);
}

TEST_F(BatchInterpreter, RealCommandProcessorWritesIntoTheHostsCurrentDirectoryUnseen) {
    ASSERT_TRUE(Output_test::set_clipboard_text(L"ab"));
    std::set<HWND> before, during;
    EnumWindows(&collect_visible, reinterpret_cast<LPARAM>(&before));
    execute(L"(for /L %i in (1,1,2000) do @rem) & echo {clipboard}{clipboard} "
            L"{date:yyyy}> batch_out.txt");
    const std::wstring out = folder + L"\\batch_out.txt";
    for (const ULONGLONG end = GetTickCount64() + 30000;
         !Test_support::file_exists(out) && GetTickCount64() < end; wait_pumping(20))
        EnumWindows(&collect_visible, reinterpret_cast<LPARAM>(&during));
    wait_pumping(300);
    EXPECT_EQ(Test_support::read_file(out), "abab 2026\r\n");
    EXPECT_TRUE(std::includes(before.begin(), before.end(), during.begin(), during.end()))
        << "a window came up while the script ran";
    EXPECT_EQ(Output_test::clipboard_text(), L"ab");
}

// A script leaves a program's clipboard exactly as it was, in every format,
// and does not even rewrite it: reading the clipboard changes nothing.
TEST_F(BatchInterpreter, ScriptLeavesTheUsersClipboardUntouched) {
    Target_app owner;
    ASSERT_TRUE(owner.start());
    ASSERT_TRUE(owner.own_clipboard());
    Scoped_environment comspec(L"ComSpec", recorder_path());
    const struct {
        const wchar_t* code;
        std::string input_start; // the rest depends on the ANSI code page
    } cases[] = {{L"echo hi", "echo hi\r\nexit\r\n"}, {L"echo {clipboard}", "echo fixture text "}};
    for (const auto& c : cases) {
        const std::wstring file = folder + L"\\stdin" + std::to_wstring(stored) + L".bin";
        Scoped_environment output(L"ZAPTOR_RECORDER_STDIN", file);
        const DWORD sequence = GetClipboardSequenceNumber();
        execute(c.code);
        wait_for_file(file, 20000);
        EXPECT_EQ(Test_support::read_file(file).substr(0, c.input_start.size()), c.input_start);
        EXPECT_EQ(GetClipboardSequenceNumber(), sequence) << c.code;
        EXPECT_EQ(owner.clipboard_intact(), 0x100) << c.code;
    }
}
