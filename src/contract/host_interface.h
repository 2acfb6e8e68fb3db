// The contract between a Velloquarte host and its plug-ins.
//
// Both sides are built by different compilers (the host possibly with MSVC),
// so only the vtable layout is shared: slot order, argument order and plain
// argument types. Slot 0 of every interface is shaped like MSVC's deleting
// destructor (bit 0 of flags: free the object; returns its address), because
// g++ would give a real virtual destructor two slots. No overloads (MSVC
// orders overloaded virtuals differently) and no class returned by value.
//
// Order in which a host calls a plug-in: LoadLibrary, initialize(host),
// messages ("startup" ... "shutdown", possibly again), finalize(), FreeLibrary.
#pragma once

#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

struct Parameters;

struct Name_ref {
    const wchar_t* text;
    unsigned int length;
};

// Implemented by the plug-in; the host calls process for every message the
// filter subscribed to or was registered for.
struct Filter {
    /*0*/ virtual void* destroy(unsigned int flags) = 0;
    /*1*/ virtual int status() = 0;
    /*2*/ virtual int process(const wchar_t* name, unsigned int name_length, Parameters* list) = 0;

protected:
    ~Filter() = default;
};

// Implemented by the caller of Parameters::visit_children.
struct Child_visitor {
    /*0*/ virtual void* destroy(unsigned int flags) = 0;
    /*1*/ virtual void visit(const wchar_t* key, Parameters* child) = 0;

protected:
    ~Child_visitor() = default;
};

using Child_callback = void (*)(void* context, const wchar_t* key, Parameters* child);

// Implemented by the host: named byte values and named child lists.
// Keys are NUL-terminated UTF-16.
struct Parameters {
    /*0*/ virtual void* destroy(unsigned int flags) = 0;
    /*1*/ virtual void set_text(const wchar_t* key, const wchar_t* text, unsigned int length) = 0;
    /*2*/ virtual void set(const wchar_t* key, const void* data, unsigned int byte_count) = 0;
    /*3*/ virtual bool get(const wchar_t* key, const void** data, unsigned int* byte_count) = 0;
    /*4*/ virtual void reserved4() = 0;
    /*5*/ virtual void reserved5() = 0;
    /*6*/ virtual Parameters* child(const wchar_t* key) = 0;
    /*7*/ virtual Parameters* find_child(const wchar_t* key) = 0;
    /*8*/ virtual void reserved8() = 0;
    /*9*/ virtual void for_each_child(Child_callback callback, void* context) = 0;
    /*10*/ virtual void visit_children(Child_visitor* visitor) = 0;

protected:
    ~Parameters() = default;
};

// Implemented by the plug-in; called on the host's keyboard-hook thread for
// every key event. Answer true to swallow the event.
struct Keyboard_listener {
    /*0*/ virtual void* destroy(unsigned int flags) = 0;
    /*1*/ virtual bool key_event(const KBDLLHOOKSTRUCT* event, unsigned int modifiers) = 0;

protected:
    ~Keyboard_listener() = default;
};

// Modifier state bits handed to Keyboard_listener::key_event.
constexpr unsigned int listener_shift = 1u << 0;
constexpr unsigned int listener_control = 1u << 3;
constexpr unsigned int listener_alt = 1u << 6;

// Implemented by the host.
struct Interaction_if {
    /*0*/ virtual void reserved0() = 0;
    /*1*/ virtual void subscribe(const wchar_t* name, unsigned int name_length, Filter* filter) = 0;
    /*2*/ virtual unsigned int register_filter(Filter* filter, const Name_ref* names,
                                               unsigned int count) = 0;
    /*3*/ virtual void unsubscribe(const wchar_t* name, unsigned int name_length,
                                   Filter* filter) = 0;
    /*4*/ virtual void unregister_filter(unsigned int id) = 0;
    /*5*/ virtual void reserved5() = 0;
    /*6*/ virtual int send(const wchar_t* name, unsigned int name_length, Parameters* list) = 0;
    /*7*/ virtual Parameters* create_parameters() = 0;

protected:
    ~Interaction_if() = default;
};

// The plug-in's exports.
extern "C" {
using Initialize_function = void (*)(Interaction_if* host);
using Finalize_function = void (*)();
}
