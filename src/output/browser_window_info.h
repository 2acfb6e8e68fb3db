// The address and title of the page shown in the foreground browser.
#pragma once

#include <string>
#include <vector>

class Browser_window_info {
public:
    Browser_window_info() : texts_(2) {}
    virtual ~Browser_window_info() = default;
    virtual void get_url(std::wstring& url) const { url = texts_[0]; }
    virtual void get_title(std::wstring& title) const { title = texts_[1]; }
    virtual void set_url(const std::wstring& url) { texts_[0] = url; }
    virtual void set_title(const std::wstring& title) { texts_[1] = title; }

private:
    std::vector<std::wstring> texts_; // URL, then title
};

struct Page_texts {
    std::wstring url;
    std::wstring title;
};

// A "WWW_GetWindowInfo" reply: a quoted address, a comma, a quoted title
// (and maybe further fields). Any other shape gives two empty texts.
Page_texts parse_dde_reply(const std::wstring& reply);
// Opera wraps its titles as "Opera - [title]".
std::wstring clean_opera_title(const std::wstring& title);
// Firefox's reply ends in three characters that belong to no field.
std::wstring shorten_firefox_reply(const std::wstring& reply);
