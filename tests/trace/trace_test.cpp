#include "support/json_check.h"
#include "support/test_support.h"
#include "trace/trace.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <cstring>
#include <regex>
#include <sstream>
#include <thread>
#include <vector>

using namespace Test_support;

namespace {

std::vector<std::string> lines_of(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    std::string line;
    while (std::getline(in, line))
        lines.push_back(line);
    return lines;
}

// Lines are not flushed one by one: flush before looking at the file.
std::string log_text() {
    Trace::get()->flush();
    return read_file(Trace::trace_file_path());
}

// The JSON array that follows the last "Dumping Perf-Log" line.
std::string last_perf_dump(const std::string& log) {
    std::size_t at = log.rfind("Dumping Perf-Log\n");
    if (at == std::string::npos)
        return {};
    std::size_t begin = at + std::strlen("Dumping Perf-Log\n");
    std::size_t end = log.find("]\n", begin);
    return end == std::string::npos ? std::string() : log.substr(begin, end + 1 - begin);
}

} // namespace

// Runs first: the process has no token file beside it, so tracing is off.
TEST(Trace, OffWithoutTokenFileWritesNothing) {
    ASSERT_FALSE(file_exists(exe_directory() + L"trace_token.txt"));
    DeleteFileW(Trace::trace_file_path().c_str());
    EXPECT_EQ(Trace::current_level(), 0);
    Trace::error("Test::error") << "dropped";
    Trace::debug("Test::debug") << "dropped";
    Trace::Perf_record(L"early", 1, 2);
    EXPECT_FALSE(file_exists(Trace::trace_file_path()));
}

TEST(Trace, PathIsOwnModuleWithLogExtension) {
    std::wstring path = Trace::trace_file_path();
    wchar_t exe[MAX_PATH];
    GetModuleFileNameW(nullptr, exe, MAX_PATH);
    std::wstring expected(exe);
    expected = expected.substr(0, expected.rfind(L'.')) + L".log";
    EXPECT_EQ(path, expected);
}

TEST(Trace, LineFormatsPerLevel) {
    Trace::set_level(4);
    ASSERT_EQ(Trace::current_level(), 4);
    Trace::debug("Cls::op") << "action"
                            << " = " << L"zp_uppercase";
    Trace::marker("Cls::marker");
    Trace::info("Cls::info") << "value " << 42u;
    Trace::error("Cls::err") << L"w\u00e4de " << -7;
    Trace::timing_line(L"scope_name", 17);
    Trace::set_level(3);
    Trace::debug("Cls::hidden") << "not at level 3";
    Trace::info("Cls::info3") << "shown";
    Trace::set_level(1);
    Trace::info("Cls::info1") << "not at level 1";
    Trace::error("Cls::err1") << "shown";
    Trace::set_level(4); // truncates: the level-1 file is gone

    auto first = lines_of(log_text());
    ASSERT_FALSE(first.empty());
    std::regex level_line(R"(^\d{8,}\tLOG\tset log level to 4$)");
    // The replaced stream's perf log may come first; the level line must be there.
    bool found = false;
    for (auto& l : first)
        found = found || std::regex_match(l, level_line);
    EXPECT_TRUE(found) << log_text();

    Trace::debug("Cls::op") << "action"
                            << " = " << L"zp_uppercase";
    Trace::marker("Cls::marker");
    Trace::info("Cls::info") << "value " << 42u;
    Trace::error("Cls::err") << L"w\u00e4de " << -7;
    Trace::timing_line(L"scope_name", 17);
    auto lines = lines_of(log_text());
    // After the level line: the dumped perf log of the level-1 stream, then ours.
    std::vector<std::string> ours;
    for (auto& l : lines)
        if (l.find("\tDBG\t") != std::string::npos || l.find("\tINF\t") != std::string::npos ||
            l.find("\tERR\t") != std::string::npos || l.find("\tTME\t") != std::string::npos)
            ours.push_back(l);
    ASSERT_EQ(ours.size(), 5u) << log_text();
    EXPECT_TRUE(std::regex_match(ours[0],
                                 std::regex(R"(^\d{8,}\tDBG\t\[Cls::op\] action = zp_uppercase$)")))
        << ours[0];
    EXPECT_TRUE(std::regex_match(ours[1], std::regex(R"(^\d{8,}\tDBG\t\[Cls::marker\]$)")))
        << ours[1];
    EXPECT_TRUE(std::regex_match(ours[2], std::regex(R"(^\d{8,}\tINF\t\[Cls::info\]  value 42$)")))
        << ours[2];
    EXPECT_TRUE(std::regex_match(ours[3], std::regex("^\\d{8,}\tERR\t\\[Cls::err\\]  w\xc3\xa4"
                                                     "de -7$")))
        << ours[3];
    EXPECT_TRUE(std::regex_match(ours[4], std::regex(R"(^\d{8,}\tTME\t\[scope_name\] 17 ms$)")))
        << ours[4];

    // The time stamp is the wall clock in milliseconds.
    long long stamp = std::stoll(ours[0].substr(0, ours[0].find('\t')));
    FILETIME ft;
    GetSystemTimeAsFileTime(&ft);
    long long now = static_cast<long long>(
        ((static_cast<unsigned long long>(ft.dwHighDateTime) << 32) | ft.dwLowDateTime) / 10000ULL -
        11644473600000ULL);
    EXPECT_LE(std::llabs(now - stamp), 10000);
}

