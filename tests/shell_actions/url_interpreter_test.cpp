// The URL interpreter: selection markers and their escaping against a fake
// machine, and the real shell opening the recorder for a test protocol.
#include "interpreters/url_interpreter.h"

#include "contract/parameter_values.h"
#include "host/reference_host.h"
#include "interpreters/interpreters_test_support.h"
#include "output/clipboard_window.h"
#include "output_test_support.h"
#include "shell_test_support.h"
#include "storage/code_storage.h"
#include "support/work_folder.h"
#include "target_client.h"

#include <gtest/gtest.h>

using namespace Shell_test;

namespace {

class UrlInterpreter : public ::testing::Test {
protected:
    // The test's thread plays the host's, which the start-up gives the
    // clipboard window.
    static void SetUpTestSuite() { ASSERT_NE(Clipboard_window::create_process_window(), nullptr); }
    void run(const std::wstring& code, const std::wstring& type = L"url_interpreter") {
        const std::wstring ident = L"zp_" + std::to_wstring(++stored) + L"_user_id";
        ASSERT_EQ(storage->store_code(ident, type, code, L"name", L"", L""), 0);
        auto list = Reference_host::make_list();
        Param::write_text(list.get(), L"request", L"execute");
        Param::write_u32(list.get(), L"deactivate", 0x55);
        host.deliver(ident, list.get());
    }

    Work_folder work{L"url"};
    const std::wstring folder = work.path();
    Reference_host host;
    std::shared_ptr<Code_storage> storage = Code_storage::open_path(folder + L"\\code_storage.db");
    Fake_environment* machine = new Fake_environment;
    std::unique_ptr<Url_interpreter> interpreter = std::make_unique<Url_interpreter>(
        &host, storage, std::unique_ptr<Typing_environment>(machine));
    int stored = 0;
};

TEST_F(UrlInterpreter, MarkersTakeTheEscapedSelectionAndOnlyMarkersReadIt) {
    const struct {
        std::wstring selection, code, opened; // "": nothing opened
        int reads;
        const wchar_t* type = L"url_interpreter";
    } cases[] = {
        // "%" first: the escapes are not escaped again.
        {L"1% & #\r\n\u00e4", L"%s&xVelloquartex/xvelloquartex",
         L"1%25 %26 %23\r\n\u00e4&1%25 %26 %23\r\n\u00e4/1%25 %26 %23\r\n\u00e4", 1},
        {L"%26 a+b=c?", L"q=%s.", L"q=%2526 a+b=c?.", 1},
        // The inserted selection is never searched for markers.
        {L"xVelloquartex%s", L"%s|xvelloquartex", L"xVelloquartex%25s|xVelloquartex%25s", 1},
        {L"v", L"s:{date:yyyy-MM-dd}/%S XVelloquartex", L"s:2026-03-14/%S XVelloquartex", 0},
        {L"", L"s:?q=%s", L"s:?q=", 1},
        {L"", L"%s", L"", 1}, // an empty URL is not opened
        {L"v", L"s:%s", L"", 0, L"batch_interpreter"},
    };
    for (const auto& c : cases) {
        machine->selection = c.selection;
        machine->selection_reads = 0;
        machine->opened.clear();
        run(c.code, c.type);
        EXPECT_EQ(machine->opened, std::vector<std::wstring>(!c.opened.empty(), c.opened))
            << c.code;
        EXPECT_EQ(machine->selection_reads, c.reads) << c.code;
    }
}

// Through the real shell, with the copy of the selection from a real
// application: the recorder stands in for the URL handler.
TEST_F(UrlInterpreter, ShellOpensTheRecorderWithTheEscapedSelection) {
    ASSERT_TRUE(register_recorder_as_url_handler());
    Scoped_environment recorder_log(L"ZAPTOR_RECORDER_LOG", folder + L"\\opened.log");
    interpreter.reset();
    interpreter = std::make_unique<Url_interpreter>(&host, storage); // on the real machine
    Target_app target;
    ASSERT_TRUE(target.start());
    ASSERT_TRUE(target.set_text(Target_app::Control::edit, L"Fish & chips #1 at 100%"));
    ASSERT_TRUE(target.select(Target_app::Control::edit, 0, -1));
    ASSERT_TRUE(target.activate());
    ASSERT_TRUE(Output_test::set_clipboard_text(L"user clipboard"));
    run(L"zaptortest:find?q=%s&n=1");
    EXPECT_EQ(wait_for_records(folder + L"\\opened.log", 1),
              std::vector<std::wstring>{L"zaptortest:find?q=Fish %26 chips %231 at 100%25&n=1"});
    // The copy borrowed the clipboard and gave the user's text back.
    EXPECT_EQ(Output_test::clipboard_text(), L"user clipboard");
}

} // namespace
