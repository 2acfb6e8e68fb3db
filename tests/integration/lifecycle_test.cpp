#include "support/json_check.h"
#include "support/test_support.h"
#include "support/vqhost_runner.h"

#include <gtest/gtest.h>
#include <windows.h>

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
