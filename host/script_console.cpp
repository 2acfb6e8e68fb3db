#include "host/script_console.h"

#include "contract/text_convert.h"
#include "contract/win32_text.h"
#include "host/typing_decoder.h"
#include "host/value_format.h"
#include "trace/trace.h"

#include <algorithm>
#include <exception>
#include <string>
#include <utility>
#include <vector>

namespace {

std::string trim(const std::string& text) {
    std::size_t begin = text.find_first_not_of(" \t");
    if (begin == std::string::npos)
        return std::string();
    std::size_t end = text.find_last_not_of(" \t");
    return text.substr(begin, end - begin + 1);
}

// A path argument: the rest of the line, quotes around it optional.
std::string path_argument(const std::string& rest) {
    std::string path = trim(rest);
    if (path.size() >= 2 && path.front() == '"' && path.back() == '"')
        path = path.substr(1, path.size() - 2);
    return path;
}

bool parse_virtual_key(const std::string& text, std::uint32_t& vk, std::string& error) {
    unsigned long long value = 0;
    if (!Value_format::parse_number(text, 0xFF, value, error))
        return false;
    vk = static_cast<std::uint32_t>(value);
    return true;
}

bool parse_assignments(const std::vector<std::string>& words, std::size_t first,
                       std::vector<Value_format::Assignment>& out, std::string& error) {
    for (std::size_t i = first; i < words.size(); ++i) {
        Value_format::Assignment assignment;
        if (!Value_format::parse_assignment(words[i], assignment, error))
            return false;
        out.push_back(std::move(assignment));
    }
    return true;
}

} // namespace

Script_console::Script_console(Reference_host& host, Output output)
    : host_(host), output_(std::move(output)) {
    host_.set_request_observer([this](const std::wstring& name, Parameters* list) {
        print(format_request(name, list));
        std::lock_guard<std::mutex> lock(output_mutex_);
        ++request_counts_[name];
    });
}

std::size_t Script_console::requests_seen(const std::wstring& name) {
    std::lock_guard<std::mutex> lock(output_mutex_);
    auto found = request_counts_.find(name);
    return found == request_counts_.end() ? 0 : found->second;
}

// "await NAME COUNT MS": serves messages until the plug-in has sent the
// request NAME COUNT times in all, or fails when MS pass first. Work that a
// worker thread does (a released binding) takes its own time, and far more
// of it under an emulator; a fixed pause would race it.
bool Script_console::command_await(const std::vector<std::string>& words, std::string& error) {
    unsigned long long count = 0;
    unsigned long long ms = 0;
    if (words.size() != 4) {
        error = "await needs a request name, a count and milliseconds";
        return false;
    }
    if (!Value_format::parse_number(words[2], 0x7FFFFFFF, count, error) ||
        !Value_format::parse_number(words[3], 0x7FFFFFFF, ms, error))
        return false;
    const std::wstring name = utf8_to_utf16(words[1]);
    const ULONGLONG deadline = GetTickCount64() + ms;
    while (requests_seen(name) < count) {
        const ULONGLONG now = GetTickCount64();
        if (now >= deadline) {
            error = "await: " + words[1] + " sent " + std::to_string(requests_seen(name)) +
                    " times, not " + std::to_string(count) + ", within " + words[3] + " ms";
            return false;
        }
        pump_messages(static_cast<unsigned int>(std::min<ULONGLONG>(deadline - now, 10)));
    }
    return true;
}

Script_console::~Script_console() {
    host_.set_typist(nullptr);
    hook_.reset();
    close_plugin();
    host_.set_request_observer(nullptr);
}

void Script_console::close_plugin() {
    if (!plugin_.loaded())
        return;
    if (started_ && plugin_.initialized()) {
        started_ = false;
        auto list = Reference_host::make_list();
        host_.deliver(L"shutdown", list.get());
    }
    std::string error;
    if (plugin_.initialized() && !plugin_.finalize(error))
        Trace::error("Script_console::close_plugin") << error;
    host_.drop_objects_of_module(plugin_.module());
    plugin_.unload();
}

void Script_console::print(const std::string& line) {
    std::lock_guard<std::mutex> lock(output_mutex_);
    if (output_)
        output_(line);
}

std::vector<std::string> Script_console::format_list(const Parameter_list& list) {
    std::vector<std::string> lines;
    for (const auto& value : flatten(list))
        lines.push_back(
            "= " + Value_format::format_key(value.path) + " " +
            Value_format::format_value(value.entry->bytes, value.entry->written_as_text));
    return lines;
}

