#include "interpreters/code_interpreter.h"
#include "interpreters/typing_interpreter.h"

#include "contract/owned_filter.h"
#include "contract/parameter_values.h"
#include "host/reference_host.h"
#include "interpreters/interpreters_test_support.h"
#include "interpreters/typing_language.h"
#include "output_test_support.h"
#include "storage/code_storage.h"
#include "support/test_support.h"

#include <gtest/gtest.h>

#include <memory>

namespace {

// Another code type, so that messages meant for several interpreters can be
// checked; it records what it was asked to run.
class Recording_interpreter final : public Code_interpreter {
public:
    Recording_interpreter(Interaction_if* host, std::shared_ptr<Code_storage> storage)
        : Code_interpreter(host, std::move(storage), {L"url_interpreter"}) {}
    const wchar_t* type_name() const override { return L"url_interpreter"; }
    const wchar_t* display_name() override { return L"Open URL"; }
    void execute(const std::wstring& ident) override {
        std::wstring code;
        if (load_own_code(ident, code))
            executed.push_back(code);
    }
    std::vector<std::wstring> executed;
};

class Code_interpreter_test : public ::testing::Test {
protected:
    void SetUp() override {
        folder = Test_support::make_temp_directory(L"interp");
        storage = Code_storage::open_path(folder + L"\\code_storage.db");
        auto fake = std::make_unique<Fake_environment>();
        environment = fake.get();
        typing.reset(new Typing_interpreter(&host, storage, std::move(fake)));
        other.reset(new Recording_interpreter(&host, storage));
    }
    void TearDown() override {
        typing.reset();
        other.reset();
        storage.reset();
        Test_support::remove_tree(folder);
    }

    std::unique_ptr<Parameter_list> store_message(const std::wstring& key, const std::wstring& type,
                                                  const std::wstring& code,
                                                  const std::wstring& name,
                                                  const std::wstring& description = L"",
                                                  const std::wstring& category = L"") {
        auto list = Reference_host::make_list();
        Parameters* child = list->child(key.c_str());
        Param::write_text(child, L"type", type);
        Param::write_text(child, L"code", code);
        Param::write_text(child, L"name", name);
        Param::write_text(child, L"description", description);
        Param::write_text(child, L"category", category);
        return list;
    }

    std::wstring store(const std::wstring& type, const std::wstring& code, const std::wstring& name,
                       const std::wstring& description = L"", const std::wstring& category = L"") {
        auto list = store_message(L"zp_new", type, code, name, description, category);
        host.deliver(L"zp_store_action_code", list.get());
        Parameter_list* result = list->find_child_list(L"result");
        return result ? Param::read_text(result, L"zp_new") : L"";
    }

    void execute(const std::wstring& ident, bool with_deactivate = true) {
        auto list = Reference_host::make_list();
        Param::write_text(list.get(), L"request", L"execute");
        if (with_deactivate)
            Param::write_u32(list.get(), L"deactivate", 0);
        // An ident that no filter claims goes to the default handler.
        host.deliver(ident, list.get());
    }

