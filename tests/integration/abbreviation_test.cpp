// Typed abbreviations through the shipped DLL in the reference host: the
// console types each character as the US layout's key strokes into the
// plug-in's keyboard listener, and the host records what it is asked to type.
#include "support/test_support.h"
#include "support/vqhost_runner.h"

#include <gtest/gtest.h>

#include <sstream>
#include <string>

using namespace Test_support;

namespace {

const char* const start =
    "load plugins\\zaptor.dll\n"
    "send startup\n"
    "send zp_store_action_code zp_btw.type=text:typing_interpreter "
    "zp_btw.code=text:\"by the way{cursor} btw\" zp_btw.name=text:\"By the way\"\n"
    "send zp_action_set_abbreviation id=text:zp_btw abbreviation=text:btw\n"
    "send zp_store_action_code zp_sig.type=text:typing_interpreter "
    "zp_sig.code=text:\"best{key:del}wishes{key:ctrl c}\" zp_sig.name=text:Sig\n"
    "send zp_action_set_abbreviation id=text:zp_sig abbreviation=text:sig; kind=text:immediate\n";

// The "= listener" marks and the typed data, in the order printed.
std::string decisions(const std::string& output) {
    std::string seen;
    std::istringstream in(output);
    for (std::string line; std::getline(in, line);) {
        if (line.rfind("= listener ", 0) == 0)
            seen += line.substr(11) + "\n";
        else if (line.rfind("> vq_keyboard_write ", 0) == 0)
            seen += line.substr(20) + "\n";
    }
    return seen;
}

// Three Backspaces erase the typed abbreviation.
const std::string erase3 = "\\u000108\\u000108\\u000108";
// The cursor marker of zp_btw lies before " btw" and the separator: five
// Left presses back from the end.
const std::string left5 = "\\u000125\\u000125\\u000125\\u000125\\u000125";

std::string typing_data(const std::string& data) {
    return "typing_data=text:\"" + data + "\"\n";
}

} // namespace

// Each row: what is typed, the marks (- passed, ! swallowed) and the data
// typed in one vq_keyboard_write ("" when nothing fires). In capitals only
// the literal text of a typing action changes: key elements ("\u00012e" is
// Delete) and letters typed as shortcuts (Control+C) stay.
TEST(Abbreviations, typed_keys_become_one_typing_run) {
    auto install = make_vqhost_install(L"abbreviations");
    const struct {
        std::string typed;
        std::string marks;
        std::string written;
    } rows[] = {
        {"btw ", "---!", erase3 + "by the way btw " + left5},
        {"Btw,", "---!", erase3 + "By the way btw," + left5},
        {"BTW ", "---!", erase3 + "BY THE WAY BTW " + left5},
        {"xbtw btwx ", "----------", ""},
        {"(btw)", "----!", erase3 + "by the way btw)" + left5},
        {"bt\\u0008btw ", "-------", ""},
        {"bt\\u0008tw ", "-----!", erase3 + "by the way btw " + left5},
        {"bt\\u000dw ", "-----", ""},
        {"bt\\u0009w ", "-----", ""},
        {"bt\\u001bw ", "-----", ""},
        {"SIG;", "---!", erase3 + "BEST\\u00012eWISHES\\u000211c\\u000311"},
        {"sig;", "---!", erase3 + "best\\u00012ewishes\\u000211c\\u000311"},
    };
    std::string script = start;
    std::string expected;
    int writes = 0;
    for (const auto& row : rows) {
        script += "listener type \"" + row.typed + "\"\n";
        expected += row.marks + "\n";
        if (!row.written.empty()) {
            // Keys typed while an expansion is under way, or within moments
            // after its worker ended, are held for it: the next row pauses
            // as a user would (a loaded machine may start the worker late).
            script += "await vq_keyboard_write " + std::to_string(++writes) + " 20000\nsleep 800\n";
            expected += typing_data(row.written);
        }
    }
    script += "send shutdown\nfinalize\n";
    auto run = run_vqhost_script(install, script);
    ASSERT_EQ(run.exit_code, 0u) << run.output;
    EXPECT_EQ(decisions(run.output), expected) << run.output;
}

// Deleting the action takes its abbreviation along; a restore brings it back.
TEST(Abbreviations, backup_deletion_and_restore_carry_them) {
    auto install = make_vqhost_install(L"abbreviation_backup");
    auto run = run_vqhost_script(install, std::string(start) +
                                              "send create_backup path=text:.\n"
                                              "send zp_delete_action ident=text:zp_btw\n"
                                              "send zp_action_abbreviation id=text:zp_btw\n"
                                              "listener type \"btw \"\n"
                                              "send restore_backup path=text:.\n"
                                              "listener type \"btw \"\n"
                                              "await vq_keyboard_write 1 20000\n"
                                              "send shutdown\nfinalize\n");
    ASSERT_EQ(run.exit_code, 0u) << run.output;
    EXPECT_EQ(decisions(run.output),
              "----\n---!\n" + typing_data(erase3 + "by the way btw " + left5))
        << run.output;
    // Only the set message's own line: the question after the deletion has no answer.
    EXPECT_EQ(count_of(run.output, "= abbreviation text:\"btw\""), 1u) << run.output;
}
