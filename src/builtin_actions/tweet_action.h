#pragma once

#include "actions/filter_base_key_action.h"
#include "output/clipboard_handler.h"

#include <mutex>
#include <string>
#include <utility>

// The link that opens the tweet page, with "%s" where the selection goes.
extern const wchar_t* const tweet_link_template;

// Opens the tweet page with the selected text, and with the page address when
// the selection comes from a browser: the browser is asked while the
// combination is down (it still has the focus), the HTML clipboard header of
// the copied selection stands in when that gave nothing.
class FilterTwitterAction final : public FilterBaseKeyAction {
public:
    explicit FilterTwitterAction(Interaction_if* host);
    int process_activate() override;
    int process_deactivate() override;
    const wchar_t* name() override;
    const wchar_t* description() override;

    // The link for a selection and a page address (either may be empty).
    static std::wstring build_link(const std::wstring& text, const std::wstring& page_url);

private:
    std::wstring take_page_url();

    Clipboard_handler clipboard_;
    // Written on the press (host thread), read on the release, which may
    // come on a worker task.
    std::mutex page_url_mutex_;
    std::wstring page_url_;
};
