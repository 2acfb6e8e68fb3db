#include "host/desktop_host.h"

#include "contract/parameter_values.h"
#include "contract/text_convert.h"
#include "contract/win32_text.h"
#include "trace/boundary.h"
#include "trace/trace.h"

#include <shellapi.h>

#include <algorithm>
#include <exception>
#include <utility>

namespace {

constexpr UINT tray_callback_message = WM_APP + 10;
constexpr UINT run_items_message = WM_APP + 11;
constexpr UINT tray_icon_id = 1;
constexpr UINT first_item_command = 100;

std::wstring current_directory() {
    DWORD size = GetCurrentDirectoryW(0, nullptr);
    std::wstring path(size, L'\0');
    path.resize(GetCurrentDirectoryW(size, &path[0]));
    return path;
}

// Host broadcasts that no filter takes must not fall to the default handler.
void broadcast(Reference_host& host, const std::wstring& name, Parameters* list) {
    if (host.filter_count(name) > 0)
        host.deliver(name, list);
}

} // namespace

Desktop_host::Desktop_host(Desktop_options options) : options_(std::move(options)) {
    if (options_.root.empty())
        options_.root = executable_directory();
    if (options_.root.empty())
        options_.root = L".";
    while (options_.root.size() > 3 &&
           (options_.root.back() == L'\\' || options_.root.back() == L'/'))
        options_.root.pop_back();
}

Desktop_host::~Desktop_host() {
    stop();
}

bool Desktop_host::start(std::string& error) {
    if (started_) {
        error = "the desktop host runs already";
        return false;
    }
    previous_directory_ = current_directory();
    if (!SetCurrentDirectoryW(options_.root.c_str())) {
        error = "cannot use the folder " + utf16_to_utf8(options_.root) + ": " +
                system_error_text(GetLastError());
        return false;
    }
    host_.set_activation_key(options_.activation_key);
    if (!host_.attach_store_file(options_.root + L"\\" + store_file_name))
        Trace::error("Desktop_host::start") << "the key-value store starts empty";
    if (options_.interactive) {
        typist_ = std::make_unique<Send_input_typist>();
        background_typist_ = std::make_unique<Background_typist>(*typist_);
        asker_ = std::make_unique<Ask_dialogs>();
        host_.set_typist(background_typist_.get());
        host_.set_asker(asker_.get());
    }

    static const ATOM atom = [] {
        WNDCLASSEXW wc{};
        wc.cbSize = sizeof wc;
        wc.lpszClassName = window_class;
        wc.hInstance = GetModuleHandleW(nullptr);
        wc.lpfnWndProc = &Desktop_host::window_proc;
        return RegisterClassExW(&wc);
    }();
    if (atom)
        window_.reset(CreateWindowExW(0, window_class, L"vqhost", WS_OVERLAPPEDWINDOW, 0, 0, 0, 0,
                                      nullptr, nullptr, GetModuleHandleW(nullptr), this));
    if (!window_) {
        error = "cannot create the host's window: " + system_error_text(GetLastError());
        host_.set_typist(nullptr);
        host_.set_asker(nullptr);
        SetCurrentDirectoryW(previous_directory_.c_str());
        return false;
    }
    started_ = true;

    load_plugins();
    if (!options_.language.empty()) {
        auto list = Reference_host::make_list();
        Param::write_text(list.get(), L"language", options_.language);
        broadcast(host_, L"set_language", list.get());
    }
    broadcast(host_, L"startup", nullptr);

    if (options_.keyboard_hook) {
        auto hook = std::make_unique<Keyboard_hook>(host_);
        std::string hook_error;
        if (hook->install(hook_error))
            hook_ = std::move(hook);
        else
            Trace::error("Desktop_host::start")
                << "no VQ-Key and no direct bindings: " << hook_error;
    }
    if (options_.tray_icon)
        icon_added_ = add_tray_icon();
    for (const auto& key : options_.tray_items)
        queue_tray_item(key);
    Trace::info("Desktop_host::start")
        << static_cast<std::uint64_t>(plugins_.size()) << " plug-ins started in " << options_.root;
    return true;
}

