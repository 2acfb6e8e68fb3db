#include "actions/shortcut_listener.h"

#include "actions/key_code.h"
#include "contract/letter_case.h"
#include "contract/own_output.h"
#include "contract/owned_filter.h"
#include "contract/parameter_values.h"
#include "contract/virtual_keys.h"
#include "trace/boundary.h"
#include "trace/trace.h"

#include <chrono>
#include <cwchar>
#include <exception>
#include <future>
#include <new>
#include <utility>

Shortcut_listener::Shortcut_listener(Interaction_if* host, Running_tasks& tasks)
    : host_(host), tasks_(tasks), map_(std::make_shared<const Listener_map>()),
      abbreviations_(std::make_shared<const Abbreviation_state>(
          Abbreviation_state{Abbreviation_set({}), {}, 0})) {
    for (auto& flag : bound_)
        flag.store(false, std::memory_order_relaxed);
    for (auto& pressed : swallowed_)
        pressed.store(0, std::memory_order_relaxed);
    queued_.reserve(queue_reserve);
    worker_ =
        std::thread([this] { Trace::guarded("Shortcut_listener::work", [this] { work(); }); });
}

Shortcut_listener::~Shortcut_listener() {
    stop_worker();
}

// The plug-in owns its listener; the host never frees it, but honour the slot.
void* Shortcut_listener::destroy(unsigned int flags) {
    return destroy_through_slot(this, flags);
}

void Shortcut_listener::replace(Listener_map map) {
    auto next = std::make_shared<const Listener_map>(std::move(map));
    // Raise the flags of new keys before the swap and lower those of dropped
    // keys after it: a reader that passes a flag then finds the key in
    // whichever map it gets, or answers false as the old state would.
    for (const auto& [key, entries] : *next)
        if (key < bound_.size() && !entries.empty())
            bound_[key].store(true, std::memory_order_release);
    {
        std::lock_guard<std::mutex> lock(map_mutex_);
        map_.swap(next);
    }
    previous_map_.swap(next);
    auto current = snapshot();
    for (std::size_t key = 0; key < bound_.size(); ++key) {
        const auto virtual_key = static_cast<std::uint32_t>(key);
        auto found = current->find(virtual_key);
        if (found == current->end() || found->second.empty())
            bound_[key].store(false, std::memory_order_release);
        const std::uint32_t pressed = swallowed_[key].load(std::memory_order_acquire);
        if (pressed != 0 && !find_entry(*current, virtual_key, pressed & Key_code::low_mask))
            mark_stale(key);
    }
    // `next` (the map before the previous one) is freed here, on the
    // replacing thread.
}

const Listener_entry* find_entry(const Listener_map& map, std::uint32_t virtual_key,
                                 std::uint32_t code) {
    auto found = map.find(virtual_key);
    if (found == map.end())
        return nullptr;
    for (const Listener_entry& entry : found->second)
        if (entry.code == code)
            return &entry;
    return nullptr;
}

void Shortcut_listener::mark_stale(std::size_t key) {
    std::uint32_t pressed = swallowed_[key].load(std::memory_order_acquire);
    while (pressed != 0 && (pressed & stale_mark) == 0 &&
           !swallowed_[key].compare_exchange_weak(pressed, pressed | stale_mark,
                                                  std::memory_order_acq_rel))
        ;
}

namespace {

std::mutex& retired_mutex() {
    static std::mutex mutex;
    return mutex;
}

std::vector<std::unique_ptr<Shortcut_listener>>& retired_listeners() {
    static std::vector<std::unique_ptr<Shortcut_listener>> listeners;
    return listeners;
}

} // namespace

void Shortcut_listener::retire(std::unique_ptr<Shortcut_listener> listener) {
    if (!listener)
        return;
    listener->retired_.store(true, std::memory_order_release);
    listener->stop_worker();
    std::lock_guard<std::mutex> lock(retired_mutex());
    retired_listeners().push_back(std::move(listener));
}

