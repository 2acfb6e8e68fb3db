#include "output/clipboard_handler.h"

#include "contract/message_pump.h"
#include "contract/text_convert.h"
#include "contract/win32_text.h"
#include "output/clipboard_backup_scope.h"
#include "output/clipboard_window.h"
#include "output/keypresser.h"
#include "trace/boundary.h"
#include "trace/trace.h"

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <cstring>

using Output::Global_lock;
using Output::Opened_clipboard;

namespace {

using Clipboard_formats::block_flags;

// GetAsyncKeyState's bit for a key that is down now.
constexpr SHORT key_is_down = static_cast<SHORT>(0x8000);

std::uint32_t last_error() {
    return static_cast<std::uint32_t>(GetLastError());
}

// Marks what we put on the clipboard as transient: clipboard history, cloud
// clipboards and clipboard managers leave it out. A marker the user's own
// formats already carry keeps the user's value.
void put_history_exclusion(const Clipboard_snapshot& already) {
    for (std::uint32_t format : Clipboard_formats::history_exclusion_formats()) {
        if (format == 0 || std::any_of(already.begin(), already.end(),
                                       [&](const Saved_format& r) { return r.format == format; }))
            continue;
        const std::uint32_t value = 0;
        Unique_global block(GlobalAlloc(block_flags, sizeof value));
        if (Global_lock lock(block.get()); lock)
            std::memcpy(lock.data(), &value, sizeof value);
        else
            continue;
        if (SetClipboardData(format, block.get()))
            block.release();
    }
}

} // namespace

Clipboard_handler::Clipboard_handler() : window_(Clipboard_window::process_window()) {}

Clipboard_handler::~Clipboard_handler() = default;

Opened_clipboard Clipboard_handler::open_clipboard() {
    if (!window_) {
        // What we put on the clipboard must have our window as its owner,
        // or nobody renders it and nobody is told when it goes.
        Trace::error("Clipboard_handler::open_clipboard") << "no clipboard window: not opened";
        return Opened_clipboard();
    }
    return Opened_clipboard(access_clipboard(window_));
}

bool Clipboard_handler::access_clipboard(HWND owner) {
    if (OpenClipboard(owner)) {
        return true;
    }
    for (int retry = 0; retry < open_retries; ++retry) {
        if (!wait_pumping(open_retry_ms)) {
            break;
        }
        if (OpenClipboard(owner)) {
            return true;
        }
    }
    const std::uint32_t code = last_error();
    Trace::error("access_clipboard") << "access_clipboard failed with " << code;
    write_blocker_line();
    return false;
}

void Clipboard_handler::write_blocker_line() {
    Trace::guarded("access_clipboard", [&] {
        HWND blocker = GetOpenClipboardWindow();
        DWORD process_id = 0;
        if (blocker) {
            GetWindowThreadProcessId(blocker, &process_id);
        }
        std::wstring name;
        if (process_id != 0) {
            Unique_kernel_handle process(OpenProcess(PROCESS_QUERY_INFORMATION, FALSE, process_id));
            if (!process) {
                process.reset(OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, process_id));
            }
            wchar_t path[260] = {};
            DWORD size = 260;
            if (process && QueryFullProcessImageNameW(process.get(), 0, path, &size)) {
                name.assign(path, size);
            }
        } else {
            name = window_text(blocker);
        }
        Trace::error("access_clipboard") << "Clipboard is blocked by '" << name << "'";
    });
}

HANDLE Clipboard_handler::get_clipboard_data(std::uint32_t format) {
    HANDLE data = GetClipboardData(format);
    for (int retry = 0; !data && retry < data_retries; ++retry) {
        if (!wait_pumping(data_retry_ms)) {
            break;
        }
        data = GetClipboardData(format);
    }
    return data;
}

bool Clipboard_handler::get_opened_clipboard_data(std::wstring& text) {
    HANDLE data = get_clipboard_data(Clipboard_formats::unicode_text);
    if (!data) {
        const std::uint32_t code = last_error();
        Trace::error("Clipboard_handler::get_opened_clipboard_data")
            << "Failed to get clipboard data. Error " << code;
        return false;
    }
    Global_lock lock(data);
    if (!lock) {
        return false;
    }
    // Text from another application need not be terminated: never read past
    // the block.
    const std::size_t units = GlobalSize(data) / sizeof(wchar_t);
    const auto* chars = static_cast<const wchar_t*>(lock.data());
    text.assign(chars, wcsnlen(chars, units));
    return true;
}