void Desktop_host::load_plugins() {
    std::vector<std::wstring> names;
    WIN32_FIND_DATAW found{};
    const std::wstring folder = options_.root + L"\\plugins\\";
    Unique_find search(FindFirstFileW((folder + L"*.dll").c_str(), &found));
    if (!search) {
        Trace::error("Desktop_host::load_plugins") << "no plug-in in " << folder;
        return;
    }
    do {
        if (!(found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
            names.push_back(found.cFileName);
    } while (FindNextFileW(search.get(), &found));
    search.reset();
    std::sort(names.begin(), names.end());
    for (const auto& name : names) {
        Plugin_library plugin;
        std::string error;
        if (!plugin.load(folder + name, error))
            continue; // traced by load
        if (!plugin.initialize(&host_, error)) {
            host_.drop_objects_of_module(plugin.module());
            continue;
        }
        Trace::info("Desktop_host::load_plugins") << "initialized " << name;
        plugins_.push_back(std::move(plugin));
    }
}

int Desktop_host::run() {
    MSG msg;
    while (window_ && GetMessageW(&msg, nullptr, 0, 0) > 0) {
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }
    stop();
    return 0;
}

void Desktop_host::stop() {
    if (!started_)
        return;
    started_ = false;
    Trace::info("Desktop_host::stop") << "shutting down";
    if (background_typist_ && !background_typist_->wait_idle(60000))
        Trace::error("Desktop_host::stop") << "typing did not end within 60 s";
    hook_.reset();
    remove_tray_icon();
    broadcast(host_, L"shutdown", nullptr);
    for (auto it = plugins_.rbegin(); it != plugins_.rend(); ++it) {
        std::string error;
        if (it->initialized() && !it->finalize(error))
            Trace::error("Desktop_host::stop") << error;
        host_.drop_objects_of_module(it->module());
        it->unload();
    }
    plugins_.clear();
    host_.set_typist(nullptr);
    host_.set_asker(nullptr);
    background_typist_.reset();
    typist_.reset();
    asker_.reset();
    window_.reset();
    queued_items_.clear();
    if (!previous_directory_.empty())
        SetCurrentDirectoryW(previous_directory_.c_str());
}

bool Desktop_host::wait_typing_idle(unsigned int timeout_ms) {
    return !background_typist_ || background_typist_->wait_idle(timeout_ms);
}

bool Desktop_host::queue_tray_item(const std::wstring& key) {
    if (key.empty()) {
        Trace::error("Desktop_host::queue_tray_item") << "empty item key; ignored";
        return false;
    }
    queued_items_.push_back(key);
    if (window_)
        PostMessageW(window_.get(), run_items_message, 0, 0);
    return true;
}

void Desktop_host::run_queued_tray_items() {
    while (!queued_items_.empty()) {
        std::wstring key = std::move(queued_items_.front());
        queued_items_.pop_front();
        tray_menu_.trigger(key);
    }
}

bool Desktop_host::send_to_running(const std::wstring& key, std::string& error) {
    HWND window = FindWindowW(window_class, nullptr);
    if (!window) {
        error = "no vqhost desktop host is running";
        return false;
    }
    COPYDATASTRUCT data{};
    data.dwData = copydata_tray_item;
    data.cbData = static_cast<DWORD>(key.size() * sizeof(wchar_t));
    data.lpData = const_cast<wchar_t*>(key.data());
    DWORD_PTR answer = 0;
    if (!SendMessageTimeoutW(window, WM_COPYDATA, 0, reinterpret_cast<LPARAM>(&data),
                             SMTO_ABORTIFHUNG, 10000, &answer)) {
        error = "the running host did not answer: " + system_error_text(GetLastError());
        return false;
    }
    if (answer != TRUE) {
        error = "the running host refused the item key";
        return false;
    }
    return true;
}

bool Desktop_host::add_tray_icon() {
    NOTIFYICONDATAW icon{};
    icon.cbSize = sizeof icon;
    icon.hWnd = window_.get();
    icon.uID = tray_icon_id;
    icon.uFlags = NIF_ICON | NIF_MESSAGE | NIF_TIP;
    icon.uCallbackMessage = tray_callback_message;
    icon.hIcon = LoadIconW(nullptr, IDI_APPLICATION); // shared: never destroyed
    lstrcpynW(icon.szTip, L"vqhost", ARRAYSIZE(icon.szTip));
    if (!Shell_NotifyIconW(NIM_ADD, &icon)) {
        Trace::error("Desktop_host::add_tray_icon")
            << "no tray icon; use --tray-item or --remote-tray-item instead";
        return false;
    }
    return true;
}

void Desktop_host::remove_tray_icon() {
    if (!icon_added_)
        return;
    NOTIFYICONDATAW icon{};
    icon.cbSize = sizeof icon;
    icon.hWnd = window_.get();
    icon.uID = tray_icon_id;
    Shell_NotifyIconW(NIM_DELETE, &icon);
    icon_added_ = false;
}

void Desktop_host::show_menu() {
    const std::vector<Tray_item> items = tray_menu_.collect();
    Unique_menu menu(CreatePopupMenu());
    if (!menu) {
        Trace::error("Desktop_host::show_menu") << "cannot create the menu";
        return;
    }
    for (std::size_t i = 0; i < items.size(); ++i) {
        if (items[i].is_exit && i > 0)
            AppendMenuW(menu.get(), MF_SEPARATOR, 0, nullptr);
        AppendMenuW(menu.get(), MF_STRING, first_item_command + i, items[i].name.c_str());
    }
    POINT at{};
    GetCursorPos(&at);
    // Without the foreground the menu would not close when the user clicks elsewhere.
    SetForegroundWindow(window_.get());
    const UINT command =
        static_cast<UINT>(TrackPopupMenu(menu.get(), TPM_RETURNCMD | TPM_NONOTIFY | TPM_RIGHTBUTTON,
                                         at.x, at.y, 0, window_.get(), nullptr));
    PostMessageW(window_.get(), WM_NULL, 0, 0);
    if (command < first_item_command || command - first_item_command >= items.size())
        return;
    const Tray_item& item = items[command - first_item_command];
    if (item.is_exit)
        PostMessageW(window_.get(), WM_CLOSE, 0, 0);
    else
        tray_menu_.trigger(item.key);
}

LRESULT CALLBACK Desktop_host::window_proc(HWND window, UINT message, WPARAM w, LPARAM l) {
    if (message == WM_NCCREATE) {
        auto* create = reinterpret_cast<CREATESTRUCTW*>(l);
        SetWindowLongPtrW(window, GWLP_USERDATA,
                          reinterpret_cast<LONG_PTR>(create->lpCreateParams));
    }
    auto* self = reinterpret_cast<Desktop_host*>(GetWindowLongPtrW(window, GWLP_USERDATA));
    if (message == WM_NCDESTROY)
        SetWindowLongPtrW(window, GWLP_USERDATA, 0);
    if (!self)
        return DefWindowProcW(window, message, w, l);
    return Trace::guarded("Desktop_host::window_proc", LRESULT{0},
                          [&] { return self->handle(window, message, w, l); });
}

LRESULT Desktop_host::handle(HWND window, UINT message, WPARAM w, LPARAM l) {
    switch (message) {
    case WM_CREATE:
        taskbar_created_ = RegisterWindowMessageW(L"TaskbarCreated");
        return 0;
    case WM_COPYDATA: {
        const auto* data = reinterpret_cast<const COPYDATASTRUCT*>(l);
        if (!data || data->dwData != copydata_tray_item || data->cbData % sizeof(wchar_t) != 0 ||
            (data->cbData && !data->lpData)) {
            Trace::error("Desktop_host::handle") << "WM_COPYDATA that is no tray item key; ignored";
            return FALSE;
        }
        std::wstring key(static_cast<const wchar_t*>(data->lpData), data->cbData / sizeof(wchar_t));
        while (!key.empty() && key.back() == L'\0')
            key.pop_back();
        return queue_tray_item(key) ? TRUE : FALSE;
    }
    case run_items_message:
        run_queued_tray_items();
        return 0;
    case tray_callback_message:
        if (LOWORD(l) == WM_RBUTTONUP || LOWORD(l) == WM_LBUTTONUP || LOWORD(l) == WM_CONTEXTMENU)
            show_menu();
        return 0;
    case WM_CLOSE:
        // The window goes with stop(); the loop ends first.
        PostQuitMessage(0);
        return 0;
    case WM_DESTROY:
        // Destroyed from elsewhere: nothing left to close, and the loop must end.
        if (window_.release() && started_)
            PostQuitMessage(0);
        return 0;
    default:
        if (message == taskbar_created_ && taskbar_created_ != 0 && options_.tray_icon) {
            icon_added_ = false;
            icon_added_ = add_tray_icon(); // the shell restarted
            return 0;
        }
        return DefWindowProcW(window, message, w, l);
    }
}