void Shortcut_listener::free_retired() {
    std::vector<std::unique_ptr<Shortcut_listener>> listeners;
    {
        std::lock_guard<std::mutex> lock(retired_mutex());
        listeners.swap(retired_listeners());
    }
}

std::shared_ptr<const Listener_map> Shortcut_listener::snapshot() const {
    std::lock_guard<std::mutex> lock(map_mutex_);
    return map_;
}

bool Shortcut_listener::key_event(const KBDLLHOOKSTRUCT* event, unsigned int modifiers) {
    return Trace::guarded("Shortcut_listener::key_event", false,
                          [&] { return handle_key(event, modifiers); });
}

// A swallowed press is remembered per key, and its release is swallowed and
// runs the binding whatever the modifiers are by then (the user may let go
// of Control before the key). A release whose press went through passes
// through too: the application must never see half of a key stroke. A
// remembered press lasts one key stroke. Auto-repeat of the held key comes
// with the same modifiers; a press with other ones, or after the binding
// went, starts a new stroke: the release of the old one was lost (a locked
// session, a secure desktop, a listener withdrawn meanwhile). A new stroke
// with the same modifiers under the same binding acts as a repeat would.
bool Shortcut_listener::handle_key(const KBDLLHOOKSTRUCT* event, unsigned int modifiers) {
    if (!event || retired_.load(std::memory_order_acquire))
        return false;
    std::uint32_t virtual_key = event->vkCode;
    if (virtual_key >= bound_.size())
        return false;
    // Our own paste, copy or typed text is never a user's combination, and
    // never typed text of the user's.
    if ((event->flags & LLKHF_INJECTED) != 0 && Own_output::in_progress())
        return false;
    const bool modifier = track_modifier(event);
    // The key that completed an abbreviation is swallowed up to its release,
    // auto-repeat included, so the target never sees half of its stroke.
    if (final_swallowed_[virtual_key]) {
        if ((event->flags & LLKHF_UP) != 0)
            final_swallowed_[virtual_key] = false;
        return true;
    }
    auto abbreviations = abbreviation_state();
    const bool press = !modifier && (event->flags & LLKHF_UP) == 0;
    const bool expanding = press && replacing();
    // Without abbreviations and exclusions a key costs no window lookups.
    if (abbreviations->set.empty() && abbreviations->excluded.empty())
        excluded_app_ = false;
    else if (press)
        follow_focus(*abbreviations, expanding);
    if (direct_binding(event, modifiers)) {
        matcher_.clear();
        return true;
    }
    if (!press)
        return false;
    // Never held in our own windows: a question the action asks while it
    // runs is answered there.
    if (!own_foreground_ && expanding) {
        // Injected meanwhile: our own output, typed after its scope by a
        // host that types in the background. Never the user's text, and it
        // lands before the keys held so far, so their text stays as fed.
        if ((event->flags & LLKHF_INJECTED) != 0) {
            last_injected_ = GetTickCount();
            return false;
        }
        return hold_key(event, *abbreviations);
    }
    return typed_key(event, *abbreviations);
}

// From a fire until its output is typed (and the injected keys have been
// quiet for a moment), so that keys typed on at once land after it.
bool Shortcut_listener::replacing() const {
    const DWORD now = GetTickCount();
    return turns_->pending.load(std::memory_order_acquire) > 0 ||
           now - turns_->last_done.load(std::memory_order_acquire) < replacing_grace_ms ||
           now - last_injected_ < replacing_grace_ms;
}