bool extract_source_url(const std::string& header, std::wstring& url) {
    static const std::string start_key = "StartHTML:";
    static const std::string url_key = "SourceURL:";
    const std::size_t start_key_at = header.find(start_key);
    if (start_key_at == std::string::npos) {
        return false;
    }
    const long long html_start =
        std::strtoll(header.c_str() + start_key_at + start_key.size(), nullptr, 10);
    if (html_start <= 0) {
        return false;
    }
    // Only the header is searched: the last "SourceURL:" that begins at or
    // before the offset where the HTML starts.
    const long long from = std::min(html_start, static_cast<long long>(header.size()) - 10);
    if (from < 0) {
        return false;
    }
    const std::size_t url_key_at = header.rfind(url_key, static_cast<std::size_t>(from));
    if (url_key_at == std::string::npos) {
        return false;
    }
    const std::size_t value_at = url_key_at + url_key.size();
    const std::size_t line_end = header.find_first_of("\r\n", value_at);
    if (line_end == std::string::npos) {
        return false;
    }
    url.clear();
    for (std::size_t i = value_at; i < line_end; ++i) {
        url.push_back(static_cast<wchar_t>(static_cast<unsigned char>(header[i])));
    }
    return true;
}

bool Clipboard_handler::get_source_url_from_opened_clipboard(std::wstring& url) {
    // Most copies carry no HTML (an editor, a text field): no page, no error.
    if (!IsClipboardFormatAvailable(Clipboard_formats::html()))
        return false;
    HANDLE data = get_clipboard_data(Clipboard_formats::html());
    if (!data) {
        const std::uint32_t code = last_error();
        Trace::error("Clipboard_handler::get_source_url_from_opened_clipboard")
            << "get_source_url_from_opened_clipboard failed with error " << code;
        return false;
    }
    Global_lock lock(data);
    if (!lock) {
        return false;
    }
    const auto* bytes = static_cast<const char*>(lock.data());
    const std::size_t size = GlobalSize(data);
    const std::string header(bytes, strnlen(bytes, size));
    return extract_source_url(header, url);
}

bool Clipboard_handler::read_text(std::wstring& text) {
    text.clear();
    const bool read = Trace::guarded("Clipboard_handler::read_text", false, [&] {
        Opened_clipboard clipboard = open_clipboard();
        if (clipboard)
            get_opened_clipboard_data(text);
        return static_cast<bool>(clipboard);
    });
    if (!read)
        text.clear();
    return read;
}

void Clipboard_handler::read_selection_text(std::wstring& text) {
    text.clear();
    const bool read = Trace::guarded("Clipboard_handler::read_selection_text", false, [&] {
        if (!Clipboard_window::get_data_job(window_))
            return true;
        if (Opened_clipboard clipboard = open_clipboard())
            get_opened_clipboard_data(text);
        return true;
    });
    if (!read)
        text.clear();
}

std::wstring Clipboard_handler::read_selection_text() {
    std::wstring text;
    read_selection_text(text);
    return text;
}

void Clipboard_handler::read_selection_text_and_url(std::wstring& text, std::wstring& url) {
    text.clear();
    url.clear();
    const bool read = Trace::guarded("Clipboard_handler::read_selection_text_and_url", false, [&] {
        if (!Clipboard_window::get_data_job(window_))
            return true;
        if (Opened_clipboard clipboard = open_clipboard()) {
            get_opened_clipboard_data(text);
            get_source_url_from_opened_clipboard(url);
        }
        return true;
    });
    if (!read) {
        text.clear();
        url.clear();
    }
}

