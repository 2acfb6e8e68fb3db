// The process-wide trace stream. Off (a null stream) unless a file
// "trace_token.txt" lies beside the host executable or the host sets a level.
//
// Writing a line:
//   Trace::debug("Class::operation") << L"name = " << value;   // debug level
//   Trace::info("Class::operation") << "text";                 // info level and up
//   Trace::error("Class::operation") << "text";                // always
//   Trace::marker("Class::operation");                         // "DBG\t[f]\n"
// The level test happens before the line lock is taken; a line that is not
// written costs one virtual call.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>

namespace Trace {

enum Level : int { off = 0, error_level = 1, warning_level = 2, info_level = 3, debug_level = 4 };

class Trace_stream {
public:
    /*0*/ virtual Trace_stream& write_pointer(const void* pointer) = 0;
    /*1*/ virtual Trace_stream& write_hex(std::uint32_t value, int width) = 0;
    /*2*/ virtual Trace_stream& write_int_as_text(std::int32_t value) = 0;
    /*3*/ virtual Trace_stream& write_uint_as_text(std::uint32_t value) = 0;
    /*4*/ virtual Trace_stream& write_int64_as_text(std::int64_t value) = 0;
    /*5*/ virtual Trace_stream& write_double(double value, int width) = 0;
    /*6*/ virtual Trace_stream& write_wide(const wchar_t* text, std::size_t length) = 0;
    /*7*/ virtual Trace_stream& write_narrow(const char* text, std::size_t length) = 0;
    /*8*/ virtual Trace_stream& write_wide_z(const wchar_t* text) = 0;
    /*9*/ virtual Trace_stream& write_narrow_z(const char* text) = 0;
    /*10*/ virtual Trace_stream& begin_line() = 0;
    /*11*/ virtual void set_level(int level) = 0;
    /*12*/ virtual int level() const = 0;
    /*13*/ virtual void flush() = 0;
    /*14*/ virtual ~Trace_stream() = default;
};

// The current stream; created on first use from the token file.
std::shared_ptr<Trace_stream> get();

// Path of the trace file: the plug-in's own file name with ".log".
std::wstring trace_file_path();

void set_level(int level);
int current_level();
void delete_trace_file();

// Locks the line lock and begins a line on the current stream.
class Line_guard {
public:
    Line_guard();
    ~Line_guard();
    Line_guard(const Line_guard&) = delete;
    Line_guard& operator=(const Line_guard&) = delete;
    Trace_stream& stream() { return *stream_; }

private:
    std::unique_lock<std::recursive_mutex> lock_;
    std::shared_ptr<Trace_stream> stream_;
};

// One line of a given kind; writes nothing when the level test failed.
class Line {
public:
    enum class Kind { debug, info, error, timing };
    Line(Kind kind, const char* function);
    ~Line();
    Line(Line&& other) noexcept;
    Line(const Line&) = delete;
    Line& operator=(const Line&) = delete;

    bool enabled() const { return guard_ != nullptr; }

    Line& operator<<(const char* text);
    Line& operator<<(const std::string& text);
    Line& operator<<(const wchar_t* text);
    Line& operator<<(const std::wstring& text);
    Line& operator<<(std::int32_t value);
    Line& operator<<(std::uint32_t value);
    Line& operator<<(std::int64_t value);
    Line& operator<<(std::uint64_t value);
    Line& operator<<(long value) { return *this << static_cast<std::int64_t>(value); }
    Line& operator<<(unsigned long value) { return *this << static_cast<std::uint64_t>(value); }
    Line& operator<<(double value);
    Line& operator<<(const void* pointer);
    // A wide text given as pointer and length.
    Line& text(const wchar_t* text, std::size_t length);
    // A number as "0x" and at least `width` hex digits.
    Line& hex(std::uint32_t value, int width = 8);

private:
    std::unique_ptr<Line_guard> guard_;
};

Line debug(const char* function);
Line info(const char* function);
Line error(const char* function);
// "DBG\t[function]\n" at debug level.
void marker(const char* function);

bool debug_enabled();
bool info_enabled();

// Stores a timed record in the perf ring (name cut to 256 characters).
void Perf_record(const std::wstring& name, std::int64_t start, std::int64_t end);
std::int64_t performance_counter();
std::int64_t performance_frequency();
// Writes the perf log as one trace-event JSON array.
void write_perf_log(Trace_stream& stream);

// Writes "TME\t[name] N ms" and a perf record when it ends.
class Timing_scope {
public:
    explicit Timing_scope(std::wstring name);
    ~Timing_scope();
    Timing_scope(const Timing_scope&) = delete;
    Timing_scope& operator=(const Timing_scope&) = delete;

private:
    std::wstring name_;
    std::uint64_t start_ticks_;
    std::int64_t start_counter_;
};

// The timing line alone, for callers that measured themselves.
void timing_line(const std::wstring& name, std::uint64_t elapsed_ms);

} // namespace Trace