// A key the user typed while an expansion is under way goes to the host's
// typing after it, in turn: characters as text, other keys as key presses.
// Combinations with Control, Alt or Windows pass as they are. It feeds the
// matcher as a typed key does: an abbreviation it completes is run in the
// same turns, after the held keys before it were typed, so its Backspaces
// meet them.
bool Shortcut_listener::hold_key(const KBDLLHOOKSTRUCT* event, const Abbreviation_state& state) {
    Key_text text;
    Abbreviation_match match;
    if (feed_matcher(event, state, text, match)) {
        final_swallowed_[event->vkCode] = true;
        dispatch_abbreviation(std::move(match));
        return true;
    }
    const bool combination = held_[VK_LCONTROL] || held_[VK_RCONTROL] || held_[VK_CONTROL] ||
                             held_[VK_LMENU] || held_[VK_MENU] || held_[VK_LWIN] || held_[VK_RWIN];
    if (combination)
        return false;
    if (!text.translated)
        text.count = characters_of(event, text.characters, Key_text::room);
    if (text.count < 0)
        return false; // a dead key: left to compose in the target
    std::wstring data;
    if (text.count > 0 && text.characters[0] >= 0x20) {
        data.assign(text.characters, static_cast<std::size_t>(text.count));
    } else {
        const wchar_t* hex = L"0123456789abcdef";
        data = {L'\x0001', hex[(event->vkCode >> 4) & 0xF], hex[event->vkCode & 0xF]};
    }
    final_swallowed_[event->vkCode] = true;
    Abbreviation_match held;
    held.typed = std::move(data);
    dispatch_abbreviation(std::move(held));
    return true;
}

bool Shortcut_listener::direct_binding(const KBDLLHOOKSTRUCT* event, unsigned int modifiers) {
    const std::uint32_t virtual_key = event->vkCode;
    if ((event->flags & LLKHF_UP) != 0) {
        std::uint32_t pressed = swallowed_[virtual_key].exchange(0, std::memory_order_acq_rel);
        if (pressed == 0)
            return false;
        // Its binding went away meanwhile: the release ends the stroke quietly.
        if ((pressed & stale_mark) != 0)
            return true;
        Hand_over release;
        release.code = pressed & Key_code::low_mask;
        release.map = snapshot();
        release.entry = find_entry(*release.map, virtual_key, release.code);
        // The release is consumed even when its run cannot start, as its
        // press was.
        if (release.entry)
            hand_over(std::move(release));
        return true;
    }
    std::uint32_t code = Key_code::from_listener_event(virtual_key, modifiers);
    std::uint32_t remembered = swallowed_[virtual_key].load(std::memory_order_acquire);
    if (remembered != 0) {
        if ((remembered & stale_mark) == 0 && (remembered & Key_code::low_mask) == code)
            return true;
        swallowed_[virtual_key].compare_exchange_strong(remembered, 0, std::memory_order_acq_rel);
        (Trace::info("Shortcut_listener::key_event") << "the release of ")
                .hex(remembered & Key_code::low_mask, 4)
            << " never came; this press starts a new stroke";
    }
    // Direct bindings are off in excluded applications.
    if (excluded_app_ || !bound_[virtual_key].load(std::memory_order_acquire))
        return false;
    if (!find_entry(*snapshot(), virtual_key, code))
        return false;
    swallowed_[virtual_key].store(code | pressed_mark, std::memory_order_release);
    return true;
}

void Shortcut_listener::replace_abbreviations(const std::vector<Abbreviation_record>& abbreviations,
                                              const std::vector<std::wstring>& excluded) {
    static std::atomic<std::uint64_t> generations{0};
    auto next = std::make_shared<const Abbreviation_state>(
        Abbreviation_state{Abbreviation_set(abbreviations), excluded, ++generations});
    {
        std::lock_guard<std::mutex> lock(map_mutex_);
        abbreviations_.swap(next);
    }
    previous_abbreviations_.swap(next);
}

std::shared_ptr<const Shortcut_listener::Abbreviation_state>
Shortcut_listener::abbreviation_state() const {
    std::lock_guard<std::mutex> lock(map_mutex_);
    return abbreviations_;
}