Clipboard_snapshot Clipboard_handler::read_selection_formats() {
    Clipboard_snapshot formats;
    const bool read = Trace::guarded("Clipboard_handler::read_selection_formats", false, [&] {
        if (!Clipboard_window::get_data_job(window_))
            return true;
        std::string why;
        if (!backup_formats(formats, why))
            Trace::error("Clipboard_handler::read_selection_formats")
                << "the selection cannot be kept whole: " << why;
        return true;
    });
    if (!read)
        formats.clear();
    return formats;
}

// Every format is kept, not only text: a user who copied a picture, a file
// list from Explorer or cells from a spreadsheet and then pressed one of our
// keys would otherwise find the clipboard stripped to its text.
bool Clipboard_handler::backup_formats(Clipboard_snapshot& backup, std::string& why,
                                       std::uint64_t cap) {
    backup.clear();
    why.clear();
    const bool whole = Trace::guarded("Clipboard_handler::backup_formats", false, [&] {
        Opened_clipboard clipboard = open_clipboard();
        if (!clipboard) {
            why = "the clipboard could not be opened";
            return false;
        }
        return copy_opened_clipboard(backup, why, cap);
    });
    if (!whole) {
        backup.clear();
        if (why.empty())
            why = "an exception (see the line before)";
    }
    return whole;
}

bool Clipboard_handler::copy_opened_clipboard(Clipboard_snapshot& copy, std::string& why,
                                              std::uint64_t cap) {
    using Clipboard_formats::Kind;
    // Collected first: reading data while enumerating could disturb the
    // enumeration of delay-rendered formats.
    std::vector<UINT> listed;
    SetLastError(ERROR_SUCCESS);
    for (UINT format = EnumClipboardFormats(0); format != 0; format = EnumClipboardFormats(format))
        listed.push_back(format);
    if (const std::uint32_t code = last_error(); code != ERROR_SUCCESS) {
        why = "the formats could not be listed: error " + std::to_string(code);
        return false;
    }
    // The system makes a picture's other forms from the first one listed (a
    // device-independent bitmap gives the device bitmap and the other header
    // version, an enhanced metafile the old one and back): a form listed
    // after its source is left to that synthesis, which spares copying a
    // large picture twice.
    const auto listed_before = [&](std::size_t at, std::initializer_list<UINT> sources) {
        for (std::size_t i = 0; i < at; ++i)
            for (UINT source : sources)
                if (listed[i] == source)
                    return true;
        return false;
    };
    const bool has_dib = std::find(listed.begin(), listed.end(), CF_DIB) != listed.end() ||
                         std::find(listed.begin(), listed.end(), CF_DIBV5) != listed.end();
    std::wstring lost;
    std::uint64_t total = 0;
    for (std::size_t i = 0; i < listed.size(); ++i) {
        const UINT format = listed[i];
        const Kind kind = Clipboard_formats::kind_of(format);
        if ((format == CF_BITMAP && has_dib) ||
            ((format == CF_DIB || format == CF_DIBV5) && listed_before(i, {CF_DIB, CF_DIBV5})) ||
            ((format == CF_ENHMETAFILE || format == CF_METAFILEPICT) &&
             listed_before(i, {CF_ENHMETAFILE, CF_METAFILEPICT})))
            continue;
        if (kind == Kind::uncopyable) {
            lost += (lost.empty() ? L"" : L", ") + Clipboard_formats::format_name(format);
            continue;
        }
        HANDLE data = get_clipboard_data(format);
        if (!data) {
            why = "format " + utf16_to_utf8(Clipboard_formats::format_name(format)) +
                  " could not be read: error " + std::to_string(last_error());
            return false;
        }
        if (!add_within(total, clipboard_object_size(format, data), cap)) {
            why = "it holds more than " + std::to_string(cap >> 20) + " MB";
            return false;
        }
        Saved_format record;
        record.format = format;
        record.data = copy_clipboard_object(format, data, record.size);
        if (!record.data) {
            why = "no copy of format " + utf16_to_utf8(Clipboard_formats::format_name(format)) +
                  " (" + std::to_string(record.size) + " bytes) could be made: error " +
                  std::to_string(last_error());
            return false;
        }
        copy.push_back(std::move(record));
    }
    if (!lost.empty())
        Trace::error("Clipboard_handler::backup_formats")
            << L"formats only their owner can keep are not saved: " << lost;
    return true;
}

