#include "host/ask_dialogs.h"

#include "contract/win32_text.h"
#include "trace/trace.h"
#include "util/modal_dialog.h"

#include <commctrl.h>

#include <cstring>
#include <exception>
#include <vector>

namespace {

// A DLGTEMPLATE with its items, laid out the way DialogBoxIndirectParamW reads it.
class Template_builder {
public:
    Template_builder(const std::wstring& caption, short width, short height) {
        DLGTEMPLATE header{};
        header.style = DS_MODALFRAME | DS_CENTER | DS_SETFONT | DS_SETFOREGROUND | WS_POPUP |
                       WS_CAPTION | WS_SYSMENU;
        header.dwExtendedStyle = WS_EX_TOPMOST;
        header.cx = width;
        header.cy = height;
        append_raw(&header, sizeof header);
        words_.push_back(0); // no menu
        words_.push_back(0); // default class
        append_text(caption);
        words_.push_back(8); // point size
        append_text(L"MS Shell Dlg");
    }

    void add(WORD id, const wchar_t* window_class, WORD atom, const std::wstring& text, DWORD style,
             short x, short y, short cx, short cy) {
        if (words_.size() % 2)
            words_.push_back(0); // items start on a DWORD boundary
        DLGITEMTEMPLATE item{};
        item.style = style | WS_CHILD | WS_VISIBLE;
        item.x = x;
        item.y = y;
        item.cx = cx;
        item.cy = cy;
        item.id = id;
        append_raw(&item, sizeof item);
        if (window_class) {
            append_text(window_class);
        } else {
            words_.push_back(0xFFFF);
            words_.push_back(atom);
        }
        append_text(text);
        words_.push_back(0); // no creation data
        ++count_;
    }

    const DLGTEMPLATE* get() {
        reinterpret_cast<DLGTEMPLATE*>(words_.data())->cdit = count_;
        return reinterpret_cast<const DLGTEMPLATE*>(words_.data());
    }

private:
    void append_raw(const void* data, std::size_t size) {
        const std::size_t at = words_.size();
        words_.resize(at + size / sizeof(WORD));
        std::memcpy(&words_[at], data, size);
    }
    void append_text(const std::wstring& text) {
        words_.insert(words_.end(), text.begin(), text.end());
        words_.push_back(0);
    }

    std::vector<WORD> words_;
    WORD count_ = 0;
};

constexpr WORD button_atom = 0x0080;
constexpr WORD edit_atom = 0x0081;
constexpr WORD static_atom = 0x0082;

} // namespace

bool Ask_dialogs::ask_text(const std::wstring& title, std::wstring& text) {
    Question question;
    question.title = title;
    question.text = text;
    if (!run(question))
        return false;
    text = question.text;
    return true;
}

bool Ask_dialogs::ask_date(const std::wstring& title, SYSTEMTIME& date) {
    Question question;
    question.is_date = true;
    question.title = title;
    question.date = date;
    if (!run(question))
        return false;
    date = question.date;
    return true;
}

bool Ask_dialogs::run(Question& question) {
    if (question.is_date) {
        INITCOMMONCONTROLSEX controls{sizeof controls, ICC_DATE_CLASSES};
        if (!InitCommonControlsEx(&controls))
            Trace::error("Ask_dialogs::run") << "the date picker class is not available";
    }
    Template_builder dialog(question.title, 220, 66);
    dialog.add(label_id, nullptr, static_atom, question.title, SS_LEFT | SS_NOPREFIX, 7, 7, 206,
               10);
    if (question.is_date)
        dialog.add(date_id, DATETIMEPICK_CLASSW, 0, L"", WS_TABSTOP | DTS_SHORTDATEFORMAT, 7, 20,
                   206, 14);
    else
        dialog.add(edit_id, nullptr, edit_atom, L"", WS_TABSTOP | WS_BORDER | ES_AUTOHSCROLL, 7, 20,
                   206, 14);
    dialog.add(IDOK, nullptr, button_atom, L"OK", WS_TABSTOP | BS_DEFPUSHBUTTON, 109, 44, 50, 14);
    dialog.add(IDCANCEL, nullptr, button_atom, L"Cancel", WS_TABSTOP | BS_PUSHBUTTON, 163, 44, 50,
               14);

    HWND previous = GetForegroundWindow();
    const INT_PTR result =
        DialogBoxIndirectParamW(GetModuleHandleW(nullptr), dialog.get(), nullptr,
                                modal_dialog_proc<Question>, reinterpret_cast<LPARAM>(&question));
    if (previous && IsWindow(previous))
        SetForegroundWindow(previous);
    if (result == -1) {
        Trace::error("Ask_dialogs::run") << "the dialog could not be created (error "
                                         << static_cast<std::uint32_t>(GetLastError()) << ")";
        return false;
    }
    return result == IDOK;
}

INT_PTR Ask_dialogs::Question::on_init_dialog(HWND window) {
    dialog = window;
    if (is_date) {
        SendDlgItemMessageW(window, date_id, DTM_SETSYSTEMTIME, GDT_VALID,
                            reinterpret_cast<LPARAM>(&date));
    } else {
        SetDlgItemTextW(window, edit_id, text.c_str());
        SendDlgItemMessageW(window, edit_id, EM_SETSEL, 0, -1);
    }
    SetForegroundWindow(window);
    SetFocus(GetDlgItem(window, is_date ? date_id : edit_id));
    return FALSE; // the focus is set
}

INT_PTR Ask_dialogs::Question::handle(UINT message, WPARAM w, LPARAM) {
    if (message != WM_COMMAND)
        return FALSE;
    if (LOWORD(w) == IDOK) {
        if (is_date) {
            SYSTEMTIME chosen{};
            if (SendDlgItemMessageW(dialog, date_id, DTM_GETSYSTEMTIME, 0,
                                    reinterpret_cast<LPARAM>(&chosen)) == GDT_VALID)
                date = chosen;
        } else {
            text = window_text(GetDlgItem(dialog, edit_id));
        }
        EndDialog(dialog, IDOK);
        return TRUE;
    }
    if (LOWORD(w) == IDCANCEL) {
        EndDialog(dialog, IDCANCEL);
        return TRUE;
    }
    return FALSE;
}