std::string Script_console::format_request(const std::wstring& name, Parameters* list) {
    std::string line = "> " + Value_format::format_key(name);
    // Lists from this host print their values; anything else prints its name only.
    if (auto* host_list = dynamic_cast<Parameter_list*>(list))
        for (const auto& value : flatten(*host_list))
            line += " " + Value_format::format_key(value.path) + "=" +
                    Value_format::format_value(value.entry->bytes, value.entry->written_as_text);
    return line;
}

int Script_console::run(const std::string& script_text) {
    std::size_t start = 0;
    bool first = true;
    while (start <= script_text.size()) {
        std::size_t end = script_text.find('\n', start);
        bool last = end == std::string::npos;
        std::string line = script_text.substr(start, last ? std::string::npos : end - start);
        if (first && line.compare(0, 3, "\xEF\xBB\xBF") == 0)
            line.erase(0, 3);
        first = false;
        if (last && line.empty())
            break;
        if (!run_line(line))
            return 1;
        if (last)
            break;
        start = end + 1;
    }
    return 0;
}

bool Script_console::run_line(const std::string& raw_line) {
    ++line_number_;
    std::string line = raw_line;
    if (!line.empty() && line.back() == '\r')
        line.pop_back();
    std::string trimmed = trim(line);
    if (trimmed.empty() || trimmed[0] == '#')
        return true;
    std::string error;
    bool ok = false;
    try {
        std::vector<std::string> words;
        std::size_t command_end = trimmed.find_first_of(" \t");
        std::string rest =
            command_end == std::string::npos ? std::string() : trimmed.substr(command_end + 1);
        std::string command = trimmed.substr(0, command_end);
        // echo and the path commands take the rest of the line as it is.
        if (command == "echo" || command == "load" || command == "chdir" || command == "type")
            words.push_back(command);
        else if (command == "listener" && rest.rfind("type", 0) == 0)
            words = {command, "type"}; // the text is the rest of the line
        else if (!Value_format::split_words(trimmed, words, error))
            words.clear();
        if (!words.empty())
            ok = execute(words, rest, error);
    } catch (const std::exception& e) {
        error = std::string("internal error: ") + e.what();
    }
    if (!ok) {
        last_error_ = "line " + std::to_string(line_number_) + ": " + error;
        Trace::error("Script_console::run_line") << last_error_;
        print("error: " + last_error_);
    }
    return ok;
}

bool Script_console::execute(const std::vector<std::string>& words, const std::string& rest,
                             std::string& error) {
    const std::string& command = words[0];
    auto no_arguments = [&] {
        if (words.size() == 1)
            return true;
        error = command + " takes no arguments";
        return false;
    };
    if (command == "echo") {
        print(rest);
        return true;
    }
    if (command == "load")
        return command_load(path_argument(rest), error);
    if (command == "finalize")
        return no_arguments() && command_finalize(error);
    if (command == "unload")
        return no_arguments() && command_unload(error);
    if (command == "send")
        return command_send(words, error);
    if (command == "answer")
        return command_answer(words, error);
    if (command == "chdir") {
        std::string path = path_argument(rest);
        if (path.empty()) {
            error = "chdir needs a path";
            return false;
        }
        if (!SetCurrentDirectoryW(utf8_to_utf16(path).c_str())) {
            error = "cannot change to " + path + ": " + system_error_text(GetLastError());
            return false;
        }
        return true;
    }
    if (command == "clock") {
        // Milliseconds on a monotonic clock: scripts time what lies between two.
        if (!no_arguments())
            return false;
        print("clock " + std::to_string(GetTickCount64()));
        return true;
    }
    if (command == "sleep") {
        unsigned long long ms = 0;
        if (words.size() != 2) {
            error = "sleep needs one number of milliseconds";
            return false;
        }
        if (!Value_format::parse_number(words[1], 0x7FFFFFFF, ms, error))
            return false;
        Sleep(static_cast<DWORD>(ms));
        return true;
    }
    if (command == "listener" && words.size() >= 2 && words[1] == "type")
        return command_listener_type(rest, error);
    if (command == "listener")
        return command_listener(words, error);
    if (command == "type")
        return command_type(rest, error);
    if (command == "typing")
        return command_typing(words, error);
    if (command == "hook") {
        if (!no_arguments())
            return false;
        if (hook_) {
            error = "the keyboard hook is installed already";
            return false;
        }
        auto hook = std::make_unique<Keyboard_hook>(host_);
        if (!hook->install(error))
            return false;
        hook_ = std::move(hook);
        return true;
    }
    if (command == "activation") {
        std::uint32_t vk = 0;
        if (words.size() != 2) {
            error = "activation needs one virtual-key code";
            return false;
        }
        if (!parse_virtual_key(words[1], vk, error))
            return false;
        host_.set_activation_key(vk);
        return true;
    }
    if (command == "await")
        return command_await(words, error);
    if (command == "wait") {
        unsigned long long ms = 0;
        if (words.size() != 2) {
            error = "wait needs one number of milliseconds";
            return false;
        }
        if (!Value_format::parse_number(words[1], 0x7FFFFFFF, ms, error))
            return false;
        pump_messages(static_cast<unsigned int>(ms));
        return true;
    }
    error = "unknown command '" + command + "'";
    return false;
}

