#include "support/json_check.h"
#include "support/test_support.h"
#include "support/vqhost_runner.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <sqlite3.h>

#include <cstring>
#include <sstream>

using namespace Test_support;

TEST(Lifecycle, BackupResultIsAndedIntoTheIncomingResult) {
    auto install = make_vqhost_install(L"backup");
    CreateDirectoryW((install.dir + L"\\target").c_str(), nullptr);
    std::string script = "load plugins\\zaptor.dll\nsend startup\n";
    // A 4-byte result is not a flag: it counts as true. The code storage
    // cannot be copied into a folder that does not exist.
    for (const char* request : {"create_backup result=flag:0", "create_backup",
                                "create_backup result=u32:0", "restore_backup result=flag:1"})
        script += std::string("send ") + request + " path=text:target\n";
    script += "send create_backup path=text:missing\nsend shutdown\nfinalize\n";
    auto run = run_vqhost_script(install, script);
    ASSERT_EQ(run.exit_code, 0u) << run.output;
    std::string results;
    std::istringstream in(run.output);
    for (std::string line; std::getline(in, line);)
        if (line.rfind("= result ", 0) == 0)
            results += line.substr(9) + " ";
    EXPECT_EQ(results, "flag:0 flag:1 flag:1 flag:1 flag:0 ") << run.output;
    EXPECT_TRUE(file_exists(install.dir + L"\\target\\code_storage.db"));
}

TEST(Lifecycle, TraceFileWithTokenAndLevelChanges) {
    auto install = make_vqhost_install(L"trace");
    write_file(install.dir + L"\\trace_token.txt", "");
    auto run = run_vqhost_script(install,
                                 "load plugins\\zaptor.dll\n"
                                 "send startup\n"
                                 "send set_debug_level level=text:Debug\n" // not a level name
                                 "send startups\n"
                                 "send shutdown\n"
                                 "send set_debug_level level=text:off\n"
                                 "finalize\n");
    ASSERT_EQ(run.exit_code, 0u) << run.output;
    std::string log = read_file(install.plugins + L"\\zaptor.log");
    ASSERT_FALSE(log.empty()) << "no zaptor.log beside the DLL";
    EXPECT_EQ(count_of(log, "[ZP_Startup_filter::on_startup]"), 1u) << log;
    EXPECT_EQ(count_of(log, "[ZP_Startup_filter::on_shutdown]"), 1u) << log;
    // "Debug" changed nothing: no level line before "off".
    EXPECT_EQ(log.find("set log level to"), std::string::npos) << log;
    // "off" dumps the perf log as a JSON array and ends tracing: "zaptor
    // finalize" never reaches the file.
    std::size_t dump = log.find("Dumping Perf-Log\n");
    ASSERT_NE(dump, std::string::npos) << log;
    std::string array = log.substr(dump + 17);
    ASSERT_GE(array.size(), 2u);
    EXPECT_EQ(array.substr(array.size() - 2), "]\n");
    array.pop_back();
    EXPECT_TRUE(is_valid_json(array)) << array;
    EXPECT_NE(array.find("\"cat\": \"vqhost.exe\""), std::string::npos) << array;
    EXPECT_EQ(log.find("zaptor finalize"), std::string::npos) << log;
}

TEST(Lifecycle, NoTokenNoTraceFileUntilTheHostSetsALevel) {
    auto install = make_vqhost_install(L"notoken");
    auto run = run_vqhost_script(install, "load plugins\\zaptor.dll\n"
                                          "send startup\n"
                                          "send shutdown\n");
    ASSERT_EQ(run.exit_code, 0u) << run.output;
    EXPECT_FALSE(file_exists(install.plugins + L"\\zaptor.log"));

    run = run_vqhost_script(install,
                            "load plugins\\zaptor.dll\n"
                            "send set_debug_level level=text:info\n"
                            "send startup\n" // debug marker: not at info
                            "send set_debug_level level=text:debug\n"
                            "send delete_traces\n"
                            "send shutdown\n"
                            "finalize\n");
    ASSERT_EQ(run.exit_code, 0u) << run.output;
    std::string log = read_file(install.plugins + L"\\zaptor.log");
    // delete_traces removed the file and began a new one at the same level.
    EXPECT_EQ(log.find("on_startup"), std::string::npos) << log;
    EXPECT_EQ(log.find("set log level to 3"), std::string::npos) << log;
    EXPECT_NE(log.find("\tLOG\tset log level to 4\n"), std::string::npos) << log;
    EXPECT_NE(log.find("\tDBG\t[ZP_Startup_filter::on_shutdown]\n"), std::string::npos) << log;
    EXPECT_NE(log.find("\tINF\t[finalize]  zaptor finalize\n"), std::string::npos) << log;
}

