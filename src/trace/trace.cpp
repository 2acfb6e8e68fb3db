#include "trace/trace.h"

#include "contract/text_convert.h"
#include "contract/win32_text.h"
#include "trace/boundary.h"
#include "trace/trace_streams.h"

#include <windows.h>

#include <cstdio>
#include <cwchar>
#include <filesystem>

namespace Trace {
namespace {

// The stream holder outlives every caller except at unload, when `closing`
// makes late writers see no stream instead of a destroyed one.
struct Globals {
    std::shared_ptr<Trace_stream> current;
    // Recursive: a stream's last holder may let go while holding it, and the
    // stream's destructor dumps the perf log under it.
    std::recursive_mutex line_lock;
    bool closing = false;
    ~Globals() {
        closing = true;
        std::shared_ptr<Trace_stream> last = std::atomic_exchange(&current, {});
        // `last` ends here: a file stream dumps its perf log into itself.
    }
};

Globals& globals() {
    static Globals instance;
    return instance;
}

std::wstring module_path_of_this_code() {
    HMODULE module = nullptr;
    if (!GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS |
                                GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                            reinterpret_cast<LPCWSTR>(&module_path_of_this_code), &module))
        return {};
    return module_file_path(module);
}

std::wstring host_directory() {
    const std::wstring folder = executable_directory();
    return folder.empty() ? folder : folder + L"\\";
}

std::shared_ptr<Trace_stream> initial_stream() {
    std::wstring token = host_directory() + L"trace_token.txt";
    if (GetFileAttributesW(token.c_str()) != INVALID_FILE_ATTRIBUTES)
        return std::make_shared<Trace_stream_impl>(trace_file_path(), debug_level);
    return std::make_shared<Null_stream>();
}

void replace_current(std::shared_ptr<Trace_stream> stream) {
    // The old stream ends when its last holder lets go, possibly right here.
    std::atomic_store(&globals().current, std::move(stream));
}

std::uint64_t milliseconds_since_1970() {
    FILETIME ft;
    GetSystemTimeAsFileTime(&ft);
    ULARGE_INTEGER t;
    t.LowPart = ft.dwLowDateTime;
    t.HighPart = ft.dwHighDateTime;
    return (t.QuadPart - 116444736000000000ULL) / 10000ULL;
}

} // namespace

std::shared_ptr<Trace_stream> get() {
    Globals& g = globals();
    static std::once_flag once;
    std::call_once(once, [&g] {
        if (!g.closing)
            std::atomic_store(&g.current, initial_stream());
    });
    return std::atomic_load(&g.current);
}

std::wstring trace_file_path() {
    std::wstring path = module_path_of_this_code();
    if (path.empty())
        return L"vq_trace.log";
    return with_extension(path, L".log");
}

int current_level() {
    auto stream = get();
    return stream ? stream->level() : 0;
}

void set_level(int level) {
    // The dump and the swap are whole lines to other threads: under the line lock.
    std::lock_guard<std::recursive_mutex> lock(globals().line_lock);
    {
        auto stream = get();
        if (stream) {
            stream->set_level(level);
            if (level == 0) {
                stream->write_narrow_z("Dumping Perf-Log\n");
                write_perf_log(*stream);
                stream->flush();
            }
        }
        if (level == 0)
            replace_current(std::make_shared<Null_stream>());
        else
            replace_current(std::make_shared<Trace_stream_impl>(trace_file_path(), level));
    }
    Line_guard guard;
    guard.stream()
        .write_narrow_z("LOG\tset log level to ")
        .write_int_as_text(level)
        .write_narrow_z("\n");
}

void delete_trace_file() {
    int remembered = current_level();
    set_level(0);
    std::error_code ignored;
    std::filesystem::remove(std::filesystem::path(trace_file_path()), ignored);
    set_level(remembered);
}

Line_guard::Line_guard() : lock_(globals().line_lock), stream_(get()) {
    if (!stream_)
        stream_ = std::make_shared<Null_stream>();
    stream_->begin_line();
}

Line_guard::~Line_guard() = default;

