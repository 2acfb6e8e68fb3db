#pragma once

#include <windows.h>

// Values set up once when the DLL is loaded and read everywhere after.
namespace Plugin_globals {

// The plug-in's own instance handle: dialogs and resources load from it.
// In a test executable that links the libraries it is the executable's.
HINSTANCE module();
void set_module(HINSTANCE module);

// Relative to the host's working directory.
inline constexpr const wchar_t* key_binding_database_path = L"plugins\\zaptor.db";
inline constexpr const wchar_t* batch_interpreter_name = L"batch_interpreter";

// Registered at load time ("HTML Format", "Rich Text Format").
unsigned int html_format();
unsigned int rtf_format();
void register_clipboard_formats();

} // namespace Plugin_globals
