#include "output/browser_url_detector.h"

#include "contract/text_convert.h"
#include "contract/unique_handle.h"
#include "contract/win32_text.h"
#include "trace/boundary.h"

#include <ddeml.h>

#include <atomic>
#include <cwctype>
#include <vector>

namespace {

struct Browser_entry {
    const wchar_t* image;
    const wchar_t* service;
};

constexpr Browser_entry browsers[] = {
    {L"Opera.exe", L"Opera"},
    {L"firefox.exe", L"Firefox"},
    {L"iexplore.exe", L"IExplore"},
    {L"chrome.exe", L"Chrome"},
};

bool equal_ignoring_case(const std::wstring& a, const std::wstring& b) {
    if (a.size() != b.size())
        return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (std::towlower(a[i]) != std::towlower(b[i]))
            return false;
    return true;
}

HDDEDATA CALLBACK dde_callback(UINT type, UINT, HCONV, HSZ, HSZ, HDDEDATA, ULONG_PTR, ULONG_PTR) {
    return type == XTYP_ADVDATA ? reinterpret_cast<HDDEDATA>(DDE_FACK) : nullptr;
}

Unique_dde_instance start_dde_client() {
    DWORD id = 0;
    if (DdeInitializeW(&id, &dde_callback, APPCMD_CLIENTONLY, 0) != DMLERR_NO_ERROR)
        return Unique_dde_instance();
    return Unique_dde_instance(id);
}

Unique_dde_string dde_string(DWORD instance, const wchar_t* text) {
    return Unique_dde_string(DdeCreateStringHandleW(instance, text, CP_WINUNICODE),
                             Dde_string_traits{instance});
}

std::wstring class_name(HWND window) {
    wchar_t name[128] = {};
    const int length = GetClassNameW(window, name, 128);
    return std::wstring(name, length > 0 ? static_cast<std::size_t>(length) : 0);
}

HWND find_child_by_class(HWND parent, const wchar_t* name) {
    return FindWindowExW(parent, nullptr, name, nullptr);
}

struct Chrome_search {
    std::vector<HWND> found;
};

// Remembered across detections, as the enumeration's stop test needs it.
std::atomic<HWND> last_enumerated_window{nullptr};

BOOL CALLBACK collect_chrome_window(HWND window, LPARAM data) {
    return Trace::guarded("collect_chrome_window", FALSE, [&]() -> BOOL {
        if (last_enumerated_window.exchange(window) == window)
            return FALSE;
        if (class_name(window) == L"Chrome_WidgetWin_0" &&
            find_child_by_class(window, L"Chrome_OmniboxView"))
            reinterpret_cast<Chrome_search*>(data)->found.push_back(window);
        return TRUE;
    });
}

struct Band_search {
    HWND found = nullptr;
};

BOOL CALLBACK find_address_band(HWND window, LPARAM data) {
    return Trace::guarded("find_address_band", FALSE, [&]() -> BOOL {
        if (class_name(window) != L"Address Band Root")
            return TRUE;
        reinterpret_cast<Band_search*>(data)->found = window;
        return FALSE;
    });
}

Page_texts iexplore_page() {
    const std::wstring reply = dde_get_window_info(L"IExplore");
    if (!reply.empty())
        return parse_dde_reply(reply);
    HWND browser = GetForegroundWindow();
    HWND band = find_child_by_class(browser, L"Address Band Root");
    if (!band) {
        // EnumChildWindows walks all descendants depth-first.
        Band_search search;
        EnumChildWindows(browser, &find_address_band, reinterpret_cast<LPARAM>(&search));
        band = search.found;
    }
    Page_texts page;
    if (!band)
        return page;
    page.url = window_text(find_child_by_class(band, L"Edit"));
    page.title = window_text(browser);
    return page;
}

std::optional<Browser_row> foreground_browser() {
    DWORD process_id = 0;
    HWND window = GetForegroundWindow();
    if (!window)
        return std::nullopt;
    GetWindowThreadProcessId(window, &process_id);
    return browser_row_of_process(process_id);
}

} // namespace

