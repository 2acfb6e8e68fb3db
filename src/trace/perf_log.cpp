#include "contract/text_convert.h"
#include "contract/win32_text.h"
#include "trace/trace.h"

#include <windows.h>

#include <array>
#include <string>

namespace Trace {
namespace {

constexpr std::size_t ring_size = 100;
constexpr std::size_t max_name_length = 256;

struct Perf_entry {
    wchar_t name[max_name_length + 1] = {};
    std::int64_t start = 0;
    std::int64_t end = 0;
};

std::array<Perf_entry, ring_size> ring;
std::atomic<std::uint32_t> entry_counter{0};

// Read once when the module is loaded.
const std::int64_t frequency = [] {
    LARGE_INTEGER f;
    return QueryPerformanceFrequency(&f) && f.QuadPart > 0 ? f.QuadPart : 1000000;
}();

std::string host_file_name() {
    const std::wstring path = module_file_path(nullptr);
    return utf16_to_utf8(path.substr(path.find_last_of(L'\\') + 1));
}

} // namespace

std::int64_t performance_counter() {
    LARGE_INTEGER c;
    QueryPerformanceCounter(&c);
    return c.QuadPart;
}

std::int64_t performance_frequency() {
    return frequency;
}

void Perf_record(const std::wstring& name, std::int64_t start, std::int64_t end) {
    std::uint32_t slot = entry_counter.fetch_add(1) % ring_size;
    Perf_entry& entry = ring[slot];
    std::size_t n = std::min(name.size(), max_name_length);
    name.copy(entry.name, n);
    entry.name[n] = L'\0';
    entry.start = start;
    entry.end = end;
}

void write_perf_log(Trace_stream& out) {
    std::uint32_t n = std::min<std::uint32_t>(entry_counter.load(), ring_size);
    // Divisor first: counter ticks per microsecond.
    std::int64_t divisor = frequency / 1000000;
    if (divisor <= 0)
        divisor = 1;
    std::string head = "\"cat\": \"" + host_file_name() +
                       "\", \"pid\": " + std::to_string(GetCurrentProcessId()) +
                       ", \"tid\": " + std::to_string(GetCurrentThreadId());
    out.write_narrow_z("[");
    std::int64_t largest_end = 0;
    for (std::uint32_t i = 0; i < n; ++i) {
        const Perf_entry& e = ring[i];
        std::int64_t ts = e.start / divisor;
        std::int64_t end = e.end / divisor;
        if (end > largest_end)
            largest_end = end;
        out.write_narrow_z("{")
            .write_narrow(head.data(), head.size())
            .write_narrow_z(", \"name\": \"")
            .write_wide_z(e.name)
            .write_narrow_z("\", \"ph\": \"X\", \"ts\": ")
            .write_int64_as_text(ts)
            .write_narrow_z(", \"dur\": ")
            .write_int64_as_text(end - ts)
            .write_narrow_z("},");
    }
    out.write_narrow_z("{")
        .write_narrow(head.data(), head.size())
        .write_narrow_z(", \"ph\": \"i\", \"name\": \"END OF LOG\", \"s\" : \"g\", \"ts\": ")
        .write_int64_as_text(largest_end + 1)
        .write_narrow_z("}]\n");
}

} // namespace Trace