    Reference_host host;
    std::wstring folder;
    std::shared_ptr<Code_storage> storage;
    Fake_environment* environment = nullptr;
    Owned_filter typing;
    Owned_filter other;
};

TEST_F(Code_interpreter_test, ListsCodeTypesWithTranslatedNames) {
    auto list = Reference_host::make_list();
    host.deliver(L"zp_get_action_interpreter", list.get());
    Parameter_list* typing_child = list->find_child_list(L"typing_interpreter");
    ASSERT_NE(typing_child, nullptr);
    EXPECT_EQ(Param::read_text(typing_child, L"name"), L"Type text and key-combinations");
    EXPECT_NE(list->find_child_list(L"url_interpreter"), nullptr);
}

TEST_F(Code_interpreter_test, StoresOnlyCompleteActionsOfItsOwnType) {
    const std::wstring ident = store(L"typing_interpreter", L"hello", L"Greeting");
    EXPECT_EQ(ident.rfind(L"zp_", 0), 0u);
    EXPECT_NE(ident.find(L"_user_id"), std::wstring::npos);
    std::wstring type, code, name, description, category;
    ASSERT_EQ(storage->load_code(ident, type, code, name, description, category), 0);
    EXPECT_EQ(type, L"typing_interpreter");
    EXPECT_EQ(code, L"hello");

    // Stored once, by the one interpreter of its type.
    const std::wstring url = store(L"url_interpreter", L"https://example.org/?q=%s", L"Search");
    EXPECT_FALSE(url.empty());
    EXPECT_NE(url, ident);
    auto listing = Reference_host::make_list();
    host.deliver(L"zp_broadcast_get_action_text", listing.get());
    std::vector<std::wstring> listed;
    for (const auto& entry : listing->entries())
        if (entry.is_child)
            listed.push_back(entry.key);
    EXPECT_EQ(listed, (std::vector<std::wstring>{ident, url}));

    EXPECT_EQ(store(L"typing_interpreter", L"code", L""), L"");
    EXPECT_EQ(store(L"typing_interpreter", L"", L"Name"), L"");
    EXPECT_EQ(store(L"batch_interpreter", L"echo", L"Batch"), L""); // nobody's type here

    // An existing ident reports itself and is overwritten.
    auto update = store_message(ident, L"typing_interpreter", L"bye", L"Farewell");
    host.deliver(L"zp_store_action_code", update.get());
    ASSERT_NE(update->find_child_list(L"result"), nullptr);
    EXPECT_EQ(Param::read_text(update->find_child_list(L"result"), ident.c_str()), ident);
    ASSERT_EQ(storage->load_code(ident, type, code, name, description, category), 0);
    EXPECT_EQ(code, L"bye");
}

TEST_F(Code_interpreter_test, SearchFoldsCaseInNameAndDescriptionOnly) {
    const std::wstring by_name = store(L"typing_interpreter", L"x", L"send mail", L"", L"");
    const std::wstring by_description =
        store(L"typing_interpreter", L"x", L"Other", L"a MAIL text");
    const std::wstring by_category = store(L"typing_interpreter", L"x", L"Third", L"", L"mail");
    auto list = Reference_host::make_list();
    Param::write_text(list.get(), L"search_text", L"MAIL");
    host.deliver(L"zp_broadcast_get_action_text", list.get());
    ASSERT_NE(list->find_child_list(by_name.c_str()), nullptr);
    EXPECT_EQ(Param::read_text(list->find_child_list(by_name.c_str()), L"ident"), by_name);
    ASSERT_NE(list->find_child_list(by_description.c_str()), nullptr);
    EXPECT_EQ(Param::read_text(list->find_child_list(by_description.c_str()), L"description"),
              L"a MAIL text");
    EXPECT_EQ(list->find_child_list(by_category.c_str()), nullptr);

    auto all = Reference_host::make_list();
    Param::write_text(all.get(), L"search_text", L"");
    host.deliver(L"zp_broadcast_get_action_text", all.get());
    EXPECT_NE(all->find_child_list(by_category.c_str()), nullptr);
    EXPECT_EQ(Param::read_text(all->find_child_list(by_category.c_str()), L"category"), L"mail");

    EXPECT_TRUE(contains_ignoring_case(L"Hello World", L"o w"));
    EXPECT_FALSE(contains_ignoring_case(L"Hello", L"hello!"));
    EXPECT_FALSE(contains_ignoring_case(nullptr, L"a"));
    EXPECT_FALSE(contains_ignoring_case(L"ÄRGER", L"ärger")); // only ASCII letters fold
}

TEST_F(Code_interpreter_test, ExecutesOnlyOnReleaseAndOnlyItsOwnType) {
    const std::wstring typed =
        store(L"typing_interpreter", L"Hi {key:tab}on {date:dd.MM.}{|}!", L"T");
    const std::wstring url = store(L"url_interpreter", L"https://example.org", L"U");

    execute(typed, false); // a press without release runs nothing
    EXPECT_TRUE(host.typed_texts().empty());

    execute(typed);
    ASSERT_EQ(host.typed_texts().size(), 1u);
    EXPECT_EQ(host.typed_texts()[0], L"Hi \ton 14.03.!\x0001"
                                     L"25");

    execute(url);
    EXPECT_EQ(host.typed_texts().size(), 1u); // not the typing interpreter's
    EXPECT_EQ(static_cast<Recording_interpreter*>(other.get())->executed,
              (std::vector<std::wstring>{L"https://example.org"}));

    execute(L"zp_999_user_id"); // not stored
    EXPECT_EQ(host.typed_texts().size(), 1u);

    // The host gives no list: nothing is typed, and nothing breaks.
    host.set_parameters_available(false);
    execute(typed);
    host.set_parameters_available(true);
    EXPECT_EQ(host.typed_texts().size(), 1u);

    // The typing interpreter is also addressed by its type name.
    EXPECT_EQ(host.filter_count(L"typing_interpreter"), 1u);
}

// Text from the clipboard, the selection or an answer is typed as text: its
// U+0001 to U+0005 would otherwise start key elements (\x02 "5b" holds the
// Windows key down). What the code itself writes stays a key element.
TEST_F(Code_interpreter_test, InsertedTextPressesNoKeys) {
    const std::wstring hostile = L"x\x0002"
                                 L"5b\x0003"
                                 L"1b\x0001"
                                 L"0d\x0004"
                                 L"ffff\x0005"
                                 L"Ly";
    const std::wstring text = L"x5b1b0dffffLy";
    ASSERT_TRUE(Output_test::set_clipboard_text(hostile));
    environment->selection = hostile;
    std::vector<unsigned char> answer;
    for (wchar_t c : hostile + L'\0') {
        answer.push_back(static_cast<unsigned char>(c & 0xFF));
        answer.push_back(static_cast<unsigned char>(c >> 8));
    }
    host.set_answer(L"ask_text", {{{L"text"}, answer, true}});
    const std::wstring ident =
        store(L"typing_interpreter",
              L"[{clipboard}|{selection}|{ask:text Q}|{clipboard:s/y/&/}]{key:ctrl v}\x0001"
              L"0d",
              L"T");
    execute(ident);
    ASSERT_EQ(host.typed_texts().size(), 1u);
    EXPECT_EQ(host.typed_texts()[0], L"[" + text + L"|" + text + L"|" + text + L"|" + text +
                                         L"]\x0002"
                                         L"11v\x0003"
                                         L"11\x0001"
                                         L"0d");
    // A URL or a script takes the same text unchanged.
    EXPECT_EQ(render_code(&host, environment, L"{selection}", Inserted_text::as_is).text, hostile);
}

TEST_F(Code_interpreter_test, DescribesAndDeletes) {
    const std::wstring ident = store(L"typing_interpreter", L"abc", L"Name", L"Desc", L"Cat");
    auto list = Reference_host::make_list();
    Param::write_text(list.get(), L"request", L"get_descriptor");
    Param::write_text(list.get(), L"vq_default_action_handler", ident);
    host.deliver(L"vq_default_action_handler", list.get());
    EXPECT_EQ(Param::read_text(list.get(), L"type"), L"typing_interpreter");
    EXPECT_EQ(Param::read_text(list.get(), L"code"), L"abc");
    EXPECT_EQ(Param::read_text(list.get(), L"name"), L"Name");
    EXPECT_EQ(Param::read_text(list.get(), L"description"), L"Desc");
    EXPECT_EQ(Param::read_text(list.get(), L"category"), L"Cat");

    auto no_ident = Reference_host::make_list();
    host.deliver(L"zp_delete_action", no_ident.get());
    std::wstring type, code, name, description, category;
    EXPECT_EQ(storage->load_code(ident, type, code, name, description, category), 0);

    auto remove = Reference_host::make_list();
    Param::write_text(remove.get(), L"ident", ident);
    host.deliver(L"zp_delete_action",
                 remove.get()); // both interpreters delete; the second finds nothing
    EXPECT_NE(storage->load_code(ident, type, code, name, description, category), 0);
}

TEST_F(Code_interpreter_test, DestructionWithdrawsEverySubscription) {
    typing.reset();
    other.reset();
    for (const wchar_t* name : {L"vq_default_action_handler", L"zp_get_action_interpreter",
                                L"zp_store_action_code", L"zp_broadcast_get_action_text",
                                L"zp_delete_action", L"typing_interpreter", L"url_interpreter"})
        EXPECT_EQ(host.filter_count(name), 0u) << std::wstring(name).size();
}

} // namespace
