// Every text shown to the user is written in English in the code and passed
// through the text provider just before it is shown:
//     text_provider().get_string(L"Manage actions")
// English texts kept in tables and looked up later are marked with
// translatable(), e.g. {translatable(L"Caps Lock"), 0x14}, so that the
// translation check finds them too.
#pragma once

#include <windows.h>

#include <cstddef>
#include <memory>
#include <string>
#include <vector>

constexpr const wchar_t* translatable(const wchar_t* english) {
    return english;
}

class Textprovider {
public:
    virtual ~Textprovider() = default;
    // The language in force: a table of the translation file, "base_lang"
    // for English, empty before the first successful set_language.
    virtual std::wstring get_language() const = 0;
    // Loads the language (a code or a display name) from the file named like
    // `module` with the extension ".lng". An empty language selects English.
    virtual void set_language(HMODULE module, const std::wstring& language) = 0;
    virtual void set_language(HMODULE module, const wchar_t* language, std::size_t length) = 0;
    // Appends the language codes that the file holds.
    virtual void get_language_list(std::vector<std::wstring>& list) = 0;
    // The text to show for `english`. The pointer stays valid for the life
    // of the provider, also across later language changes.
    virtual const wchar_t* get_string(const wchar_t* english) = 0;
    // The display name of a language code (the code itself when it has none).
    virtual void get_language_name(const std::wstring& code, std::wstring& name) = 0;
    // The code of a display name (the name itself when it is unknown).
    virtual void get_language_code(const std::wstring& name, std::wstring& code) = 0;
    // set_language on an explicit translation file path.
    virtual void set_language_from_file(const std::wstring& path, const std::wstring& language) = 0;
};

// The one provider of the module, from load to unload.
Textprovider& text_provider();

std::unique_ptr<Textprovider> make_textprovider();

// The module's file name with its extension replaced by ".lng"; empty when
// the name cannot be read.
std::wstring translation_file_path(HMODULE module);