namespace {

// Keys after which the text before the caret is no longer what was typed.
bool is_reset_key(std::uint32_t key) {
    return (key >= VK_PRIOR && key <= VK_DOWN) || key == VK_INSERT || key == VK_DELETE ||
           key == VK_RETURN || key == VK_TAB || key == VK_ESCAPE;
}

// The part of AltGr that Windows sends as a left Control with this scan code.
constexpr DWORD altgr_control_scan = 0x21D;

// Bits of a key's byte in a keyboard state (GetKeyState, ToUnicodeEx).
constexpr BYTE key_down_state = 0x80;
constexpr BYTE key_toggled_state = 0x01;

// ToUnicodeEx flag: leave the keyboard state alone, so that a dead key still
// composes in the target.
constexpr UINT keep_keyboard_state = 0x4;

std::wstring image_name_of(HWND window) {
    DWORD process_id = 0;
    GetWindowThreadProcessId(window, &process_id);
    if (process_id == 0)
        return {};
    HANDLE process = OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, process_id);
    if (!process)
        return {};
    wchar_t path[MAX_PATH];
    DWORD size = MAX_PATH;
    std::wstring name;
    if (QueryFullProcessImageNameW(process, 0, path, &size) && size > 0 && size <= MAX_PATH) {
        name.assign(path, size);
        const std::size_t slash = name.find_last_of(L"\\/");
        if (slash != std::wstring::npos)
            name.erase(0, slash + 1);
    }
    CloseHandle(process);
    return name;
}

bool is_password_edit(HWND control) {
    if (!control)
        return false;
    wchar_t class_name[64] = {};
    const UINT length = RealGetWindowClassW(control, class_name, 64);
    std::wstring folded;
    for (UINT i = 0; i < length && i < 64; ++i)
        folded += Letter_case::lower(class_name[i]);
    return folded.find(L"edit") != std::wstring::npos &&
           (GetWindowLongW(control, GWL_STYLE) & ES_PASSWORD) != 0;
}

} // namespace

bool matches_image_pattern(const std::wstring& pattern, const std::wstring& name) {
    // Iterative wildcard matching with one backtrack point for the last *.
    std::size_t p = 0, n = 0, star = std::wstring::npos, resume = 0;
    while (n < name.size()) {
        if (p < pattern.size() &&
            (pattern[p] == L'?' || Letter_case::lower(pattern[p]) == Letter_case::lower(name[n]))) {
            ++p;
            ++n;
        } else if (p < pattern.size() && pattern[p] == L'*') {
            star = p++;
            resume = n;
        } else if (star != std::wstring::npos) {
            p = star + 1;
            n = ++resume;
        } else {
            return false;
        }
    }
    while (p < pattern.size() && pattern[p] == L'*')
        ++p;
    return p == pattern.size();
}

bool Shortcut_listener::track_modifier(const KBDLLHOOKSTRUCT* event) {
    const std::uint32_t key = event->vkCode;
    if (!is_modifier_key(key))
        return false;
    const bool down = (event->flags & LLKHF_UP) == 0;
    if (key == VK_CAPITAL) {
        if (!caps_known_) {
            caps_lock_ = (GetKeyState(VK_CAPITAL) & key_toggled_state) != 0;
            caps_known_ = true;
        }
        if (down && !held_[key])
            caps_lock_ = !caps_lock_;
    }
    // The Control that AltGr sends along is not a Control of the user's.
    if (key == VK_LCONTROL && event->scanCode == altgr_control_scan)
        return true;
    held_[key] = down;
    return true;
}