bool Script_console::command_load(const std::string& path, std::string& error) {
    if (path.empty()) {
        error = "load needs a path";
        return false;
    }
    if (!plugin_.load(utf8_to_utf16(path), error))
        return false;
    if (!plugin_.initialize(&host_, error)) {
        host_.drop_objects_of_module(plugin_.module());
        plugin_.unload();
        return false;
    }
    return true;
}

bool Script_console::command_finalize(std::string& error) {
    if (!plugin_.loaded()) {
        error = "finalize: no plug-in is loaded";
        return false;
    }
    if (!plugin_.initialized()) {
        error = "finalize: the plug-in was finalized already";
        return false;
    }
    return plugin_.finalize(error);
}

bool Script_console::command_unload(std::string& error) {
    if (!plugin_.loaded()) {
        error = "unload: no plug-in is loaded";
        return false;
    }
    // Filters that a plug-in left registered would dangle once its code is gone.
    host_.drop_objects_of_module(plugin_.module());
    plugin_.unload();
    return true;
}

bool Script_console::command_send(const std::vector<std::string>& words, std::string& error) {
    if (words.size() < 2) {
        error = "send needs a message name";
        return false;
    }
    std::vector<Value_format::Assignment> values;
    if (!parse_assignments(words, 2, values, error))
        return false;
    auto list = Reference_host::make_list();
    for (auto& value : values)
        list->set_path(value.path, std::move(value.value.bytes), value.value.is_text);
    host_.deliver(utf8_to_utf16(words[1]), list.get());
    if (words[1] == "startup")
        started_ = true;
    else if (words[1] == "shutdown")
        started_ = false;
    for (const auto& line : format_list(*list))
        print(line);
    return true;
}

bool Script_console::command_answer(const std::vector<std::string>& words, std::string& error) {
    if (words.size() < 2) {
        error = "answer needs a service name";
        return false;
    }
    std::wstring service = utf8_to_utf16(words[1]);
    if (words.size() == 3 && words[2] == "none") {
        host_.set_no_answer(service);
        return true;
    }
    std::vector<Value_format::Assignment> values;
    if (!parse_assignments(words, 2, values, error))
        return false;
    std::vector<Reference_host::Answer_value> answer;
    for (auto& value : values)
        answer.push_back(
            {std::move(value.path), std::move(value.value.bytes), value.value.is_text});
    host_.set_answer(service, std::move(answer));
    return true;
}

bool Script_console::command_listener(const std::vector<std::string>& words, std::string& error) {
    if (words.size() < 3 || (words[1] != "down" && words[1] != "up")) {
        error = "usage: listener down|up VK [shift] [ctrl] [alt]";
        return false;
    }
    KBDLLHOOKSTRUCT event{};
    std::uint32_t vk = 0;
    if (!parse_virtual_key(words[2], vk, error))
        return false;
    event.vkCode = vk;
    if (words[1] == "up")
        event.flags = LLKHF_UP;
    event.time = GetTickCount();
    unsigned int modifiers = 0;
    for (std::size_t i = 3; i < words.size(); ++i) {
        if (words[i] == "shift")
            modifiers |= listener_shift;
        else if (words[i] == "ctrl")
            modifiers |= listener_control;
        else if (words[i] == "alt")
            modifiers |= listener_alt;
        else {
            error = "unknown modifier '" + words[i] + "' (shift, ctrl or alt)";
            return false;
        }
    }
    Keyboard_listener* listener = host_.keyboard_listener();
    if (!listener) {
        error = "no keyboard listener is registered";
        return false;
    }
    bool swallowed = false;
    try {
        swallowed = listener->key_event(&event, modifiers);
    } catch (const std::exception& e) {
        error = std::string("the keyboard listener threw: ") + e.what();
        return false;
    }
    print(std::string("= listener ") + (swallowed ? "true" : "false"));
    return true;
}

