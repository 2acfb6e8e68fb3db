#include "interpreters/code_interpreter.h"
#include "interpreters/typing_interpreter.h"
#include "interpreters/url_interpreter.h"

#include "contract/owned_filter.h"
#include "contract/parameter_values.h"
#include "host/reference_host.h"
#include "interpreters/interpreters_test_support.h"
#include "interpreters/typing_language.h"
#include "output/clipboard_window.h"
#include "output_test_support.h"
#include "storage/code_storage.h"
#include "support/work_folder.h"

#include <gtest/gtest.h>

namespace {

// A crash fails the run at once instead of waiting in Wine's debugger.
LONG WINAPI end_on_crash(EXCEPTION_POINTERS*) {
    return EXCEPTION_EXECUTE_HANDLER;
}
const auto previous_filter = SetUnhandledExceptionFilter(&end_on_crash);

class Code_interpreter_test : public ::testing::Test {
protected:
    // The test's thread plays the host's, which the start-up gives the
    // clipboard window.
    static void SetUpTestSuite() { ASSERT_NE(Clipboard_window::create_process_window(), nullptr); }
    // Stores {type, code, name, description, category}; the ident answered, or "".
    std::wstring store(const std::vector<std::wstring>& fields,
                       const std::wstring& key = L"zp_new") {
        auto list = Reference_host::make_list();
        const wchar_t* names[] = {L"type", L"code", L"name", L"description", L"category"};
        for (std::size_t i = 0; i < 5; ++i)
            Param::write_text(list->child(key.c_str()), names[i],
                              i < fields.size() ? fields[i] : L"");
        host.deliver(L"zp_store_action_code", list.get());
        Parameter_list* result = list->find_child_list(L"result");
        return result ? Param::read_text(result, key.c_str()) : L"";
    }
    // "type:code" of a stored action, or "".
    std::wstring stored(const std::wstring& ident) {
        std::wstring type, code, name, description, category;
        return storage->load_code(ident, type, code, name, description, category) == 0
                   ? type + L":" + code
                   : L"";
    }
    void execute(const std::wstring& ident) {
        auto list = Reference_host::make_list();
        Param::write_text(list.get(), L"request", L"execute");
        Param::write_u32(list.get(), L"deactivate", 0);
        // An ident that no filter claims goes to the default handler.
        host.deliver(ident, list.get());
    }
    // The children of a listing for `search`.
    std::vector<std::wstring> listed(const std::wstring& search) {
        auto list = Reference_host::make_list();
        Param::write_text(list.get(), L"search_text", search);
        host.deliver(L"zp_broadcast_get_action_text", list.get());
        std::vector<std::wstring> keys;
        for (const auto& entry : list->entries())
            if (entry.is_child)
                keys.push_back(entry.key);
        return keys;
    }

