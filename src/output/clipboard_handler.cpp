#include "output/clipboard_handler.h"

#include "contract/win32_text.h"
#include "output/clipboard_backup_scope.h"
#include "output/clipboard_window.h"
#include "output/keypresser.h"
#include "trace/trace.h"

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <exception>

using Output::Global_lock;
using Output::Opened_clipboard;

namespace {

constexpr UINT shared_moveable = 0x2002; // GMEM_MOVEABLE | GMEM_SHARE

std::uint32_t last_error() {
    return static_cast<std::uint32_t>(GetLastError());
}

} // namespace

bool wait_pumping(std::uint32_t milliseconds) {
    using Clock = std::chrono::steady_clock;
    const auto end = Clock::now() + std::chrono::milliseconds(milliseconds);
    for (;;) {
        MSG message;
        while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
            if (message.message == WM_QUIT) {
                // Posted again so that the thread's own loop ends too; every
                // later wait then returns at once.
                PostQuitMessage(static_cast<int>(message.wParam));
                return false;
            }
            TranslateMessage(&message);
            DispatchMessageW(&message);
        }
        const auto now = Clock::now();
        if (now >= end)
            return true;
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(end - now).count();
        MsgWaitForMultipleObjects(0, nullptr, FALSE, static_cast<DWORD>(left < 1 ? 1 : left),
                                  QS_ALLINPUT);
    }
}

Clipboard_handler::Clipboard_handler() {
    try {
        window_ = Clipboard_window::process_window();
    } catch (const std::exception& e) {
        Trace::error("Clipboard_handler::Clipboard_handler") << "exception: " << e.what();
    }
}

Clipboard_handler::~Clipboard_handler() = default;

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
    try {
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
    } catch (const std::exception& e) {
        Trace::error("access_clipboard") << "exception: " << e.what();
    }
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
    try {
        Opened_clipboard clipboard(access_clipboard(window_));
        if (!clipboard) {
            return false;
        }
        get_opened_clipboard_data(text);
        return true;
    } catch (const std::exception& e) {
        Trace::error("Clipboard_handler::read_text") << "exception: " << e.what();
        text.clear();
        return false;
    }
}

void Clipboard_handler::read_selection_text(std::wstring& text) {
    text.clear();
    try {
        if (!Clipboard_window::get_data_job(window_)) {
            return;
        }
        Opened_clipboard clipboard(access_clipboard(window_));
        if (clipboard) {
            get_opened_clipboard_data(text);
        }
    } catch (const std::exception& e) {
        Trace::error("Clipboard_handler::read_selection_text") << "exception: " << e.what();
        text.clear();
    }
}

std::wstring Clipboard_handler::read_selection_text() {
    std::wstring text;
    read_selection_text(text);
    return text;
}

void Clipboard_handler::read_selection_text_and_url(std::wstring& text, std::wstring& url) {
    text.clear();
    url.clear();
    try {
        if (!Clipboard_window::get_data_job(window_)) {
            return;
        }
        Opened_clipboard clipboard(access_clipboard(window_));
        if (clipboard) {
            get_opened_clipboard_data(text);
            get_source_url_from_opened_clipboard(url);
        }
    } catch (const std::exception& e) {
        Trace::error("Clipboard_handler::read_selection_text_and_url") << "exception: " << e.what();
        text.clear();
        url.clear();
    }
}

Clipboard_data Clipboard_handler::read_selection_formats() {
    Clipboard_data formats;
    try {
        if (!Clipboard_window::get_data_job(window_)) {
            return formats;
        }
        Opened_clipboard clipboard(access_clipboard(window_));
        if (!clipboard) {
            return formats;
        }
        for (std::uint32_t format : {Clipboard_formats::ansi_text, Clipboard_formats::unicode_text,
                                     Clipboard_formats::html(), Clipboard_formats::rich_text()}) {
            std::vector<std::uint8_t>& bytes = formats[format];
            // An absent format is stored empty without the retry wait, which
            // exists for data the owner renders late.
            HANDLE data = IsClipboardFormatAvailable(format) ? get_clipboard_data(format) : nullptr;
            Global_lock lock(data);
            if (lock) {
                const auto* first = static_cast<const std::uint8_t*>(lock.data());
                bytes.assign(first, first + GlobalSize(data));
            }
        }
    } catch (const std::exception& e) {
        Trace::error("Clipboard_handler::read_selection_formats") << "exception: " << e.what();
        formats.clear();
    }
    return formats;
}

