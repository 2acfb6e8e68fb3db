#include "core/zp_startup_filter.h"

#include "storage/code_storage.h"
#include "text/textprovider.h"
#include "trace/trace.h"

#include <exception>

ZP_Startup_filter::ZP_Startup_filter(Interaction_if* host, HINSTANCE module)
    : Startup_filter(host), module_(module) {}

ZP_Startup_filter::~ZP_Startup_filter() { destroy_components(); }

// Components end in the reverse order of their dependencies: users of the
// storage before the storage, filters in the order they were created.
void ZP_Startup_filter::destroy_components() {
    code_storage_.reset();
    for (auto& filter : filters_)
        filter.reset();
    filters_.clear();
}

void ZP_Startup_filter::on_startup() {
    Trace::marker("ZP_Startup_filter::on_startup");
    try {
        code_storage_ = Code_storage::open(L"plugins\\code_storage.db");
    } catch (const std::exception& e) {
        Trace::error("ZP_Startup_filter::on_startup") << "Code storage exception:" << e.what();
    }
}

void ZP_Startup_filter::on_shutdown() {
    Trace::marker("ZP_Startup_filter::on_shutdown");
    destroy_components();
}

void ZP_Startup_filter::on_set_language(const std::wstring& language) {
    text_provider().set_language(module_, language);
}

bool ZP_Startup_filter::on_create_backup(const std::wstring& path) {
    Trace::marker("ZP_Startup_filter::on_create_backup");
    bool storage_ok = true;
    if (code_storage_)
        storage_ok = code_storage_->create_backup(path) == 0;
    return storage_ok;
}

bool ZP_Startup_filter::on_restore_backup(const std::wstring& path) {
    Trace::marker("ZP_Startup_filter::on_restore_backup");
    bool storage_ok = true;
    if (code_storage_)
        storage_ok = code_storage_->restore_backup(path) == 0;
    return storage_ok;
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