Line::Line(Kind kind, const char* function) {
    // Error and timing lines are always written.
    const int level = current_level();
    if ((kind == Kind::debug && level < debug_level) || (kind == Kind::info && level < info_level))
        return;
    guard_ = std::make_unique<Line_guard>();
    Trace_stream& s = guard_->stream();
    switch (kind) {
    case Kind::debug:
        s.write_narrow_z("DBG\t[").write_narrow_z(function).write_narrow_z("] ");
        break;
    case Kind::info:
        s.write_narrow_z("INF\t[").write_narrow_z(function).write_narrow_z("]  ");
        break;
    case Kind::error:
        s.write_narrow_z("ERR\t[").write_narrow_z(function).write_narrow_z("]  ");
        break;
    case Kind::timing:
        s.write_narrow_z("TME\t[").write_narrow_z(function).write_narrow_z("] ");
        break;
    }
}

Line::Line(Line&& other) noexcept = default;

Line::~Line() {
    if (guard_)
        guard_->stream().write_narrow_z("\n");
}

Line& Line::operator<<(const char* text) {
    if (guard_ && text)
        guard_->stream().write_narrow_z(text);
    return *this;
}
Line& Line::operator<<(const std::string& text) {
    if (guard_)
        guard_->stream().write_narrow(text.data(), text.size());
    return *this;
}
Line& Line::operator<<(const wchar_t* text) {
    if (guard_ && text)
        guard_->stream().write_wide_z(text);
    return *this;
}
Line& Line::operator<<(const std::wstring& text) {
    if (guard_)
        guard_->stream().write_wide(text.data(), text.size());
    return *this;
}
Line& Line::operator<<(std::int32_t value) {
    if (guard_)
        guard_->stream().write_int_as_text(value);
    return *this;
}
Line& Line::operator<<(std::uint32_t value) {
    if (guard_)
        guard_->stream().write_uint_as_text(value);
    return *this;
}
Line& Line::operator<<(std::int64_t value) {
    if (guard_)
        guard_->stream().write_int64_as_text(value);
    return *this;
}
Line& Line::operator<<(std::uint64_t value) {
    // Through text: no slot takes an unsigned 64-bit number, and the signed
    // one would print values from 2^63 up as negative.
    if (guard_) {
        const std::string digits = std::to_string(value);
        guard_->stream().write_narrow(digits.data(), digits.size());
    }
    return *this;
}
Line& Line::operator<<(double value) {
    if (guard_)
        guard_->stream().write_double(value, 0);
    return *this;
}
Line& Line::operator<<(const void* pointer) {
    if (guard_)
        guard_->stream().write_pointer(pointer);
    return *this;
}
Line& Line::text(const wchar_t* text, std::size_t length) {
    if (guard_ && text)
        guard_->stream().write_wide(text, length);
    return *this;
}
Line& Line::hex(std::uint32_t value, int width) {
    if (guard_)
        guard_->stream().write_narrow_z("0x").write_hex(value, width);
    return *this;
}

Line debug(const char* function) {
    return Line(Line::Kind::debug, function);
}
Line info(const char* function) {
    return Line(Line::Kind::info, function);
}
Line error(const char* function) {
    return Line(Line::Kind::error, function);
}

void boundary_error(const char* where, const char* what) noexcept {
    try {
        error(where) << "exception: " << (what ? what : "");
    } catch (...) {
        // Nothing left to report with.
    }
}

namespace {
thread_local int g_entry_depth = 0;
}

int entry_depth() noexcept {
    return g_entry_depth;
}

Entry_count::Entry_count() noexcept {
    ++g_entry_depth;
}

Entry_count::~Entry_count() {
    --g_entry_depth;
}

void marker(const char* function) {
    if (!debug_enabled())
        return;
    Line_guard guard;
    guard.stream().write_narrow_z("DBG\t[").write_narrow_z(function).write_narrow_z("]\n");
}

bool debug_enabled() {
    return current_level() >= debug_level;
}
bool info_enabled() {
    return current_level() >= info_level;
}

void timing_line(const std::wstring& name, std::uint64_t elapsed_ms) {
    Line_guard guard;
    guard.stream()
        .write_narrow_z("TME\t[")
        .write_wide(name.data(), name.size())
        .write_narrow_z("] ")
        .write_int64_as_text(static_cast<std::int64_t>(elapsed_ms))
        .write_narrow_z(" ms\n");
}

