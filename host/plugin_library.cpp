#include "host/plugin_library.h"

#include "contract/text_convert.h"
#include "contract/win32_text.h"
#include "trace/trace.h"

#include <exception>
#include <utility>

Plugin_library::~Plugin_library() {
    if (initialized_) {
        std::string error;
        finalize(error);
    }
    release();
}

Plugin_library::Plugin_library(Plugin_library&& other) noexcept
    : module_(std::move(other.module_)), initialize_(std::exchange(other.initialize_, nullptr)),
      finalize_(std::exchange(other.finalize_, nullptr)),
      initialized_(std::exchange(other.initialized_, false)), path_(std::move(other.path_)) {}

Plugin_library& Plugin_library::operator=(Plugin_library&& other) noexcept {
    if (this != &other) {
        release();
        module_ = std::move(other.module_);
        initialize_ = std::exchange(other.initialize_, nullptr);
        finalize_ = std::exchange(other.finalize_, nullptr);
        initialized_ = std::exchange(other.initialized_, false);
        path_ = std::move(other.path_);
    }
    return *this;
}

void Plugin_library::release() noexcept {
    module_.reset();
    initialize_ = nullptr;
    finalize_ = nullptr;
    initialized_ = false;
}

bool Plugin_library::load(const std::wstring& path, std::string& error) {
    if (module_) {
        error = "a plug-in is already loaded: " + utf16_to_utf8(path_);
        return false;
    }
    std::wstring native = path;
    for (auto& c : native)
        if (c == L'/')
            c = L'\\';
    Unique_module module(LoadLibraryW(native.c_str()));
    if (!module) {
        error = "cannot load " + utf16_to_utf8(path) + ": " + system_error_text(GetLastError());
        Trace::error("Plugin_library::load") << error;
        return false;
    }
    auto initialize = reinterpret_cast<Initialize_function>(
        reinterpret_cast<void*>(GetProcAddress(module.get(), "initialize")));
    auto finalize = reinterpret_cast<Finalize_function>(
        reinterpret_cast<void*>(GetProcAddress(module.get(), "finalize")));
    if (!initialize || !finalize) {
        error = utf16_to_utf8(path) + " is no plug-in: it does not export \"" +
                (initialize ? "finalize" : "initialize") + "\"";
        Trace::error("Plugin_library::load") << error;
        return false;
    }
    module_ = std::move(module);
    initialize_ = initialize;
    finalize_ = finalize;
    path_ = path;
    return true;
}

bool Plugin_library::initialize(Interaction_if* host, std::string& error) {
    if (!module_) {
        error = "no plug-in is loaded";
        return false;
    }
    try {
        initialize_(host);
    } catch (const std::exception& e) {
        error = std::string("initialize threw: ") + e.what();
        Trace::error("Plugin_library::initialize") << error;
        return false;
    } catch (...) {
        error = "initialize threw an unknown exception";
        Trace::error("Plugin_library::initialize") << error;
        return false;
    }
    initialized_ = true;
    return true;
}

bool Plugin_library::finalize(std::string& error) {
    if (!module_) {
        error = "no plug-in is loaded";
        return false;
    }
    // Counts as finalized even when it throws: a second call would only repeat the fault.
    initialized_ = false;
    try {
        finalize_();
    } catch (const std::exception& e) {
        error = std::string("finalize threw: ") + e.what();
        Trace::error("Plugin_library::finalize") << error;
        return false;
    } catch (...) {
        error = "finalize threw an unknown exception";
        Trace::error("Plugin_library::finalize") << error;
        return false;
    }
    return true;
}

void Plugin_library::unload() {
    release();
}