bool Clipboard_handler::restore_formats(Clipboard_snapshot& backup) {
    Clipboard_snapshot records = std::move(backup);
    backup.clear();
    return Trace::guarded("Clipboard_handler::restore_formats", false, [&] {
        Opened_clipboard clipboard = open_clipboard();
        if (!clipboard) {
            Trace::error("Clipboard_handler::restore_formats")
                << "the clipboard could not be opened: the action's result stays on it";
            return false;
        }
        clear_opened_clipboard();
        for (Saved_format& record : records) {
            // The clipboard owns the object once it accepts it; a refused one
            // stays with the record and is freed with it.
            if (SetClipboardData(record.format, record.data.get()))
                record.data.release();
            else
                Trace::error("Clipboard_handler::restore_formats")
                    << L"format " << Clipboard_formats::format_name(record.format)
                    << L" was refused: error " << last_error();
        }
        put_history_exclusion(records);
        return true;
    });
}

void Clipboard_handler::clear_opened_clipboard() {
    if (!EmptyClipboard()) {
        const std::uint32_t code = last_error();
        Trace::error("Clipboard_handler::clear_opened_clipboard")
            << "EmptyClipboard failed. Error: " << code;
    }
}

Unique_global Clipboard_handler::create_handle(const std::vector<std::uint8_t>& bytes) {
    Unique_global block(GlobalAlloc(block_flags, bytes.size()));
    if (!block) {
        const std::uint32_t code = last_error();
        Trace::error("create_handle") << "GlobalAlloc failed. Error: " << code;
        return block;
    }
    {
        // A zero-byte block cannot be locked: it is freed and not handed out.
        Global_lock lock(block.get());
        if (!lock) {
            const std::uint32_t code = last_error();
            Trace::error("create_handle") << "GlobalLock failed. Error: " << code;
            block.reset();
            return block;
        }
        std::memcpy(lock.data(), bytes.data(), bytes.size());
    }
    return block;
}

void Clipboard_handler::paste(const Clipboard_data& data) {
    Trace::guarded("Clipboard_handler::paste", [&] {
        Clipboard_snapshot formats;
        for (const auto& [format, bytes] : data) {
            Trace::info("Clipboard_handler::paste") << "Format: " << format;
            Saved_format record;
            record.format = format;
            record.size = bytes.size();
            record.data = Clipboard_object(create_handle(bytes).release());
            if (!record.data) {
                Trace::error("Clipboard_handler::paste")
                    << "No handle for format_type " << format << ", buffer with size "
                    << static_cast<std::uint64_t>(bytes.size());
                continue;
            }
            formats.push_back(std::move(record));
        }
        paste_formats(std::move(formats));
    });
}

void Clipboard_handler::paste(const Clipboard_snapshot& snapshot) {
    Trace::guarded("Clipboard_handler::paste", [&] {
        Clipboard_snapshot formats;
        for (const Saved_format& saved : snapshot) {
            Saved_format record;
            record.format = saved.format;
            record.data = copy_clipboard_object(saved.format, saved.data.get(), record.size);
            if (!record.data) {
                Trace::error("Clipboard_handler::paste")
                    << L"no copy of format " << Clipboard_formats::format_name(saved.format)
                    << L": error " << last_error();
                continue;
            }
            formats.push_back(std::move(record));
        }
        paste_formats(std::move(formats));
    });
}

