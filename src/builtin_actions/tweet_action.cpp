#include "builtin_actions/tweet_action.h"

#include "output/browser_url_detector.h"
#include "output/clipboard_backup_scope.h"
#include "text/textprovider.h"
#include "trace/trace.h"
#include "util/url_text.h"

#include <shellapi.h>

const wchar_t* const tweet_link_template =
    L"https://twitter.com/intent/"
    L"tweet?original_referer=&source=tweetbutton&text=%s&via=velloquarte";

FilterTwitterAction::FilterTwitterAction(Interaction_if* host)
    : FilterBaseKeyAction(L"zp_tweet_selection", host) {}

std::wstring FilterTwitterAction::build_link(const std::wstring& text,
                                             const std::wstring& page_url) {
    std::wstring link = tweet_link_template;
    if (!page_url.empty())
        link += L"&url=" + url_encode(page_url);
    return substitute_value(link, text);
}

int FilterTwitterAction::process_activate() {
    Trace::marker("FilterTwitterAction::process_activate");
    std::wstring url;
    Browser_url_detector detector;
    if (detector.is_browser_in_foreground()) {
        auto info = detector.create_info();
        detector.fill(*info);
        info->get_url(url);
    }
    std::lock_guard<std::mutex> lock(page_url_mutex_);
    page_url_ = std::move(url);
    return 0;
}

std::wstring FilterTwitterAction::take_page_url() {
    std::lock_guard<std::mutex> lock(page_url_mutex_);
    return std::exchange(page_url_, std::wstring());
}

int FilterTwitterAction::process_deactivate() {
    Trace::marker("FilterTwitterAction::process_deactivate");
    std::wstring page_url = take_page_url();
    Clipboard_backup_scope scope(clipboard_, "FilterTwitterAction::process_deactivate");
    if (!scope)
        return 0;
    std::wstring text;
    if (page_url.empty())
        clipboard_.read_selection_text_and_url(text, page_url);
    else
        clipboard_.read_selection_text(text);
    // The captured text, not whatever is on the clipboard now: after a
    // failed copy that would be the user's own clipboard, which the user did
    // not select.
    if (text.empty()) {
        Trace::info("FilterTwitterAction::process_deactivate")
            << "nothing selected; nothing opened";
        return 0;
    }
    open_with_shell(build_link(text, page_url), "FilterTwitterAction::process_deactivate");
    return 0;
}

const wchar_t* FilterTwitterAction::name() {
    return text_provider().get_string(L"Tweet selection");
}

const wchar_t* FilterTwitterAction::description() {
    return text_provider().get_string(
        L"Opens the Twitter 'create a tweet' page with the currently selected text already "
        L"entered.");
}
