// The common base of the interpreters of code actions: a host filter that
// lists the code types, stores, deletes, searches and describes code actions,
// and runs the ones of its own type when the host hands over their ident.
#pragma once

#include "contract/filter_registration.h"
#include "contract/host_interface.h"
#include "storage/code_storage.h"

#include <memory>
#include <string>
#include <vector>

// What a typed abbreviation asks of the output that replaces it: erase the
// abbreviation shown, write the output in the case it was typed in, and type
// the separator that completed it after the output.
struct Replaced_abbreviation {
    unsigned backspaces = 0;
    std::wstring separator;
    unsigned letter_case = 0; // 0 as written, 1 capitalised, 2 all caps
};

class Code_interpreter : public Filter {
public:
    void* destroy(unsigned int flags) override;
    int status() override { return 1; }
    // Answers 0 for every message.
    int process(const wchar_t* name, unsigned int name_length, Parameters* list) override;

    /*3*/ virtual const wchar_t* type_name() const = 0;
    /*4*/ virtual void store_action_code(Parameters* list);
    /*5*/ virtual void execute(const std::wstring& ident) = 0;
    /*6*/ virtual void get_descriptor(const std::wstring& ident, Parameters* list);
    /*7*/ virtual const wchar_t* display_name() = 0;
    /*8*/ virtual void answer_action_texts(Parameters* list);
    /*9*/ virtual void delete_action(Parameters* list);
    // Run in place of a typed abbreviation. Interpreters that do not type
    // run as usual (the listener erased the abbreviation before).
    /*10*/ virtual void execute_replacing(const std::wstring& ident, const Replaced_abbreviation&) {
        execute(ident);
    }

    virtual ~Code_interpreter();
    Code_interpreter(const Code_interpreter&) = delete;
    Code_interpreter& operator=(const Code_interpreter&) = delete;

protected:
    // Registers for the five code-action messages, plus `extra_names`.
    // The storage lives as long as the interpreter does.
    Code_interpreter(Interaction_if* host, std::shared_ptr<Code_storage> storage,
                     std::vector<std::wstring> extra_names = {});

    Code_storage* storage() const { return storage_.get(); }
    Interaction_if* host() const { return registration_.host(); }
    // The stored code when `ident` is stored with this interpreter's type.
    bool load_own_code(const std::wstring& ident, std::wstring& code);

private:
    void dispatch(const std::wstring& name, Parameters* list);

    Filter_registration registration_;
    std::shared_ptr<Code_storage> storage_;
};

// Walks the children of a "zp_store_action_code" list.
class Store_code_visitor final : public Child_visitor {
public:
    Store_code_visitor(Parameters* message, Code_storage* storage, std::wstring type_name);
    void* destroy(unsigned int flags) override;
    void visit(const wchar_t* key, Parameters* child) override;

    // Stores the collected children. The message list is answered only
    // here, so that no host sees its list grow while it walks the children.
    void store_all();

private:
    Parameters* message_;
    Code_storage* storage_;
    std::wstring type_name_;
    std::wstring ident_;
    std::vector<std::pair<std::wstring, Parameters*>> children_;
};

// Answers the stored actions of one type, filtered by a search text.
class Action_text_visitor final : public Code_row_visitor {
public:
    // `search_text` null or empty: every action is answered.
    Action_text_visitor(Parameters* message, const std::wstring* search_text);
    void visit(const wchar_t* ident, const wchar_t* name, const wchar_t* description,
               const wchar_t* category) override;

private:
    Parameters* message_;
    std::wstring search_lower_;
    bool filtered_;
};

// True when `needle` occurs in `haystack`, ASCII letters compared without case.
bool contains_ignoring_case(const wchar_t* haystack, const std::wstring& lower_needle);
