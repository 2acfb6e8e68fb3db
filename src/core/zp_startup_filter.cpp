#include "core/zp_startup_filter.h"

#include "trace/trace.h"

ZP_Startup_filter::ZP_Startup_filter(Interaction_if* host, HINSTANCE module)
    : Startup_filter(host), module_(module) {}

ZP_Startup_filter::~ZP_Startup_filter() { destroy_components(); }

void ZP_Startup_filter::destroy_components() {
    for (auto& filter : filters_)
        filter.reset();
    filters_.clear();
}

void ZP_Startup_filter::on_startup() { Trace::marker("ZP_Startup_filter::on_startup"); }

void ZP_Startup_filter::on_shutdown() {
    Trace::marker("ZP_Startup_filter::on_shutdown");
    destroy_components();
}

void ZP_Startup_filter::on_set_language(const std::wstring&) {}

bool ZP_Startup_filter::on_create_backup(const std::wstring&) {
    Trace::marker("ZP_Startup_filter::on_create_backup");
    return true;
}

bool ZP_Startup_filter::on_restore_backup(const std::wstring&) {
    Trace::marker("ZP_Startup_filter::on_restore_backup");
    return true;
}

void ZP_Startup_filter::on_set_debug_level(const std::wstring& level) {
    int value = trace_level_from_text(level);
    if (value >= 0)
        Trace::set_level(value);
}

void ZP_Startup_filter::on_delete_traces() {
    Trace::marker("ZP_Startup_filter::on_delete_traces");
    Trace::delete_trace_file();
}

int trace_level_from_text(const std::wstring& level) {
    static const wchar_t* const names[] = {L"off", L"error", L"warning", L"info", L"debug"};
    for (int i = 0; i < 5; ++i)
        if (level == names[i])
            return i;
    return -1;
}