void Clipboard_handler::backup_formats() {
    try {
        Opened_clipboard clipboard(access_clipboard(window_));
        if (!clipboard) {
            return;
        }
        // Collected first: reading data while enumerating could disturb the
        // enumeration of delay-rendered formats.
        std::vector<UINT> kept;
        for (UINT format = EnumClipboardFormats(0); format != 0;
             format = EnumClipboardFormats(format)) {
            if (Clipboard_formats::is_text_format(format)) {
                kept.push_back(format);
            }
        }
        for (UINT format : kept) {
            Saved_format record;
            record.format = format;
            if (format > 14) {
                wchar_t name[100] = {};
                const int length = GetClipboardFormatNameW(format, name, 100);
                record.name.assign(name, static_cast<std::size_t>(std::max(length, 0)));
            }
            HANDLE data = get_clipboard_data(format);
            if (!data) {
                continue;
            }
            const SIZE_T size = GlobalSize(data);
            Unique_global copy(GlobalAlloc(shared_moveable, size));
            if (copy) {
                Global_lock source(data);
                Global_lock target(copy.get());
                if (source && target) {
                    std::memcpy(target.data(), source.data(), size);
                } else if (size != 0) {
                    // Restoring uninitialised bytes would be worse than
                    // restoring nothing for this format.
                    copy.reset();
                }
            }
            backup_.push_back(std::move(record));
            backup_.back().data = std::move(copy);
        }
    } catch (const std::exception& e) {
        Trace::error("Clipboard_handler::backup_formats") << "exception: " << e.what();
    }
}

void Clipboard_handler::restore_formats() {
    try {
        Opened_clipboard clipboard(access_clipboard(window_));
        if (!clipboard) {
            return;
        }
        clear_opened_clipboard();
        for (Saved_format& record : backup_) {
            UINT format = record.format;
            if (!record.name.empty()) {
                if (UINT registered = RegisterClipboardFormatW(record.name.c_str())) {
                    format = registered;
                }
            }
            // The clipboard owns the block once it accepts it; a refused block
            // stays with the record and is freed with it.
            if (SetClipboardData(format, record.data.get())) {
                record.data.release();
            }
        }
        backup_.clear();
    } catch (const std::exception& e) {
        Trace::error("Clipboard_handler::restore_formats") << "exception: " << e.what();
    }
}

void Clipboard_handler::clear_opened_clipboard() {
    if (!EmptyClipboard()) {
        const std::uint32_t code = last_error();
        Trace::error("Clipboard_handler::clear_opened_clipboard")
            << "EmptyClipboard failed. Error: " << code;
    }
}

Unique_global Clipboard_handler::create_handle(const std::vector<std::uint8_t>& bytes) {
    Unique_global block(GlobalAlloc(shared_moveable, bytes.size()));
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
    try {
        Trace::marker("Clipboard_handler::paste");
        {
            Opened_clipboard clipboard(access_clipboard(window_));
            if (!clipboard) {
                return;
            }
            clear_opened_clipboard();
            wait_pumping(5);
            const DWORD sequence = GetClipboardSequenceNumber();
            for (const auto& [format, bytes] : data) {
                Trace::info("Clipboard_handler::paste") << "Format: " << format;
                Unique_global block = create_handle(bytes);
                if (!block) {
                    Trace::error("Clipboard_handler::paste")
                        << "No handle for format_type " << format << ", buffer with size "
                        << static_cast<std::uint64_t>(bytes.size());
                    continue;
                }
                if (SetClipboardData(format, block.get())) {
                    block.release();
                }
            }
            // Closing the clipboard is what announces the change.
            clipboard.reset();
            for (int i = 0; i < 100 && GetClipboardSequenceNumber() == sequence; ++i) {
                wait_pumping(5);
            }
        }
        Keypresser keys;
        if (GetAsyncKeyState(VK_MENU) & 0x8000) {
            // A held Alt would turn Control+V into a menu command.
            keys.key_up(VK_MENU);
            keys.execute(true);
            keys.key_down(VK_MENU);
            keys.key_up(VK_MENU);
            keys.execute(true);
        }
        wait_pumping(50);
        keys.key_down(VK_CONTROL);
        keys.key_down('V');
        keys.key_up('V');
        keys.key_up(VK_CONTROL);
        keys.execute(true);
        wait_for_paste_with_timeout();
    } catch (const std::exception& e) {
        Trace::error("Clipboard_handler::paste") << "exception: " << e.what();
    }
}

void Clipboard_handler::paste_text(const wchar_t* text, std::size_t length) {
    try {
        Trace::marker("Clipboard_handler::paste_text");
        std::vector<std::uint8_t> bytes((length + 1) * sizeof(wchar_t), 0);
        if (length != 0 && text) {
            std::memcpy(bytes.data(), text, length * sizeof(wchar_t));
        }
        Clipboard_data data;
        data.emplace(Clipboard_formats::unicode_text, std::move(bytes));
        paste(data);
    } catch (const std::exception& e) {
        Trace::error("Clipboard_handler::paste_text") << "exception: " << e.what();
    }
}
