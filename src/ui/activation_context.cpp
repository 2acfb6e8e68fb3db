#include "ui/activation_context.h"

#include "contract/plugin_globals.h"
#include "contract/unique_handle.h"
#include "trace/trace.h"

#include <commctrl.h>

#include <cstdint>

namespace {

struct Activation_context_traits {
    using type = HANDLE;
    static type invalid() { return INVALID_HANDLE_VALUE; }
    static void close(type context) { ReleaseActCtx(context); }
};
using Activation_context = Unique_handle<Activation_context_traits>;

Activation_context module_context() {
    ACTCTXW request{};
    request.cbSize = sizeof(request);
    request.dwFlags = ACTCTX_FLAG_HMODULE_VALID | ACTCTX_FLAG_RESOURCE_NAME_VALID;
    request.hModule = Plugin_globals::module();
    request.lpResourceName = ISOLATIONAWARE_MANIFEST_RESOURCE_ID;
    Activation_context context(CreateActCtxW(&request));
    if (!context)
        Trace::error("Activation_scope::Activation_scope")
            << "no activation context from the module's manifest, error "
            << static_cast<std::uint32_t>(GetLastError())
            << "; dialogs use the host's common controls";
    return context;
}

} // namespace

Activation_scope::Activation_scope() {
    // Made at the first dialog and kept until the module unloads: making it
    // parses the manifest, which is not worth repeating per dialog.
    static const Activation_context context = module_context();
    if (context)
        active_ = ActivateActCtx(context.get(), &cookie_) != FALSE;
    // Registers the classes of whichever comctl32 the context selects.
    INITCOMMONCONTROLSEX controls{sizeof(controls), ICC_STANDARD_CLASSES | ICC_TREEVIEW_CLASSES |
                                                        ICC_LISTVIEW_CLASSES | ICC_BAR_CLASSES};
    InitCommonControlsEx(&controls);
}

Activation_scope::~Activation_scope() {
    if (active_)
        DeactivateActCtx(0, cookie_);
}
