// The plug-in's only door to the Windows clipboard: opening with retries,
// reading text and the HTML source URL, saving and restoring the whole
// clipboard, and pasting into the foreground application.
#pragma once

#include "contract/message_pump.h"
#include "output/clipboard_formats.h"
#include "output/win_handles.h"

#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

class Clipboard_window;

// Works through the process's clipboard window (Clipboard_window), which the
// start-up makes: a handler made before it exists, or after it went, refuses
// every clipboard operation with a trace line.
class Clipboard_handler {
public:
    static constexpr int open_retries = 150;
    static constexpr std::uint32_t open_retry_ms = 10;
    static constexpr int data_retries = 10;
    static constexpr std::uint32_t data_retry_ms = 50;

    Clipboard_handler();
    virtual ~Clipboard_handler();
    Clipboard_handler(const Clipboard_handler&) = delete;
    Clipboard_handler& operator=(const Clipboard_handler&) = delete;

    HWND window() const { return window_; }

    bool access_clipboard(HWND owner);
    // On an opened clipboard; null when the format stays unavailable.
    HANDLE get_clipboard_data(std::uint32_t format);

    bool get_opened_clipboard_data(std::wstring& text);
    bool get_source_url_from_opened_clipboard(std::wstring& url);

    // What is on the clipboard now; copies nothing.
    bool read_text(std::wstring& text);
    // Makes the foreground application copy its selection first.
    void read_selection_text(std::wstring& text);
    std::wstring read_selection_text();
    void read_selection_text_and_url(std::wstring& text, std::wstring& url);
    // Every format of the copied selection; empty when nothing was copied or
    // the copy could not be taken whole.
    Clipboard_snapshot read_selection_formats();

    // Copies every format on the clipboard into `backup`, in the order the
    // system lists them. False, with `backup` empty and the reason in `why`,
    // when the copy cannot be whole: the clipboard cannot be opened, a format
    // cannot be read or copied, or the whole exceeds the cap.
    bool backup_formats(Clipboard_snapshot& backup, std::string& why,
                        std::uint64_t cap = Clipboard_formats::backup_cap);
    // Puts the saved formats back; the clipboard takes the copies it accepts
    // and the rest are freed. `backup` is empty afterwards in every case.
    bool restore_formats(Clipboard_snapshot& backup);
    void clear_opened_clipboard();

    // A moveable, shareable block holding exactly the bytes; empty on failure.
    static Unique_global create_handle(const std::vector<std::uint8_t>& bytes);
    void paste(const Clipboard_data& data);
    // Pastes fresh copies of the snapshot's formats.
    void paste(const Clipboard_snapshot& snapshot);
    void paste_text(const wchar_t* text, std::size_t length);
    void paste_text(const std::wstring& text) { paste_text(text.data(), text.size()); }

private:
    // The clipboard opened with our window as owner, with retries; empty
    // (and closed) when it cannot be opened or there is no window.
    Output::Opened_clipboard open_clipboard();
    void write_blocker_line();
    Clipboard_window* renderer_for(const Clipboard_snapshot& formats) const;
    // Empties the clipboard and puts the formats on it, offered to the
    // renderer when there is one; returns once the system counts the change.
    bool put_on_clipboard(Clipboard_snapshot formats, Clipboard_window* renderer);
    bool copy_opened_clipboard(Clipboard_snapshot& copy, std::string& why, std::uint64_t cap);
    void paste_formats(Clipboard_snapshot formats);

    HWND window_ = nullptr;
};

// The source URL in the header of "HTML Format" data, or false when the
// header names none before the HTML starts. Exposed for tests of odd headers.
bool extract_source_url(const std::string& header, std::wstring& url);
