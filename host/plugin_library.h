// One plug-in DLL: loaded by path, its initialize and finalize exports called
// in the host's order (initialize, messages, finalize, FreeLibrary).
#pragma once

#include "contract/host_interface.h"
#include "contract/unique_handle.h"

#include <string>

class Plugin_library {
public:
    Plugin_library() = default;
    // Calls finalize when initialize ran without it, then frees the library.
    ~Plugin_library();
    Plugin_library(Plugin_library&& other) noexcept;
    Plugin_library& operator=(Plugin_library&& other) noexcept;
    Plugin_library(const Plugin_library&) = delete;
    Plugin_library& operator=(const Plugin_library&) = delete;

    // Loads the DLL and looks up both exports; false with a message when the
    // file does not load or lacks an export (the library is then freed again).
    bool load(const std::wstring& path, std::string& error);
    bool initialize(Interaction_if* host, std::string& error);
    bool finalize(std::string& error);
    // Frees the library without calling finalize.
    void unload();

    bool loaded() const { return static_cast<bool>(module_); }
    bool initialized() const { return initialized_; }
    HMODULE module() const { return module_.get(); }
    const std::wstring& path() const { return path_; }

private:
    void release() noexcept;

    Unique_module module_;
    Initialize_function initialize_ = nullptr;
    Finalize_function finalize_ = nullptr;
    bool initialized_ = false;
    std::wstring path_;
};
