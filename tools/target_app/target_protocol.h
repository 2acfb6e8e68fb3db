// Control interface of zaptor_target.exe, the test application with an edit
// control, a rich edit control and a one-line password edit (ES_PASSWORD).
//
// Start it as `zaptor_target.exe [title]`; its main window has the class
// `Target_protocol::window_class` and the given title (default "Zaptor target").
// Another process drives it with WM_COPYDATA sent to that window:
//   dwData = a Command, lpData = a Command_data header, optionally followed by
//   UTF-16 text (not terminated; its length follows from cbData).
// The LRESULT of SendMessage is the answer (0 for a failed command).
//
//   set_text        control, text           replaces the control's text
//   select          control, first, second  focuses the control, selects [first, second)
//   activate        -                       brings the window to the foreground and
//                                           focuses the last selected control; answers 1
//                                           when it is the foreground window
//   selection_start control                 start of the selection
//   selection_end   control                 end of the selection (where the caret is)
//   text_length     control                 length of the control's text
//   control_window  control                 the control's window handle (its text comes
//                                           with WM_GETTEXT)
//   hold_clipboard  first = milliseconds    opens the clipboard and keeps it open
//   ignore_copy     first = 0 or 1          with 1, Control+Insert and Control+C are
//                                           swallowed: the application never copies
//   quit            -                       closes the application
//   own_clipboard   -                       puts the user's clipboard of the tests on the
//                                           clipboard, owned by this application: a
//                                           picture (CF_DIB), a private registered format,
//                                           HTML, RTF, a file list, an enhanced metafile
//                                           and text
//   clipboard_intact -                      answers 0x100 when every format of
//                                           own_clipboard reads back byte-identical, else
//                                           0x100 | one bit per differing format
//   paste_mode      first = milliseconds    Control+V pastes that much later (the focus
//                                           in the password field meanwhile); -1: never
//                                           (the key is swallowed); 0: at once
//   copy_picture    first = 0 or 1          with 1, Control+Insert and Control+C put the
//                                           own_clipboard formats on the clipboard, as a
//                                           drawing program copies its picture
//   paste_report    -                       what the clipboard held at the last paste:
//                                           bit 0-2 the three clipboard-history markers
//                                           present as 4-byte zeros, bit 3 the picture of
//                                           own_clipboard byte-identical, bit 4 a paste seen
//
// Control+Insert copies in both controls: Wine's rich edit control copies only
// on Control+C, so the application turns Control+Insert into WM_COPY itself.
#pragma once

#include <cstdint>

namespace Target_protocol {

inline constexpr const wchar_t* window_class = L"zaptor_target_window";
inline constexpr const wchar_t* default_title = L"Zaptor target";
inline constexpr const wchar_t* exe_name = L"zaptor_target.exe";

enum Control : std::int32_t { edit = 0, rich_edit = 1, password = 2 };

enum Command : unsigned {
    set_text = 1,
    select = 2,
    activate = 3,
    selection_start = 4,
    selection_end = 5,
    text_length = 6,
    control_window = 7,
    hold_clipboard = 8,
    ignore_copy = 9,
    quit = 10,
    own_clipboard = 11,
    clipboard_intact = 12,
    paste_mode = 13,
    copy_picture = 14,
    paste_report = 15,
};

struct Command_data {
    std::int32_t control = edit;
    std::int32_t first = 0;
    std::int32_t second = 0;
    std::int32_t reserved = 0;
};

} // namespace Target_protocol
