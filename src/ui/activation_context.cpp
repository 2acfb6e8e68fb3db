#include "ui/activation_context.h"

#include "contract/plugin_globals.h"
#include "trace/trace.h"

#include <commctrl.h>

#include <cstdint>

namespace {

// The context lives from the first dialog until the module unloads; making
// it parses the manifest, which is not worth repeating per dialog.
class Module_context {
public:
    Module_context() {
        ACTCTXW request{};
        request.cbSize = sizeof(request);
        request.dwFlags = ACTCTX_FLAG_HMODULE_VALID | ACTCTX_FLAG_RESOURCE_NAME_VALID;
        request.hModule = Plugin_globals::module();
        request.lpResourceName = ISOLATIONAWARE_MANIFEST_RESOURCE_ID;
        handle_ = CreateActCtxW(&request);
        if (handle_ == INVALID_HANDLE_VALUE)
            Trace::error("Activation_scope::Activation_scope")
                << "no activation context from the module's manifest, error "
                << static_cast<std::uint32_t>(GetLastError())
                << "; dialogs use the host's common controls";
    }
    ~Module_context() {
        if (handle_ != INVALID_HANDLE_VALUE)
            ReleaseActCtx(handle_);
    }
    Module_context(const Module_context&) = delete;
    Module_context& operator=(const Module_context&) = delete;

    HANDLE handle() const { return handle_; }

private:
    HANDLE handle_ = INVALID_HANDLE_VALUE;
};

} // namespace

Activation_scope::Activation_scope() {
    static Module_context context;
    if (context.handle() != INVALID_HANDLE_VALUE)
        active_ = ActivateActCtx(context.handle(), &cookie_) != FALSE;
    // Registers the classes of whichever comctl32 the context selects.
    INITCOMMONCONTROLSEX controls{sizeof(controls), ICC_STANDARD_CLASSES | ICC_TREEVIEW_CLASSES |
                                                        ICC_LISTVIEW_CLASSES | ICC_BAR_CLASSES};
    InitCommonControlsEx(&controls);
}

Activation_scope::~Activation_scope() {
    if (active_)
        DeactivateActCtx(0, cookie_);
}
