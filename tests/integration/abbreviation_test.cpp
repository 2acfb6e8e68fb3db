// Typed abbreviations through the shipped DLL in the reference host: the
// console types each character as the US layout's key strokes into the
// plug-in's keyboard listener, and the host records what it is asked to type.
#include "support/test_support.h"
#include "support/vqhost_runner.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <sstream>
#include <string>
#include <vector>

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

// The "= listener" marks, then the typed data, each in the order printed (a
// run may write before the console prints the marks of the keys that
// started it).
std::string decisions(const std::string& output) {
    std::string marks, written;
    std::istringstream in(output);
    for (std::string line; std::getline(in, line);) {
        if (line.rfind("= listener ", 0) == 0)
            marks += line.substr(11) + "\n";
        else if (line.rfind("> vq_keyboard_write ", 0) == 0)
            written += line.substr(20) + "\n";
    }
    return marks + written;
}

// Three Backspaces erase the typed abbreviation.
const std::string erase3 = "\\u000108\\u000108\\u000108";
// The cursor marker of zp_btw lies before " btw" and the separator: five
// Left presses back from the end.
const std::string left5 = "\\u000125\\u000125\\u000125\\u000125\\u000125";

// The host's print of typing data. One ASCII character and its NUL are four
// bytes, which it cannot tell from a number and prints as one.
std::string typing_data(const std::string& data) {
    if (data.size() == 1) {
        char number[16];
        std::snprintf(number, sizeof number, "u32:0x%x", static_cast<unsigned char>(data[0]));
        return "typing_data=" + std::string(number) + "\n";
    }
    return "typing_data=text:\"" + data + "\"\n";
}

} // namespace

// Each row: what is typed, the marks (- passed, ! swallowed), the data of
// each vq_keyboard_write it causes, in order, and the pause after them. In
// capitals only the literal text of a typing action changes: key elements
// ("\u00012e" is Delete) and letters typed as shortcuts (Control+C) stay.
// Keys typed while an expansion is under way, or within moments after its
// worker ended, are held for it: typed one by one after it, feeding the
// buffer as typed keys do, so an abbreviation among them expands after the
// held keys before it were typed.
TEST(Abbreviations, typed_keys_become_one_typing_run) {
    auto install = make_vqhost_install(L"abbreviations");
    const std::string btw = erase3 + "by the way btw " + left5;
    const std::string sig = erase3 + "best\\u00012ewishes\\u000211c\\u000311";
    const struct {
        std::string typed;
        std::string marks;
        std::vector<std::string> written;
        // A user's pause; a loaded machine may start the worker late.
        unsigned pause_ms = 800;
    } rows[] = {
        {"btw ", "---!", {btw}},
        {"Btw,", "---!", {erase3 + "By the way btw," + left5}},
        {"BTW ", "---!", {erase3 + "BY THE WAY BTW " + left5}},
        {"xbtw btwx ", "----------", {}},
        {"(btw)", "----!", {erase3 + "by the way btw)" + left5}},
        {"bt\\u0008btw ", "-------", {}},
        {"bt\\u0008tw ", "-----!", {btw}},
        {"bt\\u000dw ", "-----", {}},
        {"bt\\u0009w ", "-----", {}},
        {"bt\\u001bw ", "-----", {}},
        {"SIG;", "---!", {erase3 + "BEST\\u00012eWISHES\\u000211c\\u000311"}},
        {"sig;", "---!", {sig}},
        // The second one typed during the first one's run.
        {"btw btw ", "---!!!!!", {btw, "b", "t", "w", btw}},
        {"btw bx\\u0008tw ", "---!!!!!!!", {btw, "b", "x", "\\u000108", "t", "w", btw}},
        {"btw bt\\u000dw ", "---!!!!!!", {btw, "b", "t", "\\u00010d", "w", " "}},
        // ... and on at once after the first one's typing: no pause.
        {"btw ", "---!", {btw}, 0},
        {"sig;", "!!!!", {"s", "i", "g", sig}},
    };
    std::string script = start;
    std::string marks, expected;
    std::size_t writes = 0;
    for (const auto& row : rows) {
        script += "listener type \"" + row.typed + "\"\n";
        marks += row.marks + "\n";
        if (row.written.empty())
            continue;
        writes += row.written.size();
        script += "await vq_keyboard_write " + std::to_string(writes) + " 20000\n";
        if (row.pause_ms > 0)
            script += "sleep " + std::to_string(row.pause_ms) + "\n";
        for (const std::string& data : row.written)
            expected += typing_data(data);
    }
    script += "send shutdown\nfinalize\n";
    auto run = run_vqhost_script(install, script);
    ASSERT_EQ(run.exit_code, 0u) << run.output;
    EXPECT_EQ(decisions(run.output), marks + expected) << run.output;
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
