#include "plugin/zp_startup_filter.h"

#include "actions/binding_directory.h"
#include "actions/keyboard_shortcuts.h"
#include "actions/running_tasks.h"
#include "builtin_actions/clipboard_stash.h"
#include "builtin_actions/colorpicker_action.h"
#include "builtin_actions/tapquill_action.h"
#include "builtin_actions/text_transform_actions.h"
#include "builtin_actions/tweet_action.h"
#include "interpreters/batch_interpreter.h"
#include "interpreters/typing_interpreter.h"
#include "interpreters/url_interpreter.h"
#include "output/clipboard_gate.h"
#include "output/clipboard_window.h"
#include "plugin/tray_menu_filter.h"
#include "storage/code_storage.h"
#include "storage/file_copy.h"
#include "text/textprovider.h"
#include "trace/boundary.h"
#include "trace/trace.h"

#include <exception>
#include <thread>

ZP_Startup_filter::ZP_Startup_filter(Interaction_if* host, HINSTANCE module)
    : Startup_filter(host), module_(module) {}

// Finalize without a shut-down.
ZP_Startup_filter::~ZP_Startup_filter() {
    tear_down();
    Shortcut_listener::free_retired();
}

void ZP_Startup_filter::on_startup() {
    Trace::marker("ZP_Startup_filter::on_startup");
    // From inside a running action the running set cannot be replaced under
    // it, nor a new one built on a worker's thread.
    if (Trace::entry_depth() > 1) {
        Trace::error("ZP_Startup_filter::on_startup")
            << "a start-up from inside a running action is refused";
        return;
    }
    // A second start-up without a shut-down would leave the first set of
    // components subscribed, pointing to what the second one replaced.
    if (started_) {
        Trace::info("ZP_Startup_filter::on_startup") << "already started: shutting down first";
        tear_down();
    }
    build();
}

void ZP_Startup_filter::on_shutdown() {
    Trace::marker("ZP_Startup_filter::on_shutdown");
    // A host that stops while one of our actions waits for it (its dialog is
    // open, say) delivers this from inside that action: freeing the
    // components now would free the action under its running frame, and
    // waiting for the key tasks could wait for ourselves. New work stops at
    // once; the components go at finalize or at the next start-up.
    if (Trace::entry_depth() > 1) {
        Trace::info("ZP_Startup_filter::on_shutdown")
            << "an action is still running: its components are freed later";
        withdraw();
        return;
    }
    tear_down();
}

void ZP_Startup_filter::build() {
    started_ = true;
    Clipboard_gate::open();
    Colour_dialogs::allow();
    // The clipboard window must belong to the host's thread, which serves
    // it; a worker task that made it first would take it along when it ends.
    Clipboard_window::create_process_window();
    try {
        keyboard_shortcuts_ = std::shared_ptr<Keyboard_shortcuts_impl>(
            new Keyboard_shortcuts_impl(host()), [](Keyboard_shortcuts_impl* shortcuts) {
                if (shortcuts)
                    shortcuts->destroy(1);
            });
        keyboard_shortcuts_->initialize();
        binding_directory_ = std::make_shared<Binding_directory>(host(), keyboard_shortcuts_);
    } catch (const std::exception& e) {
        Trace::error("ZP_Startup_filter::on_startup") << "Zaptor exception:" << e.what();
    }
    try {
        code_storage_ = Code_storage::open(L"plugins\\code_storage.db");
        filters_.emplace_back(new Batch_interpreter(host(), code_storage_));
        filters_.emplace_back(new Url_interpreter(host(), code_storage_));
        filters_.emplace_back(new Typing_interpreter(host(), code_storage_));
    } catch (const std::exception& e) {
        Trace::error("ZP_Startup_filter::on_startup") << "Code storage exception:" << e.what();
    }
    filters_.emplace_back(new Tray_menu_filter(module_, binding_directory_, host()));
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

void ZP_Startup_filter::withdraw() {
    if (keyboard_shortcuts_)
        keyboard_shortcuts_->deinitialize();
    Clipboard_gate::close();
    Colour_dialogs::cancel_all();
}

void pin_module() {
    // Code of ours may still run after finalize: the library must not be
    // unmapped under it when the host frees it.
    static const char anchor = 0;
    HMODULE module = nullptr;
    if (!GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_PIN,
                            reinterpret_cast<LPCWSTR>(&anchor), &module))
        Trace::error("pin_module")
            << "cannot pin the plug-in: error " << static_cast<std::uint32_t>(GetLastError());
}