// One call per key: the foreground thread's active and focused windows. The
// process name and the password style are looked up only when they change.
void Shortcut_listener::follow_focus(const Abbreviation_state& state, bool expanding) {
    GUITHREADINFO info{};
    info.cbSize = sizeof info;
    HWND foreground = nullptr, focus = nullptr;
    if (GetGUIThreadInfo(0, &info)) {
        foreground = info.hwndActive;
        focus = info.hwndFocus ? info.hwndFocus : info.hwndActive;
    }
    if (foreground != foreground_ || state.generation != judged_generation_) {
        foreground_ = foreground;
        DWORD process = 0;
        foreground_thread_ = GetWindowThreadProcessId(foreground, &process);
        own_foreground_ = process != 0 && process == GetCurrentProcessId();
        judged_generation_ = state.generation;
        excluded_app_ = false;
        if (!state.excluded.empty()) {
            const std::wstring image = image_name_of(foreground);
            for (const std::wstring& pattern : state.excluded)
                excluded_app_ =
                    excluded_app_ || (!image.empty() && matches_image_pattern(pattern, image));
        }
        matcher_.clear();
    }
    if (focus != focus_) {
        focus_ = focus;
        password_ = is_password_edit(focus);
        matcher_.clear();
        dead_key_pending_ = false;
    }
    // A click moves the caret without a key: where the control shows a
    // caret, one that went to another line, or back without a Backspace,
    // means the text before it is not what was typed. (Typing moves it
    // forward or not yet, when the target lags behind.) While an expansion
    // is typed its output moves the caret (Backspaces, a cursor mark, line
    // breaks); the first key after it is judged against the last place seen,
    // which may clear the buffer needlessly but never keeps it after a click.
    if (info.hwndCaret) {
        if (info.hwndCaret == caret_window_ && !expanding &&
            (info.rcCaret.top != caret_top_ ||
             (info.rcCaret.left < caret_left_ && !caret_may_go_back_)))
            matcher_.clear();
        caret_window_ = info.hwndCaret;
        caret_left_ = info.rcCaret.left;
        caret_top_ = info.rcCaret.top;
    } else {
        caret_window_ = nullptr;
    }
    caret_may_go_back_ = false;
}

int Shortcut_listener::translate(const KBDLLHOOKSTRUCT* event, wchar_t* characters,
                                 int capacity) const {
    BYTE keys[256] = {};
    if (held_[VK_LSHIFT] || held_[VK_RSHIFT] || held_[VK_SHIFT])
        keys[VK_SHIFT] = key_down_state;
    keys[VK_CAPITAL] = caps_lock_ ? key_toggled_state : 0;
    // Right Alt: AltGr where the layout has it, whose characters come with
    // Control and Alt held; where it gives none, a plain Alt combination.
    if (held_[VK_RMENU])
        keys[VK_CONTROL] = keys[VK_LCONTROL] = keys[VK_MENU] = keys[VK_RMENU] = key_down_state;
    // The layout of the window that receives the key, not the hook's own.
    HKL layout = GetKeyboardLayout(foreground_thread_);
    return ToUnicodeEx(event->vkCode, event->scanCode, keys, characters, capacity,
                       keep_keyboard_state, layout);
}

int Shortcut_listener::characters_of(const KBDLLHOOKSTRUCT* event, wchar_t* characters,
                                     int capacity) const {
    // Text sent as Unicode packets (SendInput of other programs, on-screen
    // keyboards) carries its code unit in the scan code.
    if (event->vkCode == VK_PACKET && capacity > 0) {
        characters[0] = static_cast<wchar_t>(static_cast<std::uint16_t>(event->scanCode));
        return 1;
    }
    return translate(event, characters, capacity);
}

bool Shortcut_listener::typed_key(const KBDLLHOOKSTRUCT* event, const Abbreviation_state& state) {
    Key_text text;
    Abbreviation_match match;
    if (!feed_matcher(event, state, text, match))
        return false;
    final_swallowed_[event->vkCode] = true;
    dispatch_abbreviation(std::move(match));
    return true;
}

