// Finds the page address and title of the browser in the foreground: Opera,
// Firefox and Internet Explorer answer the DDE request "WWW_GetWindowInfo",
// Chrome's address field is read from its window. Every failure ends in
// empty texts; nothing is traced.
#pragma once

#include "output/browser_window_info.h"

#include <windows.h>

#include <memory>
#include <optional>
#include <string>

enum class Browser_row { opera = 0, firefox = 1, iexplore = 2, chrome = 3 };

class Browser_url_detector {
public:
    virtual ~Browser_url_detector() = default;
    virtual std::unique_ptr<Browser_window_info> create_info();
    virtual bool is_browser_in_foreground();
    virtual void fill(Browser_window_info& info);
};

// The browser row of an image name (the part after the last backslash is
// compared, without case).
std::optional<Browser_row> browser_row_of_image(const std::wstring& image_path);
// The row of a running process; none when it cannot be opened or named.
std::optional<Browser_row> browser_row_of_process(DWORD process_id);

// One "WWW_GetWindowInfo" request for the active window, waiting at most
// 1000 ms. The reply (UTF-8 decoded), or an error text in no reply's shape.
std::wstring dde_get_window_info(const std::wstring& service);

// Chrome: the first top-level "Chrome_WidgetWin_0" window with an
// "Chrome_OmniboxView" child, from the top of the stack down.
Page_texts chrome_page();