    Work_folder work{L"interp"};
    Reference_host host;
    std::shared_ptr<Code_storage> storage = Code_storage::open_path(work.path() + L"\\code.db");
    Fake_environment* environment = new Fake_environment;
    // Two interpreters, so that messages meant for several of them are seen.
    Owned_filter typing{
        new Typing_interpreter(&host, storage, std::unique_ptr<Typing_environment>(environment))};
    Owned_filter other{new Url_interpreter(&host, storage, std::make_unique<Fake_environment>())};
};

TEST_F(Code_interpreter_test, StoresOnlyCompleteActionsOfItsOwnTypeOnce) {
    const std::wstring ident = store({L"typing_interpreter", L"hello", L"Greeting"});
    EXPECT_EQ(ident.rfind(L"zp_", 0), 0u);
    EXPECT_NE(ident.find(L"_user_id"), std::wstring::npos);
    EXPECT_EQ(stored(ident), L"typing_interpreter:hello");
    const std::wstring url = store({L"url_interpreter", L"https://example.org/?q=%s", L"Search"});
    EXPECT_EQ(listed(L""), (std::vector<std::wstring>{ident, url}));

    EXPECT_EQ(store({L"typing_interpreter", L"code", L""}), L"");
    EXPECT_EQ(store({L"typing_interpreter", L"", L"Name"}), L"");
    EXPECT_EQ(store({L"batch_interpreter", L"echo", L"Batch"}), L""); // nobody's type here
    // An existing ident reports itself and is overwritten.
    EXPECT_EQ(store({L"typing_interpreter", L"bye", L"Farewell"}, ident), ident);
    EXPECT_EQ(stored(ident), L"typing_interpreter:bye");
}

TEST_F(Code_interpreter_test, SearchFoldsAsciiCaseInNameAndDescriptionOnly) {
    const std::wstring by_name = store({L"typing_interpreter", L"x", L"send mail"});
    const std::wstring by_description = store({L"typing_interpreter", L"x", L"O", L"a MAIL text"});
    store({L"typing_interpreter", L"x", L"T", L"", L"mail"}); // not by category
    EXPECT_EQ(listed(L"MAIL"), (std::vector<std::wstring>{by_name, by_description}));
    EXPECT_TRUE(contains_ignoring_case(L"Hello World", L"o w"));
    EXPECT_FALSE(contains_ignoring_case(L"Hello", L"hello!"));
    EXPECT_FALSE(contains_ignoring_case(nullptr, L"a"));
    EXPECT_FALSE(contains_ignoring_case(L"ÄRGER", L"ärger"));
}

// Text from the clipboard, the selection or an answer is typed as text: its
// U+0001 to U+0005 would otherwise start key elements (\x02 "5b" holds the
// Windows key down). What the code itself writes stays a key element.
TEST_F(Code_interpreter_test, InsertedTextPressesNoKeys) {
    const std::wstring hostile = L"x\u00025b\u00031b\u00010d\u0004ffff\u0005Ly";
    const std::wstring text = L"x5b1b0dffffLy";
    ASSERT_TRUE(Output_test::set_clipboard_text(hostile));
    environment->selection = hostile;
    host.set_answer(L"ask_text", {{{L"text"}, Output_test::utf16_bytes(hostile), true}});
    const std::wstring ident = store(
        {L"typing_interpreter",
         L"[{clipboard}|{selection}|{ask:text Q}|{clipboard:s/y/&/}]{key:ctrl v}\u00010d", L"T"});
    execute(ident);
    host.set_parameters_available(false); // no list from the host: nothing typed
    execute(ident);
    EXPECT_EQ(host.typed_texts(),
              (std::vector<std::wstring>{L"[" + text + L"|" + text + L"|" + text + L"|" + text +
                                         L"]\u000211v\u000311\u00010d"}));
    // A URL or a script takes the same text unchanged.
    EXPECT_EQ(render_code(&host, environment, L"{selection}", Inserted_text::as_is).text, hostile);
}

TEST_F(Code_interpreter_test, DescribesDeletesAndWithdrawsEverySubscription) {
    const std::wstring ident = store({L"typing_interpreter", L"abc", L"Name", L"Desc", L"Cat"});
    auto list = Reference_host::make_list();
    Param::write_text(list.get(), L"request", L"get_descriptor");
    Param::write_text(list.get(), L"vq_default_action_handler", ident);
    host.deliver(L"vq_default_action_handler", list.get());
    std::wstring described;
    for (const wchar_t* field : {L"type", L"code", L"name", L"description", L"category"})
        described += Param::read_text(list.get(), field) + L"|";
    EXPECT_EQ(described, L"typing_interpreter|abc|Name|Desc|Cat|");

    auto no_ident = Reference_host::make_list();
    host.deliver(L"zp_delete_action", no_ident.get());
    EXPECT_FALSE(stored(ident).empty());
    auto remove = Reference_host::make_list();
    Param::write_text(remove.get(), L"ident", ident);
    host.deliver(L"zp_delete_action", remove.get()); // the second interpreter finds nothing
    EXPECT_TRUE(stored(ident).empty());

    typing.reset();
    other.reset();
    for (const wchar_t* name : {L"vq_default_action_handler", L"zp_get_action_interpreter",
                                L"zp_store_action_code", L"zp_broadcast_get_action_text",
                                L"zp_delete_action", L"typing_interpreter", L"url_interpreter"})
        EXPECT_EQ(host.filter_count(name), 0u) << std::wstring(name).size();
}

} // namespace