namespace {

// What the actions that shut-down stopped waiting for may still use. It goes
// when they have ended, on a thread of its own, and never under their frames.
struct Kept_components {
    std::vector<std::future<void>> tasks;
    std::vector<Owned_filter> filters;
    std::shared_ptr<Binding_directory> binding_directory;
    std::shared_ptr<Keyboard_shortcuts_impl> keyboard_shortcuts;
    std::shared_ptr<Code_storage> code_storage;
};

void release_when_done(std::unique_ptr<Kept_components> kept) {
    pin_module();
    auto shared = std::shared_ptr<Kept_components>(std::move(kept));
    try {
        std::thread([shared]() mutable {
            Trace::guarded("ZP_Startup_filter::release_when_done", [&] {
                for (auto& task : shared->tasks)
                    task.wait();
                shared.reset();
            });
        }).detach();
    } catch (const std::exception& e) {
        // No thread: the components stay for the life of the process.
        Trace::error("ZP_Startup_filter::tear_down") << "Zaptor exception:" << e.what();
        new std::shared_ptr<Kept_components>(std::move(shared));
    }
}

} // namespace

// In this order, so that nothing is freed under a running action:
// 1. no new work: the key messages and the keyboard listener are withdrawn,
//    the clipboard gate refuses new runs and ends the copy jobs in flight,
//    and our open colour dialogs are cancelled;
// 2. the running key-release tasks finish, while this thread (the one that
//    owns the clipboard window) goes on dispatching its messages; a task
//    that still runs after Running_tasks::shutdown_wait (it waits for a
//    person: a question of the host's) keeps the components, and the
//    shut-down goes on without them;
// 3. only then the components go, users before what they use.
void ZP_Startup_filter::tear_down() {
    withdraw();
    auto still_running = running_key_tasks().clear_pumping(Running_tasks::shutdown_wait);
    if (!still_running.empty()) {
        auto kept = std::make_unique<Kept_components>();
        kept->tasks = std::move(still_running);
        kept->filters = std::move(filters_);
        kept->binding_directory = std::move(binding_directory_);
        kept->keyboard_shortcuts = std::move(keyboard_shortcuts_);
        kept->code_storage = std::move(code_storage_);
        release_when_done(std::move(kept));
    }
    for (auto& filter : filters_)
        filter.reset();
    filters_.clear();
    binding_directory_.reset();
    keyboard_shortcuts_.reset();
    code_storage_.reset();
    // The clipboard window belongs to this thread; a later start-up makes a new one.
    Clipboard_window::destroy_process_window();
    started_ = false;
}

void ZP_Startup_filter::on_set_language(const std::wstring& language) {
    text_provider().set_language(module_, language);
}

namespace {

// Both databases are always tried: one that fails does not keep the other's
// backup from being made or restored.
template <class Call>
bool on_both(const std::shared_ptr<Code_storage>& storage,
             const std::shared_ptr<Keyboard_shortcuts_impl>& shortcuts, Call call) {
    const bool storage_ok = !storage || call(*storage) == 0;
    return (!shortcuts || call(*shortcuts) == 0) && storage_ok;
}

} // namespace

bool ZP_Startup_filter::on_create_backup(const std::wstring& path) {
    Trace::marker("ZP_Startup_filter::on_create_backup");
    return on_both(code_storage_, keyboard_shortcuts_,
                   [&](auto& database) { return database.create_backup(path); });
}

// Both databases or neither: both backups are checked before either file
// is replaced, and the code database is put back when the key bindings then
// cannot be replaced after all (a file in use, a full disk).
bool ZP_Startup_filter::on_restore_backup(const std::wstring& path) {
    Trace::marker("ZP_Startup_filter::on_restore_backup");
    std::string reason;
    if ((code_storage_ && !code_storage_->check_backup(path, reason)) ||
        (keyboard_shortcuts_ && !keyboard_shortcuts_->check_backup(path, reason))) {
        Trace::error("ZP_Startup_filter::on_restore_backup") << "nothing restored: " << reason;
        return false;
    }
    if (!code_storage_ || !keyboard_shortcuts_)
        return on_both(code_storage_, keyboard_shortcuts_,
                       [&](auto& database) { return database.restore_backup(path); });
    Scratch_directory previous;
    if (previous.path().empty() || code_storage_->create_backup(previous.path()) != 0) {
        Trace::error("ZP_Startup_filter::on_restore_backup")
            << "nothing restored: the code database could not be kept aside";
        return false;
    }
    if (code_storage_->restore_backup(path) != 0)
        return false;
    if (keyboard_shortcuts_->restore_backup(path) == 0)
        return true;
    if (code_storage_->restore_backup(previous.path()) != 0)
        Trace::error("ZP_Startup_filter::on_restore_backup")
            << "the key bindings were not restored, and the code database could not be put back";
    return false;
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