TEST(Trace, OffDumpsPerfLogAsJsonAndStopsWriting) {
    Trace::set_level(4);
    for (int i = 0; i < 250; ++i)
        Trace::Perf_record(L"rec" + std::to_wstring(i), 1000000LL * i, 1000000LL * i + 500);
    Trace::Perf_record(std::wstring(300, L'n'), 5, 6);
    Trace::set_level(0);
    std::string log = log_text();
    std::string dump = last_perf_dump(log);
    ASSERT_FALSE(dump.empty()) << log;
    std::size_t where = 0;
    EXPECT_TRUE(is_valid_json(dump, &where)) << "error at " << where << ": " << dump.substr(0, 300);
    // 100 entries in slot order plus the closing object.
    std::size_t objects = 0;
    for (std::size_t p = dump.find("{\"cat\": "); p != std::string::npos;
         p = dump.find("{\"cat\": ", p + 1))
        ++objects;
    EXPECT_EQ(objects, 101u);
    EXPECT_NE(dump.find(std::string("\"name\": \"") + std::string(256, 'n') + "\", \"ph\": \"X\""),
              std::string::npos);
    EXPECT_EQ(dump.find(std::string(257, 'n')), std::string::npos);
    EXPECT_NE(dump.find("\"ph\": \"i\", \"name\": \"END OF LOG\", \"s\" : \"g\", \"ts\": "),
              std::string::npos);
    EXPECT_EQ(dump.compare(dump.size() - 2, 2, "}]"), 0);
    // Slot order, not time order: slot 0 holds record 200 (the 251st record went to slot 50).
    std::size_t r200 = dump.find("\"name\": \"rec200\"");
    std::size_t r249 = dump.find("\"name\": \"rec249\"");
    std::size_t r150 = dump.find("\"name\": \"rec150\"");
    ASSERT_NE(r200, std::string::npos);
    EXPECT_LT(r200, r249);
    EXPECT_EQ(r150, std::string::npos);
    EXPECT_EQ(Trace::current_level(), 0);

    // Nothing more reaches the file, not even the level-change line.
    auto size_before = log.size();
    Trace::error("Cls::after") << "gone";
    EXPECT_EQ(log_text().size(), size_before);
    EXPECT_EQ(log.find("set log level to 0"), std::string::npos);
}

TEST(Trace, DeleteTraceFileKeepsLevelAndTruncates) {
    Trace::set_level(3);
    Trace::info("Cls::before") << "old content";
    Trace::delete_trace_file();
    EXPECT_EQ(Trace::current_level(), 3);
    std::string log = log_text();
    EXPECT_EQ(log.find("old content"), std::string::npos);
    auto lines = lines_of(log);
    ASSERT_FALSE(lines.empty());
    EXPECT_NE(lines[0].find("LOG\tset log level to 3"), std::string::npos) << log;
}

TEST(Trace, TimingScopeWritesLineAndRecord) {
    Trace::set_level(3);
    {
        Trace::Timing_scope scope(L"wait_for_paste_with_timeout");
        Sleep(30);
    }
    std::string log = log_text();
    std::smatch m;
    ASSERT_TRUE(std::regex_search(
        log, m, std::regex(R"(\tTME\t\[wait_for_paste_with_timeout\] (\d+) ms\n)")))
        << log;
    Trace::set_level(0);
    std::string dump = last_perf_dump(read_file(Trace::trace_file_path()));
    std::smatch d;
    ASSERT_TRUE(std::regex_search(
        dump, d,
        std::regex(R"("name": "wait_for_paste_with_timeout", "ph": "X", "ts": \d+, "dur": (\d+))")))
        << dump;
    EXPECT_GT(std::stoll(d[1]), 1000); // microseconds, not counter ticks
}

TEST(Trace, LinesFromManyThreadsNeverInterleave) {
    Trace::set_level(4);
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t)
        threads.emplace_back([t] {
            for (int i = 0; i < 200; ++i)
                Trace::debug("Cls::thread") << "t" << t << " part one " << i << " part two " << i;
        });
    for (auto& th : threads)
        th.join();
    std::regex line(R"(^\d{8,}\tDBG\t\[Cls::thread\] t(\d) part one (\d+) part two \2$)");
    int matched = 0;
    for (auto& l : lines_of(log_text()))
        if (l.find("Cls::thread") != std::string::npos) {
            EXPECT_TRUE(std::regex_match(l, line)) << l;
            ++matched;
        }
    EXPECT_EQ(matched, 800);
}