namespace {

KBDLLHOOKSTRUCT listener_key(DWORD virtual_key, bool down, DWORD scan_code = 0) {
    KBDLLHOOKSTRUCT event{};
    event.vkCode = virtual_key;
    event.scanCode = scan_code ? scan_code : MapVirtualKeyW(virtual_key, MAPVK_VK_TO_VSC);
    event.flags = down ? 0 : LLKHF_UP;
    event.time = GetTickCount();
    return event;
}

} // namespace

// Each character becomes the key strokes of the US layout that type it
// (VkKeyScanW: virtual key, scan code, Shift, AltGr), fed to the listener in
// order. Prints one mark per character: '-' passed, '!' swallowed, '?' when
// its press and release were decided differently (never right).
bool Script_console::command_listener_type(const std::string& rest, std::string& error) {
    std::string argument = trim(rest);
    argument = trim(argument.substr(std::string("type").size()));
    std::wstring text;
    if (argument.size() >= 2 && argument.front() == '"' && argument.back() == '"') {
        if (!Value_format::unescape_text(argument.substr(1, argument.size() - 2), text, error))
            return false;
    } else {
        text = utf8_to_utf16(argument);
    }
    if (text.empty()) {
        error = "usage: listener type TEXT (quoted with escapes, or the rest of the line)";
        return false;
    }
    Keyboard_listener* listener = host_.keyboard_listener();
    if (!listener) {
        error = "no keyboard listener is registered";
        return false;
    }
    HKL us = LoadKeyboardLayoutW(L"00000409", 0);
    std::string marks;
    try {
        for (wchar_t c : text) {
            const SHORT scan = VkKeyScanExW(c, us);
            std::vector<std::pair<KBDLLHOOKSTRUCT, unsigned int>> before, after;
            KBDLLHOOKSTRUCT press, release;
            unsigned int modifiers = 0;
            if (scan == -1) {
                // Not on the layout: as SendInput types it, a packet.
                press = listener_key(VK_PACKET, true, c);
                release = listener_key(VK_PACKET, false, c);
            } else {
                const DWORD vk = static_cast<DWORD>(scan & 0xFF);
                const int shifts = (scan >> 8) & 0xFF;
                if (shifts & 1) {
                    before.push_back({listener_key(VK_LSHIFT, true), 0});
                    modifiers |= listener_shift;
                }
                if ((shifts & 6) == 6) { // AltGr: the fake left Control, then right Alt
                    before.push_back({listener_key(VK_LCONTROL, true, 0x21D), modifiers});
                    before.push_back({listener_key(VK_RMENU, true), modifiers | listener_control});
                    modifiers |= listener_control | listener_alt;
                }
                press = listener_key(vk, true);
                release = listener_key(vk, false);
                if ((shifts & 6) == 6) {
                    after.push_back({listener_key(VK_RMENU, false), modifiers});
                    after.push_back({listener_key(VK_LCONTROL, false, 0x21D), modifiers});
                }
                if (shifts & 1)
                    after.push_back({listener_key(VK_LSHIFT, false), 0});
            }
            for (auto& [event, held] : before)
                listener->key_event(&event, held);
            const bool pressed = listener->key_event(&press, modifiers);
            const bool released = listener->key_event(&release, modifiers);
            for (auto& [event, held] : after)
                listener->key_event(&event, held);
            marks += pressed != released ? '?' : pressed ? '!' : '-';
        }
    } catch (const std::exception& e) {
        error = std::string("the keyboard listener threw: ") + e.what();
        return false;
    }
    print("= listener " + marks);
    return true;
}

bool Script_console::command_type(const std::string& rest, std::string& error) {
    const std::string argument = trim(rest);
    std::wstring data;
    if (argument == "last") {
        const auto typed = host_.typed_texts();
        if (typed.empty()) {
            error = "type last: nothing was typed yet";
            return false;
        }
        data = typed.back();
    } else if (argument.size() >= 2 && argument.front() == '"' && argument.back() == '"') {
        if (!Value_format::unescape_text(argument.substr(1, argument.size() - 2), data, error))
            return false;
    } else if (argument.empty()) {
        error = "type needs last or a text";
        return false;
    } else {
        data = utf8_to_utf16(argument);
    }
    print("type: " + utf16_to_utf8(Typing_decoder::visible_form(data)));
    return true;
}

bool Script_console::command_typing(const std::vector<std::string>& words, std::string& error) {
    if (words.size() != 2 || (words[1] != "on" && words[1] != "off")) {
        error = "usage: typing on|off";
        return false;
    }
    if (words[1] == "on") {
        if (!typist_)
            typist_ = std::make_unique<Send_input_typist>();
        host_.set_typist(typist_.get());
    } else {
        host_.set_typist(nullptr);
        typist_.reset();
    }
    return true;
}
