#include "output/browser_window_info.h"

Page_texts parse_dde_reply(const std::wstring& reply) {
    Page_texts page;
    if (reply.empty() || reply[0] != L'"')
        return page;
    const std::size_t url_end = reply.find(L'"', 1);
    if (url_end == std::wstring::npos || url_end + 1 >= reply.size() || reply[url_end + 1] != L',')
        return page;
    page.url = reply.substr(1, url_end - 1);
    const std::size_t title_begin = reply.find(L'"', url_end + 2);
    if (title_begin == std::wstring::npos)
        return page;
    // The title ends where the next field starts, else at the last quote, so
    // that quotes inside a last title stay part of it.
    std::size_t title_end = reply.find(L"\",\"", title_begin + 1);
    if (title_end == std::wstring::npos)
        title_end = reply.rfind(L'"');
    if (title_begin < title_end)
        page.title = reply.substr(title_begin + 1, title_end - title_begin - 1);
    return page;
}

std::wstring clean_opera_title(const std::wstring& title) {
    static const std::wstring prefix = L"Opera - [";
    if (title.size() < prefix.size() || title.compare(0, prefix.size(), prefix) != 0)
        return title;
    return title.substr(prefix.size(), title.size() - prefix.size() - 1);
}

std::wstring shorten_firefox_reply(const std::wstring& reply) {
    return reply.size() > 3 ? reply.substr(0, reply.size() - 3) : reply;
}
