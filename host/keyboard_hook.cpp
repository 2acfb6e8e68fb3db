#include "host/keyboard_hook.h"

#include "contract/parameter_values.h"
#include "trace/boundary.h"
#include "trace/trace.h"

#include <exception>

namespace {

constexpr UINT report_message = WM_APP + 1;
const wchar_t window_class[] = L"Vqhost_keyboard_hook";

// A low-level hook procedure gets no context: the one installed hook.
std::atomic<Keyboard_hook*> active_hook{nullptr};

} // namespace

Keyboard_hook::Keyboard_hook(Reference_host& host) : host_(host) {}

Keyboard_hook::~Keyboard_hook() {
    hook_.reset();
    Keyboard_hook* self = this;
    active_hook.compare_exchange_strong(self, nullptr);
    window_.reset();
}

bool Keyboard_hook::install(std::string& error) {
    if (hook_) {
        error = "the keyboard hook is installed already";
        return false;
    }
    Keyboard_hook* expected = nullptr;
    if (!active_hook.compare_exchange_strong(expected, this)) {
        error = "another keyboard hook of this host is installed";
        return false;
    }
    static const ATOM atom = [] {
        WNDCLASSEXW wc{};
        wc.cbSize = sizeof wc;
        wc.lpszClassName = window_class;
        wc.hInstance = GetModuleHandleW(nullptr);
        wc.lpfnWndProc = &Keyboard_hook::window_proc;
        return RegisterClassExW(&wc);
    }();
    if (!atom) {
        active_hook.store(nullptr);
        error = "cannot register the hook's window class";
        return false;
    }
    window_.reset(CreateWindowExW(0, window_class, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                                  GetModuleHandleW(nullptr), this));
    if (!window_) {
        active_hook.store(nullptr);
        error = "cannot create the hook's window (error " + std::to_string(GetLastError()) + ")";
        return false;
    }
    hook_.reset(
        SetWindowsHookExW(WH_KEYBOARD_LL, &Keyboard_hook::hook_proc, GetModuleHandleW(nullptr), 0));
    if (!hook_) {
        window_.reset();
        active_hook.store(nullptr);
        error = "cannot install the keyboard hook (error " + std::to_string(GetLastError()) + ")";
        return false;
    }
    return true;
}

LRESULT CALLBACK Keyboard_hook::hook_proc(int code, WPARAM message, LPARAM data) {
    Keyboard_hook* self = active_hook.load();
    if (code == HC_ACTION && self && data && Trace::guarded("Keyboard_hook::hook_proc", false, [&] {
            return self->on_key(*reinterpret_cast<const KBDLLHOOKSTRUCT*>(data));
        }))
        return 1;
    return CallNextHookEx(nullptr, code, message, data);
}

bool Keyboard_hook::on_key(const KBDLLHOOKSTRUCT& event) {
    ++events_seen_;
    Key_router::Decision decision =
        router_.route(event, host_.activation_key(), host_.keyboard_listener());
    Trace::debug("Keyboard_hook::on_key") << "vk = " << static_cast<std::uint32_t>(event.vkCode)
                                          << ", flags = " << static_cast<std::uint32_t>(event.flags)
                                          << (decision.swallow ? ", swallowed" : ", passed");
    if (decision.report && !post_report(decision.host_value, decision.key_down))
        Trace::error("Keyboard_hook::on_key") << "key_processing could not be queued";
    return decision.swallow;
}

bool Keyboard_hook::post_report(std::uint32_t host_value, bool key_down) {
    return window_ && PostMessageW(window_.get(), report_message, static_cast<WPARAM>(host_value),
                                   key_down ? 1 : 0);
}

void Keyboard_hook::deliver_report(std::uint32_t host_value, bool key_down) {
    auto list = Reference_host::make_list();
    Param::write_u32(list.get(), key_down ? L"key_down" : L"key_up", host_value);
    Trace::debug("Keyboard_hook::deliver_report")
        << (key_down ? "key_down = " : "key_up = ") << host_value;
    host_.deliver(L"key_processing", list.get());
}

LRESULT CALLBACK Keyboard_hook::window_proc(HWND window, UINT message, WPARAM w, LPARAM l) {
    if (message == WM_NCCREATE) {
        auto* create = reinterpret_cast<CREATESTRUCTW*>(l);
        SetWindowLongPtrW(window, GWLP_USERDATA,
                          reinterpret_cast<LONG_PTR>(create->lpCreateParams));
    }
    auto* self = reinterpret_cast<Keyboard_hook*>(GetWindowLongPtrW(window, GWLP_USERDATA));
    if (message == WM_NCDESTROY)
        SetWindowLongPtrW(window, GWLP_USERDATA, 0);
    if (self && message == report_message) {
        try {
            self->deliver_report(static_cast<std::uint32_t>(w), l != 0);
        } catch (const std::exception& e) {
            Trace::error("Keyboard_hook::window_proc") << "key_processing failed: " << e.what();
        }
        return 0;
    }
    return DefWindowProcW(window, message, w, l);
}

void pump_messages(unsigned int milliseconds) {
    const ULONGLONG deadline = GetTickCount64() + milliseconds;
    while (true) {
        MSG msg;
        while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
            if (msg.message == WM_QUIT)
                continue; // the console decides when it ends, not a plug-in
            TranslateMessage(&msg);
            DispatchMessageW(&msg);
        }
        ULONGLONG now = GetTickCount64();
        if (now >= deadline)
            return;
        MsgWaitForMultipleObjectsEx(0, nullptr, static_cast<DWORD>(deadline - now), QS_ALLINPUT,
                                    MWMO_INPUTAVAILABLE);
    }
}
