#include "builtin_actions/tapquill_action.h"

#include "contract/parameter_values.h"
#include "text/textprovider.h"
#include "trace/trace.h"

namespace Tapquill {

Selection_dlg::Selection_dlg(Interaction_if* host) : FilterBaseKeyAction(L"zp_tapquill", host) {
    subscription = std::make_unique<Subscription>(host, this, L"vq_default_action_handler");
}

int Selection_dlg::process_deactivate() {
    Trace::marker("Tapquill::Selection_dlg::process_deactivate");
    Param::Owned_parameters list = Param::create(host());
    if (!list) {
        Trace::error("Tapquill::Selection_dlg::process_deactivate")
            << "the host gave no parameter list; tapquill_dlg not sent";
        return 0;
    }
    Param::send(host(), L"tapquill_dlg", list.get());
    return 0;
}

const wchar_t* Selection_dlg::name() {
    return text_provider().get_string(L"Tapquill");
}

const wchar_t* Selection_dlg::description() {
    return text_provider().get_string(L"Opens a search field to find and directly paste "
                                      L"expansions by typing parts of their content.");
}

} // namespace Tapquill
