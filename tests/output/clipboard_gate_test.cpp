// One clipboard action at a time: a second one that starts while the first
// is inside its clipboard work is refused and leaves everything alone.
//
// The first action runs on a worker thread; its copy job goes to the
// clipboard window, which this thread serves. Until this thread pumps, the
// job waits in its queue, so the first is held inside its clipboard work for
// as long as the test needs, whatever the timing.
#include "builtin_actions/clipboard_stash.h"
#include "builtin_actions/text_transform_actions.h"
#include "contract/parameter_values.h"
#include "host/reference_host.h"
#include "interpreters/typing_environment.h"
#include "output_test_support.h"
#include "target_app_test.h"
#include "target_client.h"
#include "trace/trace.h"

#include <gtest/gtest.h>

#include <atomic>
#include <filesystem>
#include <fstream>
#include <thread>

using namespace Output_test;
using Control = Target_app::Control;

namespace {

// Refusals the gate has written for `who` so far.
int refusals(const std::string& who) {
    Trace::get()->flush();
    std::ifstream in(std::filesystem::path(Trace::trace_file_path()), std::ios::binary);
    int count = 0;
    for (std::string line; std::getline(in, line);)
        count += line.find("INF\t[" + who + "]  another clipboard action is running") !=
                 std::string::npos;
    return count;
}

bool job_waiting() {
    MSG message;
    return PeekMessageW(&message, Clipboard_window::process_window(), Clipboard_window::job_message,
                        Clipboard_window::job_message, PM_NOREMOVE) != 0;
}

class ClipboardGate : public Target_app_test {
protected:
    int release(const std::wstring& ident, std::uint32_t key_code) {
        auto list = Reference_host::make_list();
        Param::write_text(list.get(), L"request", L"execute");
        Param::write_u32(list.get(), L"deactivate", key_code);
        return host.deliver(ident, list.get());
    }
    Reference_host host;
};

TEST_F(ClipboardGate, SecondActionIsRefusedWhileTheFirstHoldsTheClipboard) {
    Trace::set_level(Trace::info_level);
    MakeLowercaseAction lower(&host);
    MakeUppercaseAction upper(&host);
    Clipboard_stash::SetStashAction set(&host);
    System_environment typing;
    const struct {
        const wchar_t* ident; // nullptr: the typing language's {selection}
        const char* who;
        const wchar_t* edit_after; // the second (let in) on "third words"
        const wchar_t* read;       // what {selection} reads
        std::size_t stashed;       // text bytes in slot G
    } cases[] = {
        {L"zp_uppercase", "MakeUppercaseAction::process_deactivate", L"THIRD WORDS", L"", 0},
        {L"zp_clipboardstash_set", "Clipboard_stash::SetStashAction::process_deactivate",
         L"third words", L"", (11 + 1) * 2},
        {nullptr, "System_environment::selection_text", L"third words", L"third words", 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.who);
        const auto second = [&] {
            if (c.ident)
                release(c.ident, 0x0147);
            return c.ident ? std::wstring() : typing.selection_text();
        };
        const auto stashed = [] {
            for (const Saved_format& record : *Clipboard_stash::slot(0x47))
                if (record.format == CF_UNICODETEXT)
                    return static_cast<std::size_t>(record.size);
            return std::size_t{0};
        };
        Clipboard_stash::clear();
        ASSERT_TRUE(target->own_clipboard());
        hold(Control::edit, L"First WORDS");

        std::atomic<bool> first_done{false};
        std::thread first([&] {
            release(L"zp_lowercase", 0x4C);
            first_done = true;
        });
        // Polled without pumping: pumping would serve the job.
        bool held = job_waiting();
        for (const ULONGLONG end = GetTickCount64() + 10000; !held && GetTickCount64() < end;
             held = job_waiting())
            Sleep(1);
        const DWORD sequence = GetClipboardSequenceNumber();
        const int refused = refusals(c.who);
        std::wstring read = L"not run";
        if (held)
            std::thread([&] { read = second(); }).join();
        EXPECT_TRUE(held) << "the first action never asked for its copy";
        EXPECT_EQ(refusals(c.who), refused + 1);
        EXPECT_EQ(GetClipboardSequenceNumber(), sequence);
        EXPECT_EQ(read, L"");
        EXPECT_EQ(stashed(), 0u);

        EXPECT_TRUE(pump_until([&] { return first_done.load(); }, 15000));
        first.join();
        EXPECT_EQ(target->text(Control::edit), L"first words");
        EXPECT_EQ(target->clipboard_intact(), 0x100);

        // With the first over, the same action is let in.
        hold(Control::edit, L"third words");
        EXPECT_EQ(second(), c.read);
        EXPECT_EQ(target->text(Control::edit), c.edit_after);
        EXPECT_EQ(stashed(), c.stashed);
        EXPECT_EQ(refusals(c.who), refused + 1);
        EXPECT_EQ(target->clipboard_intact(), 0x100);
    }
}

} // namespace
