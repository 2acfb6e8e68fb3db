#include "support/test_support.h"
#include "trace/trace.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <chrono>
#include <regex>
#include <sstream>
#include <thread>
#include <vector>

namespace {

// The file's text (lines are buffered: flushed first), or each line's kind,
// function and text, with its time stamp in front when asked.
std::string log_text() {
    Trace::get()->flush();
    return Test_support::read_file(Trace::trace_file_path());
}

std::vector<std::string> entries(bool with_stamp = false) {
    std::vector<std::string> result;
    std::istringstream in(log_text());
    const std::regex line_form(R"(^\d{8,}\t((LOG|DBG|INF|ERR|TME)\t.*)$)");
    std::smatch m;
    for (std::string line; std::getline(in, line);)
        if (std::regex_match(line, m, line_form))
            result.push_back(m[with_stamp ? 0 : 1]);
    return result;
}

} // namespace

TEST(Trace, LinesCarryTheirKindAndLevelsFilter) {
    Trace::set_level(3);
    Trace::delete_trace_file(); // keeps the level, starts a new file
    Trace::debug("Cls::hidden") << "not at level 3";
    Trace::info("Cls::info") << "value " << 42u;
    EXPECT_EQ(entries(),
              (std::vector<std::string>{"LOG\tset log level to 3", "INF\t[Cls::info]  value 42"}));
    Trace::set_level(4);
    Trace::debug("Cls::op") << "action"
                            << " = " << L"zp_uppercase";
    Trace::marker("Cls::marker");
    Trace::error("Cls::err") << L"w\u00e4de " << -7;
    Trace::timing_line(L"scope_name", 17);
    EXPECT_EQ(entries(), (std::vector<std::string>{"LOG\tset log level to 4",
                                                   "DBG\t[Cls::op] action = zp_uppercase",
                                                   "DBG\t[Cls::marker]",
                                                   "ERR\t[Cls::err]  w\xc3\xa4"
                                                   "de -7",
                                                   "TME\t[scope_name] 17 ms"}));
    // The time stamp is the wall clock in milliseconds.
    const long long now = std::chrono::duration_cast<std::chrono::milliseconds>(
                              std::chrono::system_clock::now().time_since_epoch())
                              .count();
    EXPECT_LE(std::llabs(now - std::stoll(entries(true).back())), 10000);
}

TEST(Trace, OffDumpsPerfLogAsJsonAndStopsWriting) {
    Trace::set_level(4);
    for (int i = 0; i < 250; ++i)
        Trace::Perf_record(L"rec" + std::to_wstring(i), 1000000LL * i, 1000000LL * i + 500);
    Trace::Perf_record(std::wstring(300, L'n'), 5, 6);
    {
        Trace::Timing_scope scope(L"timed");
        Sleep(30);
    }
    Trace::set_level(0);
    // Switching off dumps the records last.
    std::string dump = log_text();
    dump = dump.substr(dump.rfind("Dumping Perf-Log\n"));
    // 100 slots, names cut at 256, slot order: slot 0 holds record 200
    // (the name cut and the timing scope went to slots 50 and 51).
    const std::regex object("\\{\"cat\": ");
    EXPECT_EQ(std::distance(std::sregex_iterator(dump.begin(), dump.end(), object),
                            std::sregex_iterator()),
              101);
    EXPECT_NE(dump.find("\"name\": \"" + std::string(256, 'n') + "\", \"ph\": \"X\""),
              std::string::npos);
    EXPECT_EQ(dump.find(std::string(257, 'n')), std::string::npos);
    EXPECT_LT(dump.find("\"name\": \"rec200\""), dump.find("\"name\": \"rec249\""));
    EXPECT_EQ(dump.find("\"name\": \"rec150\""), std::string::npos);
    // The timing scope's record is in microseconds, not counter ticks.
    std::smatch d;
    ASSERT_TRUE(
        std::regex_search(dump, d, std::regex(R"("timed", "ph": "X", "ts": \d+, "dur": (\d+))")));
    EXPECT_GT(std::stoll(d[1]), 1000);
}

TEST(Trace, LinesFromManyThreadsNeverInterleave) {
    Trace::set_level(4);
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t)
        threads.emplace_back([t] {
            for (int i = 0; i < 200; ++i)
                Trace::debug("Cls::thread") << "t" << t << " part one " << i << " part two " << i;
        });
    for (auto& thread : threads)
        thread.join();
    const std::regex whole(R"(DBG\t\[Cls::thread\] t\d part one (\d+) part two \1)");
    int matched = 0;
    for (const auto& e : entries())
        matched += std::regex_match(e, whole);
    EXPECT_EQ(matched, 800);
}