// A user's damaged or locked database must never be replaced behind their
// back; the plug-in says what is wrong and the rest of it keeps working.
TEST(Lifecycle, DamagedDatabasesAreReportedAndLeftByteIdentical) {
    struct Case {
        const wchar_t* file;
        std::string bytes;
        bool read_only;
    };
    const std::string sqlite_header = "SQLite format 3";
    const char* const start_list_stop =
        "load plugins\\zaptor.dll\n"
        "send startup\n"
        "send zp_broadcast_get_action_text ident=text:zp_uppercase\n"
        "send create_backup path=text:\"backup\"\n"
        "send shutdown\n"
        "finalize\n";
    std::vector<Case> cases = {
        {L"code_storage.db", random_bytes(8192, 1), false},
        {L"zaptor.db", random_bytes(8192, 2), false},
        // A real header and then nothing: a truncated database.
        {L"code_storage.db", sqlite_header + std::string(1, '\0') + random_bytes(84, 3), false},
        {L"zaptor.db", random_bytes(4096, 4), true},
    };
    for (const auto& c : cases) {
        auto install = make_vqhost_install(L"damaged");
        write_file(install.dir + L"\\trace_token.txt", "");
        CreateDirectoryW((install.dir + L"\\backup").c_str(), nullptr);
        std::wstring path = install.plugins + L"\\" + c.file;
        ASSERT_TRUE(write_file(path, c.bytes));
        if (c.read_only)
            SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_READONLY);
        auto run = run_vqhost_script(install, start_list_stop);
        SCOPED_TRACE(std::string(c.read_only ? "read-only " : "") +
                     std::string(c.file, c.file + wcslen(c.file)));
        EXPECT_EQ(run.exit_code, 0u) << run.output;
        // The built-in actions still answer.
        EXPECT_TRUE(has_line(run.output, "= zp_uppercase.name text:\"To upper case\""))
            << run.output;
        EXPECT_EQ(read_file(path), c.bytes);
        std::string log = read_file(install.plugins + L"\\zaptor.log");
        EXPECT_NE(log.find("\tERR\t["), std::string::npos) << log;
        SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_NORMAL);
    }
}