std::optional<Browser_row> browser_row_of_image(const std::wstring& image_path) {
    const std::size_t slash = image_path.find_last_of(L'\\');
    const std::wstring name =
        slash == std::wstring::npos ? image_path : image_path.substr(slash + 1);
    for (std::size_t row = 0; row < sizeof browsers / sizeof browsers[0]; ++row)
        if (equal_ignoring_case(name, browsers[row].image))
            return static_cast<Browser_row>(row);
    return std::nullopt;
}

std::optional<Browser_row> browser_row_of_process(DWORD process_id) {
    Unique_kernel_handle process(
        OpenProcess(PROCESS_QUERY_INFORMATION | PROCESS_VM_READ, FALSE, process_id));
    if (!process)
        return std::nullopt;
    wchar_t path[MAX_PATH] = {};
    DWORD length = MAX_PATH;
    if (!QueryFullProcessImageNameW(process.get(), 0, path, &length) || length == 0)
        return std::nullopt;
    return browser_row_of_image(std::wstring(path, length));
}

std::wstring dde_get_window_info(const std::wstring& service) {
    Unique_dde_instance instance = start_dde_client();
    if (!instance)
        return {};
    Unique_dde_string service_name = dde_string(instance.get(), service.c_str());
    Unique_dde_string topic = dde_string(instance.get(), L"WWW_GetWindowInfo");
    Unique_dde_string item = dde_string(instance.get(), L"-1"); // the active window
    if (!service_name || !topic || !item)
        return L"hszService && hszTopic && hszItem error";
    Unique_dde_conversation conversation(
        DdeConnect(instance.get(), service_name.get(), topic.get(), nullptr));
    if (!conversation)
        return L"hConv error " + std::to_wstring(DdeGetLastError(instance.get()));
    Unique_dde_data data(DdeClientTransaction(nullptr, 0, conversation.get(), item.get(), CF_TEXT,
                                              XTYP_REQUEST, 1000, nullptr));
    if (!data)
        return L"hData error";
    DWORD size = 0;
    const BYTE* bytes = DdeAccessData(data.get(), &size);
    if (!bytes)
        return L"hData error";
    std::string text(reinterpret_cast<const char*>(bytes), size);
    DdeUnaccessData(data.get());
    const std::size_t end = text.find('\0');
    if (end != std::string::npos)
        text.resize(end);
    return utf8_to_utf16(text);
}

Page_texts chrome_page() {
    Chrome_search search;
    EnumWindows(&collect_chrome_window, reinterpret_cast<LPARAM>(&search));
    Page_texts page;
    if (search.found.empty())
        return page;
    HWND browser = search.found.front();
    HWND omnibox = find_child_by_class(browser, L"Chrome_OmniboxView");
    if (!omnibox)
        return page;
    page.url = window_text(omnibox);
    page.title = window_text(browser);
    return page;
}

std::unique_ptr<Browser_window_info> Browser_url_detector::create_info() {
    return std::make_unique<Browser_window_info>();
}

bool Browser_url_detector::is_browser_in_foreground() {
    return foreground_browser().has_value();
}

void Browser_url_detector::fill(Browser_window_info& info) {
    Page_texts page;
    const std::optional<Browser_row> row = foreground_browser();
    if (row) {
        switch (*row) {
        case Browser_row::opera:
            page = parse_dde_reply(dde_get_window_info(L"Opera"));
            if (!page.title.empty())
                page.title = clean_opera_title(page.title);
            break;
        case Browser_row::firefox:
            page = parse_dde_reply(shorten_firefox_reply(dde_get_window_info(L"Firefox")));
            break;
        case Browser_row::iexplore:
            page = iexplore_page();
            break;
        case Browser_row::chrome:
            page = chrome_page();
            break;
        }
    }
    info.set_url(page.url);
    info.set_title(page.title);
}
