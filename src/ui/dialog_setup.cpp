#include "ui/dialog_setup.h"

#include "text/textprovider.h"

#include <commctrl.h>

#include <algorithm>

void show_dialog_texts(HWND dialog, const wchar_t* english_caption,
                       std::initializer_list<Item_text> items) {
    Textprovider& texts = text_provider();
    SetWindowTextW(dialog, texts.get_string(english_caption));
    for (const Item_text& item : items)
        SetDlgItemTextW(dialog, item.id, texts.get_string(item.english));
}

void add_text_columns(HWND list, std::initializer_list<List_column> columns) {
    Textprovider& texts = text_provider();
    int index = 0;
    for (const List_column& column : columns) {
        LVCOLUMNW entry{};
        entry.mask = LVCF_TEXT | LVCF_WIDTH;
        entry.cx = column.width;
        entry.pszText = const_cast<wchar_t*>(texts.get_string(column.english_title));
        SendMessageW(list, LVM_INSERTCOLUMNW, static_cast<WPARAM>(index++),
                     reinterpret_cast<LPARAM>(&entry));
    }
    const DWORD extended = LVS_EX_FULLROWSELECT | LVS_EX_LABELTIP;
    ListView_SetExtendedListViewStyleEx(list, extended, extended);
}

int client_width(HWND window) {
    RECT client{};
    GetClientRect(window, &client);
    return client.right - client.left;
}

void center_dialog(HWND dialog) {
    RECT area{};
    HWND owner = GetWindow(dialog, GW_OWNER);
    if (owner) {
        GetWindowRect(owner, &area);
    } else {
        MONITORINFO info{};
        info.cbSize = sizeof(info);
        GetMonitorInfoW(MonitorFromPoint(POINT{0, 0}, MONITOR_DEFAULTTONEAREST), &info);
        area = info.rcMonitor;
    }
    RECT own{};
    GetWindowRect(dialog, &own);
    int x = area.left + ((area.right - area.left) - (own.right - own.left)) / 2;
    int y = area.top + ((area.bottom - area.top) - (own.bottom - own.top)) / 2;
    SetWindowPos(dialog, nullptr, std::max(x, 10), std::max(y, 10), 0, 0,
                 SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}
