// The URL interpreter: selection markers and their escaping against a fake
// machine, and the real shell opening the recorder for a test protocol.
#include "interpreters/url_interpreter.h"

#include "contract/parameter_values.h"
#include "host/reference_host.h"
#include "interpreters/interpreters_test_support.h"
#include "output_test_support.h"
#include "shell_test_support.h"
#include "storage/code_storage.h"
#include "support/test_support.h"
#include "target_client.h"

#include <gtest/gtest.h>

using namespace Shell_test;

namespace {

class UrlInterpreter : public ::testing::Test {
protected:
    void SetUp() override {
        folder = Test_support::make_temp_directory(L"url");
        storage = Code_storage::open_path(folder + L"\\code_storage.db");
        auto fake = std::make_unique<Fake_environment>();
        machine = fake.get();
        interpreter.reset(new Url_interpreter(&host, storage, std::move(fake)));
    }
    void TearDown() override {
        interpreter.reset();
        storage.reset();
        Test_support::remove_tree(folder);
    }
    void run(const std::wstring& code, const std::wstring& type = L"url_interpreter") {
        const std::wstring ident = L"zp_" + std::to_wstring(++stored) + L"_user_id";
        ASSERT_EQ(storage->store_code(ident, type, code, L"name", L"", L""), 0);
        auto list = Reference_host::make_list();
        Param::write_text(list.get(), L"request", L"execute");
        Param::write_u32(list.get(), L"deactivate", 0x55);
        host.deliver(ident, list.get());
    }

    Reference_host host;
    std::wstring folder;
    std::shared_ptr<Code_storage> storage;
    std::unique_ptr<Url_interpreter> interpreter;
    Fake_environment* machine = nullptr;
    int stored = 0;
};

} // namespace

TEST_F(UrlInterpreter, MarkersTakeTheEscapedSelection) {
    machine->selection = L"100% Fish & chips #1\r\n\u00e4";
    run(L"https://s.example/?q=%s&r=xVelloquartex&t=xvelloquartex");
    const std::wstring escaped = L"100%25 Fish %26 chips %231\r\n\u00e4";
    ASSERT_EQ(machine->opened.size(), 1u);
    EXPECT_EQ(machine->opened[0],
              L"https://s.example/?q=" + escaped + L"&r=" + escaped + L"&t=" + escaped);
    EXPECT_EQ(machine->selection_reads, 1);

    // An empty selection removes the markers; a URL that ends up empty is not opened.
    machine->selection.clear();
    run(L"https://s.example/?q=%s");
    run(L"%s");
    ASSERT_EQ(machine->opened.size(), 2u);
    EXPECT_EQ(machine->opened[1], L"https://s.example/?q=");
}

TEST_F(UrlInterpreter, WithoutMarkersNothingIsCapturedAndPlaceholdersAreRendered) {
    machine->selection = L"unused";
    run(L"https://s.example/{date:yyyy-MM-dd}/%S");
    ASSERT_EQ(machine->opened.size(), 1u);
    EXPECT_EQ(machine->opened[0], L"https://s.example/2026-03-14/%S");
    EXPECT_EQ(machine->selection_reads, 0);
    // Another type, or a press without release, opens nothing.
    run(L"https://other.example/", L"batch_interpreter");
    EXPECT_EQ(machine->opened.size(), 1u);
}

TEST(UrlInterpreterShell, OpensTheRecorderWithTheEscapedSelection) {
    ASSERT_TRUE(register_recorder_as_url_handler());
    const std::wstring folder = Test_support::make_temp_directory(L"urlshell");
    const std::wstring log = folder + L"\\opened.log";
    Scoped_environment recorder_log(L"ZAPTOR_RECORDER_LOG", log);
    Target_app target;
    ASSERT_TRUE(target.start());
    {
        Reference_host host;
        std::shared_ptr<Code_storage> storage =
            Code_storage::open_path(folder + L"\\code_storage.db");
        Url_interpreter interpreter(&host, storage);
        ASSERT_EQ(storage->store_code(L"zp_1_user_id", L"url_interpreter",
                                      L"zaptortest:find?q=%s&n=1", L"find", L"", L""),
                  0);
        ASSERT_TRUE(target.set_text(Target_app::Control::edit, L"Fish & chips #1 at 100%"));
        ASSERT_TRUE(target.select(Target_app::Control::edit, 0, -1));
        ASSERT_TRUE(target.activate());
        auto list = Reference_host::make_list();
        Param::write_text(list.get(), L"request", L"execute");
        Param::write_u32(list.get(), L"deactivate", 0x55);
        host.deliver(L"zp_1_user_id", list.get());

        const auto records = wait_for_records(log, 1);
        ASSERT_EQ(records.size(), 1u);
        EXPECT_EQ(records[0], L"zaptortest:find?q=Fish %26 chips %231 at 100%25&n=1");
        // No backup scope: the copied selection stays on the clipboard.
        EXPECT_EQ(Output_test::clipboard_text(), L"Fish & chips #1 at 100%");
    }
    Test_support::remove_tree(folder);
}
