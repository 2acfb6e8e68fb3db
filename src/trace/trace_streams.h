#pragma once

#include "trace/trace.h"

#include <fstream>
#include <string>

namespace Trace {

// Drops everything; its level is 0, so level tests skip debug and info lines.
class Null_stream final : public Trace_stream {
public:
    Trace_stream& write_pointer(const void*) override { return *this; }
    Trace_stream& write_hex(std::uint32_t, int) override { return *this; }
    Trace_stream& write_int_as_text(std::int32_t) override { return *this; }
    Trace_stream& write_uint_as_text(std::uint32_t) override { return *this; }
    Trace_stream& write_int64_as_text(std::int64_t) override { return *this; }
    Trace_stream& write_double(double, int) override { return *this; }
    Trace_stream& write_wide(const wchar_t*, std::size_t) override { return *this; }
    Trace_stream& write_narrow(const char*, std::size_t) override { return *this; }
    Trace_stream& write_wide_z(const wchar_t*) override { return *this; }
    Trace_stream& write_narrow_z(const char*) override { return *this; }
    Trace_stream& begin_line() override { return *this; }
    void set_level(int) override {}
    int level() const override { return 0; }
    void flush() override {}
};

// Writes to the trace file, truncated on creation. Wide texts go out as UTF-8.
// A line is gathered in memory and goes to the file in one write when it
// ends, so the file holds every whole line even when the process dies.
class Trace_stream_impl final : public Trace_stream {
public:
    Trace_stream_impl(std::wstring path, int level);
    ~Trace_stream_impl() override;

    Trace_stream& write_pointer(const void* pointer) override;
    Trace_stream& write_hex(std::uint32_t value, int width) override;
    Trace_stream& write_int_as_text(std::int32_t value) override;
    Trace_stream& write_uint_as_text(std::uint32_t value) override;
    Trace_stream& write_int64_as_text(std::int64_t value) override;
    Trace_stream& write_double(double value, int width) override;
    Trace_stream& write_wide(const wchar_t* text, std::size_t length) override;
    Trace_stream& write_narrow(const char* text, std::size_t length) override;
    Trace_stream& write_wide_z(const wchar_t* text) override;
    Trace_stream& write_narrow_z(const char* text) override;
    Trace_stream& begin_line() override;
    void set_level(int level) override;
    int level() const override;
    void flush() override;

private:
    Trace_stream& put(const std::string& bytes);

    std::atomic<int> level_;
    std::wstring path_;
    std::ofstream file_;
    std::string pending_; // the line begun and not yet ended
};

} // namespace Trace