namespace {

// Without delayed rendering nothing tells us when the target has caught up
// with the clipboard, so this path paces itself with short pauses (after
// emptying, and before the keystroke): a target that follows the
// clipboard's updates has then taken the new contents when Control+V comes.
constexpr std::uint32_t direct_after_empty_ms = 5;
constexpr std::uint32_t direct_before_keystroke_ms = 50;
// The system counts the change once the clipboard is closed; a Control+V
// sent before that may paste what was there before. Polled this often, this
// many times at most (half a second).
constexpr std::uint32_t sequence_poll_ms = 5;
constexpr int sequence_polls = 100;

// Returns once the target has read the offered data and closed the
// clipboard again, or after read_wait_ms when it never asks. Only the read
// says that the paste is in: a caret that moves meanwhile (the focus coming
// back from a dialog, a slow target catching up) does not, and restoring
// then would paste the user's clipboard instead.
void wait_for_read(Clipboard_window& window, HWND owner) {
    const auto deadline =
        std::chrono::steady_clock::now() + std::chrono::milliseconds(read_wait_ms);
    if (Message_pump::wait_until(deadline, [&] { return window.offer_read(); }) !=
        Message_pump::Result::done) {
        Trace::info("Clipboard_handler::paste") << "the target did not read the paste within "
                                                << read_wait_ms << " ms; the clipboard goes back";
        return;
    }
    for (int retry = 0; retry < Clipboard_handler::open_retries; ++retry) {
        if (OpenClipboard(owner)) {
            CloseClipboard();
            return;
        }
        if (!wait_pumping(Clipboard_handler::open_retry_ms))
            return;
    }
}

void wait_for_new_sequence(DWORD old_sequence) {
    for (int i = 0; i < sequence_polls && GetClipboardSequenceNumber() == old_sequence; ++i)
        wait_pumping(sequence_poll_ms);
}

// Control+V to the foreground window.
void press_paste_keys(bool direct) {
    Keypresser keys;
    if (GetAsyncKeyState(VK_MENU) & key_is_down) {
        // A held Alt would turn Control+V into a menu command.
        keys.key_up(VK_MENU);
        keys.execute(true);
        keys.key_down(VK_MENU);
        keys.key_up(VK_MENU);
        keys.execute(true);
    }
    if (direct)
        wait_pumping(direct_before_keystroke_ms);
    keys.key_down(VK_CONTROL);
    keys.key_down('V');
    keys.key_up('V');
    keys.key_up(VK_CONTROL);
    keys.execute(true);
}

} // namespace

Clipboard_window* Clipboard_handler::renderer_for(const Clipboard_snapshot& formats) const {
    // Delayed rendering needs our own window, served by this process, and
    // something to render: nothing offered is never read.
    Clipboard_window* renderer = Clipboard_window::process_instance();
    if (renderer && (renderer->handle() != window_ || formats.empty()))
        return nullptr;
    return renderer;
}

bool Clipboard_handler::put_on_clipboard(Clipboard_snapshot formats, Clipboard_window* renderer) {
    Opened_clipboard clipboard = open_clipboard();
    if (!clipboard)
        return false;
    clear_opened_clipboard();
    const DWORD sequence = GetClipboardSequenceNumber();
    if (renderer) {
        // The target's read is the sign that the paste has happened: the
        // formats go on without data, and the window renders them.
        std::vector<std::uint32_t> ids;
        for (const Saved_format& record : formats)
            ids.push_back(record.format);
        renderer->offer(std::move(formats));
        for (std::uint32_t format : ids)
            SetClipboardData(format, nullptr);
    } else {
        wait_pumping(direct_after_empty_ms);
        for (Saved_format& record : formats) {
            if (SetClipboardData(record.format, record.data.get()))
                record.data.release();
        }
    }
    put_history_exclusion({});
    clipboard.reset();
    wait_for_new_sequence(sequence);
    return true;
}

void Clipboard_handler::paste_formats(Clipboard_snapshot formats) {
    Trace::marker("Clipboard_handler::paste");
    Clipboard_window* renderer = renderer_for(formats);
    if (!put_on_clipboard(std::move(formats), renderer))
        return;
    press_paste_keys(renderer == nullptr);
    if (renderer)
        wait_for_read(*renderer, window_);
    else
        wait_for_paste_with_timeout();
}

void Clipboard_handler::paste_text(const wchar_t* text, std::size_t length) {
    Trace::guarded("Clipboard_handler::paste_text", [&] {
        Trace::marker("Clipboard_handler::paste_text");
        std::vector<std::uint8_t> bytes((length + 1) * sizeof(wchar_t), 0);
        if (length != 0 && text) {
            std::memcpy(bytes.data(), text, length * sizeof(wchar_t));
        }
        Clipboard_data data;
        data.emplace(Clipboard_formats::unicode_text, std::move(bytes));
        paste(data);
    });
}
