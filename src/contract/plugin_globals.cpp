#include "contract/plugin_globals.h"

namespace Plugin_globals {
namespace {
HINSTANCE g_module = nullptr;
unsigned int g_html_format = 0;
unsigned int g_rtf_format = 0;
} // namespace

HINSTANCE module() {
    return g_module ? g_module : GetModuleHandleW(nullptr);
}
void set_module(HINSTANCE module) {
    g_module = module;
}

unsigned int html_format() {
    if (!g_html_format)
        register_clipboard_formats();
    return g_html_format;
}

unsigned int rtf_format() {
    if (!g_rtf_format)
        register_clipboard_formats();
    return g_rtf_format;
}

void register_clipboard_formats() {
    g_html_format = RegisterClipboardFormatW(L"HTML Format");
    g_rtf_format = RegisterClipboardFormatW(L"Rich Text Format");
}

} // namespace Plugin_globals
