#include "core/zp_startup_filter.h"

#include "actions/binding_directory.h"
#include "actions/keyboard_shortcuts.h"
#include "actions/running_tasks.h"
#include "builtin_actions/clipboard_stash.h"
#include "builtin_actions/colorpicker_action.h"
#include "builtin_actions/tapquill_action.h"
#include "builtin_actions/text_transform_actions.h"
#include "builtin_actions/tweet_action.h"
#include "core/tray_menu_filter.h"
#include "interpreters/batch_interpreter.h"
#include "interpreters/typing_interpreter.h"
#include "interpreters/url_interpreter.h"
#include "output/clipboard_window.h"
#include "storage/code_storage.h"
#include "text/textprovider.h"
#include "trace/trace.h"

#include <exception>

ZP_Startup_filter::ZP_Startup_filter(Interaction_if* host, HINSTANCE module)
    : Startup_filter(host), module_(module) {}

void ZP_Startup_filter::Shortcuts_deleter::operator()(Keyboard_shortcuts_impl* shortcuts) const {
    if (shortcuts)
        shortcuts->destroy(1);
}

void ZP_Startup_filter::Directory_deleter::operator()(Binding_directory* directory) const {
    delete directory;
}

// Finalize without a shut-down: the directory before the shortcuts it
// points to, and no key-release task may outlive the plug-in's code.
ZP_Startup_filter::~ZP_Startup_filter() {
    binding_directory_.reset();
    code_storage_.reset();
    keyboard_shortcuts_.reset();
    destroy_filters();
    running_key_tasks().clear();
    Clipboard_window::destroy_process_window();
}

void ZP_Startup_filter::destroy_filters() {
    for (auto& filter : filters_)
        filter.reset();
    filters_.clear();
}

void ZP_Startup_filter::on_startup() {
    Trace::marker("ZP_Startup_filter::on_startup");
    // The old directory points to the old shortcuts, and the old shortcuts'
    // listener must be withdrawn before the new one registers.
    binding_directory_.reset();
    keyboard_shortcuts_.reset();
    try {
        keyboard_shortcuts_.reset(new Keyboard_shortcuts_impl(host()));
        keyboard_shortcuts_->initialize();
        binding_directory_.reset(new Binding_directory(host(), keyboard_shortcuts_.get()));
    } catch (const std::exception& e) {
        Trace::error("ZP_Startup_filter::on_startup") << "Zaptor exception:" << e.what();
    }
    try {
        code_storage_ = Code_storage::open(L"plugins\\code_storage.db");
        filters_.emplace_back(new Batch_interpreter(host(), code_storage_.get()));
        filters_.emplace_back(new Url_interpreter(host(), code_storage_.get()));
        filters_.emplace_back(new Typing_interpreter(host(), code_storage_.get()));
    } catch (const std::exception& e) {
        Trace::error("ZP_Startup_filter::on_startup") << "Code storage exception:" << e.what();
    }
    filters_.emplace_back(new Tray_menu_filter(module_, binding_directory_.get(), host()));
    // The built-in actions, in the order the host lists them.
    filters_.emplace_back(new FilterTwitterAction(host()));
    filters_.emplace_back(new FilterColorpickerAction(host()));
    filters_.emplace_back(new Base64DecodeAction(host()));
    filters_.emplace_back(new Clipboard_stash::PasteStashAction(host()));
    filters_.emplace_back(new Clipboard_stash::SetStashAction(host()));
    filters_.emplace_back(new Tapquill::Selection_dlg(host()));
    filters_.emplace_back(new MakeUppercaseAction(host()));
    filters_.emplace_back(new MakeLowercaseAction(host()));
}

void ZP_Startup_filter::on_shutdown() {
    Trace::marker("ZP_Startup_filter::on_shutdown");
    keyboard_shortcuts_.reset();
    code_storage_.reset();
    binding_directory_.reset();
    destroy_filters();
    running_key_tasks().clear();
    // The clipboard window belongs to this thread; a later start-up makes a new one.
    Clipboard_window::destroy_process_window();
}

void ZP_Startup_filter::on_set_language(const std::wstring& language) {
    text_provider().set_language(module_, language);
}

bool ZP_Startup_filter::on_create_backup(const std::wstring& path) {
    Trace::marker("ZP_Startup_filter::on_create_backup");
    bool storage_ok = true;
    if (code_storage_)
        storage_ok = code_storage_->create_backup(path) == 0;
    if (keyboard_shortcuts_)
        return keyboard_shortcuts_->create_backup(path) == 0 && storage_ok;
    return storage_ok;
}

bool ZP_Startup_filter::on_restore_backup(const std::wstring& path) {
    Trace::marker("ZP_Startup_filter::on_restore_backup");
    bool storage_ok = true;
    if (code_storage_)
        storage_ok = code_storage_->restore_backup(path) == 0;
    if (keyboard_shortcuts_)
        return keyboard_shortcuts_->restore_backup(path) == 0 && storage_ok;
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
