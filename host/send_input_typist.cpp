#include "host/send_input_typist.h"

#include "host/typing_decoder.h"
#include "trace/trace.h"

#include <chrono>
#include <exception>
#include <utility>

namespace {

bool is_extended_key(std::uint8_t vk) {
    switch (vk) {
    case VK_PRIOR:
    case VK_NEXT:
    case VK_END:
    case VK_HOME:
    case VK_LEFT:
    case VK_UP:
    case VK_RIGHT:
    case VK_DOWN:
    case VK_INSERT:
    case VK_DELETE:
    case VK_RCONTROL:
    case VK_RMENU:
    case VK_LWIN:
    case VK_RWIN:
    case VK_APPS:
    case VK_DIVIDE:
    case VK_NUMLOCK:
        return true;
    default:
        return false;
    }
}

INPUT key_input(std::uint8_t vk, bool down) {
    INPUT input{};
    input.type = INPUT_KEYBOARD;
    input.ki.wVk = vk;
    input.ki.wScan = static_cast<WORD>(MapVirtualKeyW(vk, MAPVK_VK_TO_VSC));
    input.ki.dwFlags =
        (down ? 0 : KEYEVENTF_KEYUP) | (is_extended_key(vk) ? KEYEVENTF_EXTENDEDKEY : 0);
    return input;
}

INPUT unicode_input(wchar_t c, bool down) {
    INPUT input{};
    input.type = INPUT_KEYBOARD;
    input.ki.wScan = static_cast<WORD>(c);
    input.ki.dwFlags = KEYEVENTF_UNICODE | (down ? 0 : KEYEVENTF_KEYUP);
    return input;
}

void append_press(std::vector<INPUT>& out, std::uint8_t vk) {
    out.push_back(key_input(vk, true));
    out.push_back(key_input(vk, false));
}

void append_characters(std::vector<INPUT>& out, const std::wstring& text) {
    for (std::size_t i = 0; i < text.size(); ++i) {
        const wchar_t c = text[i];
        if (c == L'\r' || c == L'\n') {
            if (c == L'\n' && i > 0 && text[i - 1] == L'\r')
                continue; // CR LF is one line break
            append_press(out, VK_RETURN);
        } else if (c == L'\t') {
            append_press(out, VK_TAB);
        } else {
            out.push_back(unicode_input(c, true));
            out.push_back(unicode_input(c, false));
        }
    }
}

} // namespace

Send_input_typist::Send_input_typist()
    : Send_input_typist(
          [](const std::vector<INPUT>& inputs) {
              return SendInput(static_cast<UINT>(inputs.size()), const_cast<INPUT*>(inputs.data()),
                               sizeof(INPUT));
          },
          [](unsigned int milliseconds) { Sleep(milliseconds); }) {}

Send_input_typist::Send_input_typist(Sender sender, Sleeper sleeper)
    : sender_(std::move(sender)), sleeper_(std::move(sleeper)) {}

bool Send_input_typist::flush(std::vector<INPUT>& pending) {
    if (pending.empty())
        return true;
    const UINT sent = sender_(pending);
    const bool ok = sent == pending.size();
    if (!ok)
        Trace::error("Send_input_typist::flush")
            << "SendInput inserted " << static_cast<std::uint32_t>(sent) << " of "
            << static_cast<std::uint64_t>(pending.size()) << " events (error "
            << static_cast<std::uint32_t>(GetLastError()) << ")";
    pending.clear();
    return ok;
}

bool Send_input_typist::type(const std::wstring& typing_data) {
    bool ok = true;
    std::vector<INPUT> pending;
    std::set<std::uint8_t> held;
    for (const auto& element : Typing_decoder::decode(typing_data)) {
        switch (element.kind) {
        case Typing_element::Kind::text:
            append_characters(pending, element.text);
            break;
        case Typing_element::Kind::key_press:
            append_press(pending, element.virtual_key);
            break;
        case Typing_element::Kind::key_down:
            pending.push_back(key_input(element.virtual_key, true));
            held.insert(element.virtual_key);
            break;
        case Typing_element::Kind::key_up:
            pending.push_back(key_input(element.virtual_key, false));
            held.erase(element.virtual_key);
            break;
        case Typing_element::Kind::pause:
            ok = flush(pending) && ok;
            sleeper_(element.milliseconds);
            break;
        case Typing_element::Kind::link:
        case Typing_element::Kind::image:
            append_characters(pending, Typing_decoder::record_text(element));
            break;
        case Typing_element::Kind::invalid:
            break; // traced by the decoder
        }
    }
    if (!held.empty()) {
        Trace::info("Send_input_typist::type")
            << static_cast<std::uint64_t>(held.size())
            << " keys were pressed and not released; released now";
        for (auto it = held.rbegin(); it != held.rend(); ++it)
            pending.push_back(key_input(*it, false));
    }
    return flush(pending) && ok;
}

Background_typist::Background_typist(Typist& typist)
    : typist_(typist), host_thread_(GetCurrentThreadId()), worker_([this] { run(); }) {}

Background_typist::~Background_typist() {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        stopping_ = true;
    }
    changed_.notify_all();
    worker_.join();
    // Everything queued was typed: senders still waking up collect their
    // answers before the object goes.
    std::unique_lock<std::mutex> lock(mutex_);
    changed_.wait(lock, [this] { return waiting_ == 0; });
}

bool Background_typist::type(const std::wstring& typing_data) {
    const bool awaited = GetCurrentThreadId() != host_thread_;
    std::unique_lock<std::mutex> lock(mutex_);
    if (stopping_)
        return false;
    const std::uint64_t number = ++queued_;
    queue_.push_back(Item{typing_data, number, awaited});
    changed_.notify_all();
    if (!awaited)
        return true;
    ++waiting_;
    changed_.wait(lock, [&] { return results_.count(number) != 0; });
    const bool ok = results_[number];
    results_.erase(number);
    --waiting_;
    changed_.notify_all();
    return ok;
}

bool Background_typist::wait_idle(unsigned int timeout_ms) {
    std::unique_lock<std::mutex> lock(mutex_);
    return changed_.wait_for(lock, std::chrono::milliseconds(timeout_ms),
                             [this] { return queue_.empty() && !busy_; });
}

void Background_typist::run() {
    std::unique_lock<std::mutex> lock(mutex_);
    while (true) {
        changed_.wait(lock, [this] { return stopping_ || !queue_.empty(); });
        if (queue_.empty())
            return; // stopping, and everything queued was typed
        Item item = std::move(queue_.front());
        queue_.pop_front();
        busy_ = true;
        lock.unlock();
        bool ok = false;
        try {
            ok = typist_.type(item.data);
        } catch (const std::exception& e) {
            Trace::error("Background_typist::run") << "typing failed: " << e.what();
        }
        lock.lock();
        if (item.awaited)
            results_[item.number] = ok;
        busy_ = false;
        changed_.notify_all();
    }
}
