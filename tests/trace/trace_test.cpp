#include "support/test_support.h"
#include "trace/trace.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>
#include <regex>
#include <sstream>
#include <thread>
#include <vector>

namespace {

using Lines = std::vector<std::string>;

// Read after a flush, so that only the write-through row depends on lines
// reaching the file by themselves.
std::string log_text() {
    Trace::get()->flush();
    return Test_support::read_file(Trace::trace_file_path());
}

Lines entries(bool with_stamp = false) {
    Lines result;
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
    Trace::debug("C::hidden") << "not at level 3";
    Trace::info("C::info") << "value " << 42u;
    EXPECT_EQ(entries(), (Lines{"LOG\tset log level to 3", "INF\t[C::info]  value 42"}));
    Trace::set_level(4);
    Trace::debug("C::op") << "n=" << 5 << L" zp";
    Trace::marker("C::marker");
    Trace::error("C::err") << L"\u00e4 " << -7;
    Trace::error("C::u64") << UINT64_MAX << " " << (std::uint64_t{1} << 63);
    Trace::timing_line(L"scope", 17);
    EXPECT_EQ(entries(), (Lines{"LOG\tset log level to 4", "DBG\t[C::op] n=5 zp",
                                "DBG\t[C::marker]", "ERR\t[C::err]  \xc3\xa4 -7",
                                "ERR\t[C::u64]  18446744073709551615 9223372036854775808",
                                "TME\t[scope] 17 ms"}));
    // A whole line is in the file while the stream is still open (a crash
    // or a kill loses none); a line not yet ended is not.
    {
        Trace::Line open_line = Trace::error("C::kept");
        open_line << "written";
        EXPECT_EQ(Test_support::read_file(Trace::trace_file_path()).find("C::kept"),
                  std::string::npos);
    }
    EXPECT_NE(Test_support::read_file(Trace::trace_file_path()).find("ERR\t[C::kept]  written\n"),
              std::string::npos);
    // The time stamp is the wall clock in milliseconds.
    using namespace std::chrono;
    const auto now = duration_cast<milliseconds>(system_clock::now().time_since_epoch());
    EXPECT_LE(std::llabs(now.count() - std::stoll(entries(true).back())), 10000);
}

TEST(Trace, OffDumpsPerfLogAsJsonAndStopsWriting) {
    Trace::set_level(4);
    // 100 slots: rec149 takes rec49's; names are cut at 256 characters.
    for (int i = 0; i < 150; ++i)
        Trace::Perf_record(L"rec" + std::to_wstring(i), 0, 1);
    Trace::Perf_record(std::wstring(300, L'n'), 5, 6);
    Trace::set_level(0);
    std::string dump = log_text();
    dump = dump.substr(dump.rfind("Dumping Perf-Log\n"));
    EXPECT_NE(dump.find("\"rec149\""), std::string::npos);
    EXPECT_EQ(dump.find("\"rec49\""), std::string::npos);
    EXPECT_NE(dump.find("\"" + std::string(256, 'n') + "\""), std::string::npos);
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
