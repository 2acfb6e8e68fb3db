#include "contract/plugin_globals.h"

#include <windows.h>

BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID) {
    if (reason == DLL_PROCESS_ATTACH) {
        Plugin_globals::set_module(instance);
        Plugin_globals::register_clipboard_formats();
        DisableThreadLibraryCalls(instance);
    }
    return TRUE;
}