Timing_scope::Timing_scope(std::wstring name)
    : name_(std::move(name)), start_ticks_(GetTickCount64()),
      start_counter_(performance_counter()) {}

Timing_scope::~Timing_scope() {
    Perf_record(name_, start_counter_, performance_counter());
    timing_line(name_, GetTickCount64() - start_ticks_);
}

// --- Trace_stream_impl -------------------------------------------------------

Trace_stream_impl::Trace_stream_impl(std::wstring path, int level)
    : level_(level), path_(std::move(path)) {
    file_.open(std::filesystem::path(path_), std::ios::out | std::ios::trunc | std::ios::binary);
}

Trace_stream_impl::~Trace_stream_impl() {
    std::lock_guard<std::recursive_mutex> lock(globals().line_lock);
    // The perf log goes to whatever stream is current now: after a level
    // change that is the new file; at unload there is none, so it stays here.
    std::shared_ptr<Trace_stream> target =
        globals().closing ? nullptr : std::atomic_load(&globals().current);
    Trace_stream& out = target ? *target : static_cast<Trace_stream&>(*this);
    out.write_narrow_z("Dumping Perf-Log\n");
    write_perf_log(out);
    out.flush();
    flush(); // a line left open here
    file_.close();
}

Trace_stream& Trace_stream_impl::put(const std::string& bytes) {
    if (!file_.good())
        return *this;
    pending_ += bytes;
    if (bytes.find('\n') == std::string::npos)
        return *this;
    // Everything up to the last line end goes out now: one write a line.
    const std::size_t end = pending_.rfind('\n');
    file_.write(pending_.data(), static_cast<std::streamsize>(end + 1));
    file_.flush();
    pending_.erase(0, end + 1);
    return *this;
}

Trace_stream& Trace_stream_impl::write_pointer(const void* pointer) {
    char buffer[32];
    std::snprintf(buffer, sizeof buffer, "0x%llx",
                  static_cast<unsigned long long>(reinterpret_cast<std::uintptr_t>(pointer)));
    return put(buffer);
}
Trace_stream& Trace_stream_impl::write_hex(std::uint32_t value, int width) {
    char buffer[32];
    std::snprintf(buffer, sizeof buffer, "%0*lx", width, static_cast<unsigned long>(value));
    return put(buffer);
}
Trace_stream& Trace_stream_impl::write_int_as_text(std::int32_t value) {
    return put(std::to_string(value));
}
Trace_stream& Trace_stream_impl::write_uint_as_text(std::uint32_t value) {
    return put(std::to_string(value));
}
Trace_stream& Trace_stream_impl::write_int64_as_text(std::int64_t value) {
    return put(std::to_string(value));
}
Trace_stream& Trace_stream_impl::write_double(double value, int width) {
    char buffer[64];
    std::snprintf(buffer, sizeof buffer, "%*g", width, value);
    return put(buffer);
}
Trace_stream& Trace_stream_impl::write_wide(const wchar_t* text, std::size_t length) {
    return text ? put(utf16_to_utf8(text, length)) : *this;
}
Trace_stream& Trace_stream_impl::write_narrow(const char* text, std::size_t length) {
    return text ? put(std::string(text, length)) : *this;
}
Trace_stream& Trace_stream_impl::write_wide_z(const wchar_t* text) {
    return text ? write_wide(text, std::wcslen(text)) : *this;
}
Trace_stream& Trace_stream_impl::write_narrow_z(const char* text) {
    return text ? put(text) : *this;
}
Trace_stream& Trace_stream_impl::begin_line() {
    char buffer[32];
    std::snprintf(buffer, sizeof buffer, "%08llu\t",
                  static_cast<unsigned long long>(milliseconds_since_1970()));
    return put(buffer);
}
void Trace_stream_impl::set_level(int level) {
    flush();
    level_ = level;
}
int Trace_stream_impl::level() const {
    return level_;
}
void Trace_stream_impl::flush() {
    // Callers flush without a line open; the lock keeps another thread's line whole.
    std::lock_guard<std::recursive_mutex> lock(globals().line_lock);
    if (!file_.good())
        return;
    file_.write(pending_.data(), static_cast<std::streamsize>(pending_.size()));
    pending_.clear();
    file_.flush();
}

} // namespace Trace