// A restore takes both databases from the backup, or neither: a backup of
// another shape (an extra column, a newer schema version, a missing table)
// or a live file that cannot be replaced leaves both live files
// byte-identical, and they stay usable.
TEST(Lifecycle, RestoreReplacesBothDatabasesOrNeither) {
    auto install = make_vqhost_install(L"restore");
    const std::string start = "load plugins\\zaptor.dll\nsend startup\n";
    const std::string stop = "send shutdown\nfinalize\n";
    CreateDirectoryW((install.dir + L"\\good").c_str(), nullptr);
    auto run = run_vqhost_script(install, start +
                                              "send zp_action_set_key_binding combi=u32:0x141 "
                                              "id=text:zp_uppercase title=text:Upper\n"
                                              "send create_backup path=text:good\n" +
                                              stop);
    ASSERT_EQ(run.exit_code, 0u) << run.output;
    const std::wstring files[] = {L"zaptor.db", L"code_storage.db"};
    // Each backup also differs from the live files in its usable database,
    // so that a half-done restore shows.
    const char* const new_row[] = {"INSERT INTO key_bindings VALUES (322, 'zp_lowercase', 'L');",
                                   "INSERT INTO code_store VALUES ('zp_9_user_id', 'n', '', "
                                   "'typing_interpreter', 'x', '');"};
    struct Case {
        const char* folder;
        const char* change[2]; // to zaptor.db, to code_storage.db
    } cases[] = {
        {"extra", {"ALTER TABLE key_bindings ADD COLUMN extra TEXT;", new_row[1]}},
        {"newer", {new_row[0], "UPDATE meta SET value=2 WHERE key='version';"}},
        {"missing", {"DROP TABLE key_bindings;", new_row[1]}},
        {"locked", {new_row[0], new_row[1]}}, // fits, but the live zaptor.db is read-only
    };
    std::string live[2];
    for (int i = 0; i < 2; ++i)
        live[i] = read_file(install.plugins + L"\\" + files[i]);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.folder);
        const std::wstring folder =
            install.dir + L"\\" + std::wstring(c.folder, c.folder + strlen(c.folder));
        CreateDirectoryW(folder.c_str(), nullptr);
        for (int i = 0; i < 2; ++i) {
            const std::wstring copy = folder + L"\\" + files[i];
            ASSERT_TRUE(
                CopyFileW((install.dir + L"\\good\\" + files[i]).c_str(), copy.c_str(), FALSE));
            sqlite3* db = nullptr;
            sqlite3_open16(copy.c_str(), &db);
            EXPECT_EQ(sqlite3_exec(db, c.change[i], nullptr, nullptr, nullptr), SQLITE_OK);
            sqlite3_close(db);
        }
        const bool locked = std::string(c.folder) == "locked";
        const std::wstring bindings = install.plugins + L"\\zaptor.db";
        SetFileAttributesW(bindings.c_str(),
                           locked ? FILE_ATTRIBUTE_READONLY : FILE_ATTRIBUTE_NORMAL);
        run = run_vqhost_script(install,
                                start + "send restore_backup path=text:" + c.folder + "\n" + stop);
        SetFileAttributesW(bindings.c_str(), FILE_ATTRIBUTE_NORMAL);
        ASSERT_EQ(run.exit_code, 0u) << run.output;
        EXPECT_TRUE(has_line(run.output, "= result flag:0")) << run.output;
        for (int i = 0; i < 2; ++i)
            EXPECT_TRUE(read_file(install.plugins + L"\\" + files[i]) == live[i]) << i;
    }

    // Still usable: a binding is saved, and a fitting backup is restored.
    run = run_vqhost_script(install, start +
                                         "send zp_action_set_key_binding combi=u32:0x142 "
                                         "id=text:zp_lowercase title=text:Lower\n"
                                         "send zp_action_key_binding id=text:zp_lowercase\n"
                                         "send restore_backup path=text:locked\n"
                                         "send zp_action_key_binding id=text:zp_uppercase\n" +
                                         stop);
    ASSERT_EQ(run.exit_code, 0u) << run.output;
    EXPECT_TRUE(has_line(run.output, "= stored flag:1")) << run.output;
    EXPECT_TRUE(has_line(run.output, "= key u32:0x142")) << run.output;
    EXPECT_TRUE(has_line(run.output, "= result flag:1")) << run.output;
    EXPECT_TRUE(has_line(run.output, "= key u32:0x141")) << run.output;
}

TEST(Lifecycle, WithoutAPluginsFolderTheHostKeepsWorking) {
    auto install = make_vqhost_install(L"noplugins");
    std::wstring elsewhere = install.dir + L"\\lib";
    CreateDirectoryW(elsewhere.c_str(), nullptr);
    ASSERT_TRUE(MoveFileW((install.plugins + L"\\zaptor.dll").c_str(),
                          (elsewhere + L"\\zaptor.dll").c_str()));
    ASSERT_TRUE(MoveFileW((install.plugins + L"\\zaptor.lng").c_str(),
                          (elsewhere + L"\\zaptor.lng").c_str()));
    ASSERT_TRUE(RemoveDirectoryW(install.plugins.c_str()));
    auto run =
        run_vqhost_script(install, "load lib\\zaptor.dll\n"
                                   "send startup\n"
                                   "send zp_broadcast_get_action_text ident=text:zp_lowercase\n"
                                   "send create_backup path=text:\"lib\"\n"
                                   "send shutdown\n"
                                   "finalize\n"
                                   "echo still here\n");
    EXPECT_EQ(run.exit_code, 0u) << run.output;
    EXPECT_TRUE(has_line(run.output, "= zp_lowercase.name text:\"To lower case\"")) << run.output;
    EXPECT_TRUE(has_line(run.output, "= result flag:0")) << run.output;
    EXPECT_TRUE(has_line(run.output, "still here")) << run.output;
    // Nothing was created in its place.
    EXPECT_FALSE(file_exists(install.plugins));
}
