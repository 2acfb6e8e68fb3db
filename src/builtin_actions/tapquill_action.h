#pragma once

#include "actions/filter_base_key_action.h"
#include "contract/filter_registration.h"

#include <memory>

namespace Tapquill {

namespace Detail {
// Declared before the action base, so that this subscription is withdrawn
// after the base's own ones.
struct Default_handler_subscription {
    std::unique_ptr<Subscription> subscription;
};
} // namespace Detail

// Asks the host to open its tapquill search field.
class Selection_dlg final : private Detail::Default_handler_subscription,
                            public FilterBaseKeyAction {
public:
    // Subscribes to "vq_default_action_handler" besides the base subscriptions.
    explicit Selection_dlg(Interaction_if* host);
    int process_deactivate() override;
    const wchar_t* name() override;
    const wchar_t* description() override;
};

} // namespace Tapquill