// Typed and held keys alike. The key is translated only when its characters
// can matter to the matcher.
bool Shortcut_listener::feed_matcher(const KBDLLHOOKSTRUCT* event, const Abbreviation_state& state,
                                     Key_text& text, Abbreviation_match& match) {
    const std::uint32_t key = event->vkCode;
    if (excluded_app_ || password_ || state.set.empty()) {
        matcher_.clear();
        return false;
    }
    const bool control = held_[VK_LCONTROL] || held_[VK_RCONTROL] || held_[VK_CONTROL];
    const bool left_alt = held_[VK_LMENU] || held_[VK_MENU];
    const bool windows = held_[VK_LWIN] || held_[VK_RWIN];
    if (is_reset_key(key) || control || left_alt || windows) {
        matcher_.clear();
        return false;
    }
    if (key == VK_BACK) {
        caret_may_go_back_ = true;
        matcher_.backspace();
        return false;
    }
    text.count = characters_of(event, text.characters, Key_text::room);
    text.translated = true;
    if (text.count < 0) {
        // A pending dead key: what the target composes from it and the next
        // key is unknown here.
        matcher_.clear();
        dead_key_pending_ = true;
        return false;
    }
    if (text.count == 0 || dead_key_pending_ || text.characters[0] < 0x20) {
        matcher_.clear();
        dead_key_pending_ = false;
        return false;
    }
    return matcher_.type(text.characters, static_cast<std::size_t>(text.count), state.set, match);
}

// Hook thread: the run gets its ticket (turns follow the order of typing)
// and counts as pending from now on, so the keys typed on are held.
void Shortcut_listener::dispatch_abbreviation(Abbreviation_match match) {
    Hand_over run;
    run.ticket = next_ticket_++;
    run.match = std::move(match);
    turns_->pending.fetch_add(1, std::memory_order_acq_rel);
    const std::uint64_t ticket = run.ticket;
    if (!hand_over(std::move(run))) {
        turns_->pending.fetch_sub(1, std::memory_order_acq_rel);
        turns_->finish(ticket);
    }
}

// A worker that is busy takes the item in its next round unasked: waking
// one costs a call into the system, which a burst makes only once.
bool Shortcut_listener::hand_over(Hand_over item) {
    bool wake = false;
    {
        std::lock_guard<std::mutex> lock(queue_mutex_);
        if (stopping_)
            return false;
        tasks_.expect();
        queued_.push_back(std::move(item));
        wake = worker_waiting_;
    }
    if (wake)
        queue_changed_.notify_one();
    return true;
}

// The whole queue is taken at once and handed over outside the lock; what
// is queued when the worker is told to stop is still handed over.
void Shortcut_listener::work() {
    std::vector<Hand_over> taken;
    taken.reserve(queue_reserve);
    std::unique_lock<std::mutex> lock(queue_mutex_);
    for (;;) {
        worker_waiting_ = true;
        queue_changed_.wait(lock, [this] { return stopping_ || !queued_.empty(); });
        worker_waiting_ = false;
        if (queued_.empty())
            return;
        taken.swap(queued_);
        lock.unlock();
        for (Hand_over& item : taken)
            Trace::guarded("Shortcut_listener::work", [&] {
                if (item.entry)
                    start_release(item);
                else
                    start_abbreviation(item);
            });
        taken.clear(); // the last holder of a replaced map frees it here
        lock.lock();
    }
}

void Shortcut_listener::stop_worker() {
    {
        std::lock_guard<std::mutex> lock(queue_mutex_);
        stopping_ = true;
    }
    queue_changed_.notify_one();
    if (worker_.joinable())
        worker_.join();
}

// Worker thread: the run's list, then the run on a task of its own, so that
// an action waiting for a person never holds up the next release.
void Shortcut_listener::start_release(const Hand_over& item) {
    std::future<void> task;
    try {
        Param::Owned_parameters list = Param::create(host_);
        if (!list) {
            Trace::error("Shortcut_listener::key_event")
                << L"the host gave no parameter list; " << item.entry->ident << L" not run";
        } else {
            list->set_text(L"request", L"execute", 7);
            Param::write_u32(list.get(), L"deactivate", item.code);
            task = std::async(std::launch::async,
                              [host = host_, ident = item.entry->ident, owned = std::move(list)] {
                                  Trace::guarded("Shortcut_listener::run",
                                                 [&] { Param::send(host, ident, owned.get()); });
                              });
        }
    } catch (const std::exception& e) {
        Trace::error("Shortcut_listener::key_event")
            << "Zaptor exception:" << e.what() << L" (" << item.entry->ident << L" not run)";
    }
    tasks_.fulfil(std::move(task));
}

namespace {

// A typing action gets the Backspaces, the case and the separator with its
// own output, for one typing run; any other action runs after the Backspaces
// are typed, and the separator is typed after it. A held key is typed alone.
void run_abbreviation(Interaction_if* host, const Abbreviation_match& match) {
    if (!match.typed.empty()) {
        Param::Owned_parameters keys = Param::create(host);
        if (keys) {
            Param::write_text(keys.get(), L"typing_data", match.typed);
            Own_output::Scope own;
            Param::send(host, L"vq_keyboard_write", keys.get());
        }
        return;
    }
    Param::Owned_parameters descriptor = Param::create(host);
    Param::Owned_parameters list = Param::create(host);
    if (!descriptor || !list) {
        Trace::error("Shortcut_listener::run")
            << L"the host gave no parameter list; " << match.ident << L" not run";
        return;
    }
    Param::write_text(descriptor.get(), L"request", L"get_descriptor");
    Param::send(host, match.ident, descriptor.get());
    const bool typing = Param::read_text(descriptor.get(), L"type") == L"typing_interpreter";
    list->set_text(L"request", L"execute", 7);
    Param::write_u32(list.get(), L"deactivate", 0);
    if (typing) {
        Param::write_u32(list.get(), L"abbreviation_backspaces", match.shown);
        Param::write_text(list.get(), L"abbreviation_separator", match.separator);
        Param::write_u32(list.get(), L"abbreviation_case",
                         static_cast<std::uint32_t>(match.typed_case));
    } else if (match.shown > 0) {
        Param::Owned_parameters erase = Param::create(host);
        if (erase) {
            std::wstring data;
            for (unsigned i = 0; i < match.shown; ++i)
                data += L"\x0001"
                        L"08";
            Param::write_text(erase.get(), L"typing_data", data);
            Own_output::Scope own;
            Param::send(host, L"vq_keyboard_write", erase.get());
        }
    }
    Param::send(host, match.ident, list.get());
    // Other actions: the separator follows once they ran.
    Param::Owned_parameters separator = Param::create(host);
    if (!typing && !match.separator.empty() && separator) {
        Param::write_text(separator.get(), L"typing_data", match.separator);
        Own_output::Scope own;
        Param::send(host, L"vq_keyboard_write", separator.get());
    }
}

} // namespace

// Worker thread: the run waits on its own task for its turn.
void Shortcut_listener::start_abbreviation(Hand_over& item) {
    const std::uint64_t ticket = item.ticket;
    const std::wstring ident = item.match.ident; // the match moves into the task
    std::future<void> task;
    try {
        task = std::async(std::launch::async, [host = host_, match = std::move(item.match),
                                               turns = turns_, ticket] {
            {
                // Bounded: a run stuck on a question never holds later ones for long.
                std::unique_lock<std::mutex> lock(turns->mutex);
                turns->changed.wait_for(lock, std::chrono::seconds(30),
                                        [&] { return turns->serving >= ticket; });
            }
            Trace::guarded("Shortcut_listener::run", [&] { run_abbreviation(host, match); });
            turns->last_done.store(GetTickCount(), std::memory_order_release);
            turns->pending.fetch_sub(1, std::memory_order_acq_rel);
            turns->finish(ticket);
        });
    } catch (const std::exception& e) {
        turns_->pending.fetch_sub(1, std::memory_order_acq_rel);
        turns_->finish(ticket);
        Trace::error("Shortcut_listener::key_event")
            << "Zaptor exception:" << e.what() << L" (" << ident << L" not run)";
    }
    tasks_.fulfil(std::move(task));
}

void Shortcut_listener::Turns::finish(std::uint64_t ticket) {
    {
        std::lock_guard<std::mutex> lock(mutex);
        if (serving <= ticket)
            serving = ticket + 1;
    }
    changed.notify_all();
}
