/* A host written in C, as one built by another compiler would be: it knows
 * zaptor.dll only by its two exports and the vtable slot numbers of the host
 * contract, hands the plug-in vtables built by hand, and calls the plug-in's
 * objects through raw slots with thiscall. Prints one line per failed check
 * and a summary; exits non-zero on any failure.
 *
 * It loads plugins\zaptor.dll beside this program and works in a fresh
 * folder under %TEMP%, where the plug-in keeps its databases. */
#include <windows.h>

#include <shellapi.h> /* after windows.h, which it needs */

#include <stdarg.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <wchar.h>

#define THISCALL __attribute__((thiscall))

_Static_assert(sizeof(void*) == 4, "the contract host checks the 32-bit layout");

/* ---- the plug-in's objects, seen through their vtables ---- */

typedef struct Params Params;

typedef struct Plugin_filter {
    const struct {
        void*(THISCALL* destroy)(struct Plugin_filter* self, unsigned flags);
        int(THISCALL* status)(struct Plugin_filter* self);
        int(THISCALL* process)(struct Plugin_filter* self, const wchar_t* name, unsigned length,
                               Params* list);
    } * vtbl;
} Plugin_filter;

/* bool in MSVC's ABI: one byte in AL, the rest of EAX undefined. */
typedef struct Plugin_listener {
    const struct {
        void*(THISCALL* destroy)(struct Plugin_listener* self, unsigned flags);
        _Bool(THISCALL* key_event)(struct Plugin_listener* self, const KBDLLHOOKSTRUCT* event,
                                   unsigned modifiers);
    } * vtbl;
} Plugin_listener;

typedef struct Plugin_visitor {
    const struct {
        void*(THISCALL* destroy)(struct Plugin_visitor* self, unsigned flags);
        void(THISCALL* visit)(struct Plugin_visitor* self, const wchar_t* key, Params* child);
    } * vtbl;
} Plugin_visitor;

typedef void (*Child_callback)(void* context, const wchar_t* key, Params* child);

/* ---- checks ---- */

static int checks;
static int failures;

static void check(int ok, const char* format, ...) {
    ++checks;
    if (ok)
        return;
    ++failures;
    va_list args;
    va_start(args, format);
    printf("FAIL: ");
    vprintf(format, args);
    printf("\n");
    va_end(args);
    fflush(stdout);
}

static wchar_t* copy_text(const wchar_t* text, size_t length) {
    wchar_t* copy = calloc(length + 1, sizeof(wchar_t));
    if (!copy)
        abort();
    memcpy(copy, text, length * sizeof(wchar_t));
    return copy;
}

/* ---- Parameters: named byte values and named child lists ---- */

typedef struct Entry {
    wchar_t* key;
    unsigned char* data;
    unsigned size;
} Entry;

typedef struct Child {
    wchar_t* key;
    Params* list;
} Child;

struct Params {
    const struct Params_vtbl* vtbl;
    int is_child; /* owned by its parent list, never freed through slot 0 */
    Entry entries[64];
    unsigned entry_count;
    Child children[64];
    unsigned child_count;
};

static volatile LONG lists_given;  /* created through create_parameters */
static volatile LONG lists_freed;  /* of those, freed through slot 0 with the free bit */
static volatile LONG bad_destroys; /* slot 0 on a child list or without the free bit */

static void params_clear(Params* self) {
    for (unsigned i = 0; i < self->entry_count; ++i) {
        free(self->entries[i].key);
        free(self->entries[i].data);
    }
    for (unsigned i = 0; i < self->child_count; ++i) {
        free(self->children[i].key);
        params_clear(self->children[i].list);
        free(self->children[i].list);
    }
    self->entry_count = self->child_count = 0;
}

static void* THISCALL params_destroy(Params* self, unsigned flags) {
    if (self->is_child || !(flags & 1)) {
        InterlockedIncrement(&bad_destroys);
        return self;
    }
    params_clear(self);
    free(self);
    InterlockedIncrement(&lists_freed);
    return self;
}

static Entry* params_find(Params* self, const wchar_t* key) {
    for (unsigned i = 0; i < self->entry_count; ++i)
        if (wcscmp(self->entries[i].key, key) == 0)
            return &self->entries[i];
    return NULL;
}

static void THISCALL params_set(Params* self, const wchar_t* key, const void* data, unsigned size) {
    if (!key)
        return;
    Entry* entry = params_find(self, key);
    if (!entry && self->entry_count == 64)
        abort();
    if (!entry) {
        entry = &self->entries[self->entry_count++];
        entry->key = copy_text(key, wcslen(key));
    } else {
        free(entry->data);
    }
    entry->data = malloc(size ? size : 1);
    if (!entry->data)
        abort();
    if (size)
        memcpy(entry->data, data, size);
    entry->size = size;
}

static void THISCALL params_set_text(Params* self, const wchar_t* key, const wchar_t* text,
                                     unsigned length) {
    wchar_t* copy = copy_text(text ? text : L"", text ? length : 0);
    params_set(self, key, copy, (text ? length + 1 : 1) * sizeof(wchar_t));
    free(copy);
}

static _Bool THISCALL params_get(Params* self, const wchar_t* key, const void** data,
                                 unsigned* size) {
    Entry* entry = key ? params_find(self, key) : NULL;
    if (data)
        *data = entry ? entry->data : NULL;
    if (size)
        *size = entry ? entry->size : 0;
    return entry != NULL;
}

static void THISCALL params_reserved(Params* self) {
    (void)self;
}

static Params* params_new(int is_child);

static Params* THISCALL params_find_child(Params* self, const wchar_t* key) {
    for (unsigned i = 0; key && i < self->child_count; ++i)
        if (wcscmp(self->children[i].key, key) == 0)
            return self->children[i].list;
    return NULL;
}

static Params* THISCALL params_child(Params* self, const wchar_t* key) {
    if (!key)
        return NULL;
    Params* found = params_find_child(self, key);
    if (found)
        return found;
    if (self->child_count == 64)
        abort();
    Child* child = &self->children[self->child_count++];
    child->key = copy_text(key, wcslen(key));
    child->list = params_new(1);
    return child->list;
}

static void THISCALL params_for_each_child(Params* self, Child_callback callback, void* context) {
    for (unsigned i = 0; callback && i < self->child_count; ++i)
        callback(context, self->children[i].key, self->children[i].list);
}

static void THISCALL params_visit_children(Params* self, Plugin_visitor* visitor) {
    for (unsigned i = 0; visitor && i < self->child_count; ++i)
        visitor->vtbl->visit(visitor, self->children[i].key, self->children[i].list);
}

struct Params_vtbl {
    void*(THISCALL* destroy)(Params*, unsigned);
    void(THISCALL* set_text)(Params*, const wchar_t*, const wchar_t*, unsigned);
    void(THISCALL* set)(Params*, const wchar_t*, const void*, unsigned);
    _Bool(THISCALL* get)(Params*, const wchar_t*, const void**, unsigned*);
    void(THISCALL* reserved4)(Params*);
    void(THISCALL* reserved5)(Params*);
    Params*(THISCALL* child)(Params*, const wchar_t*);
    Params*(THISCALL* find_child)(Params*, const wchar_t*);
    void(THISCALL* reserved8)(Params*);
    void(THISCALL* for_each_child)(Params*, Child_callback, void*);
    void(THISCALL* visit_children)(Params*, Plugin_visitor*);
};

static const struct Params_vtbl params_vtbl = {
    params_destroy,  params_set_text,       params_set,           params_get,
    params_reserved, params_reserved,       params_child,         params_find_child,
    params_reserved, params_for_each_child, params_visit_children};

static Params* params_new(int is_child) {
    Params* list = calloc(1, sizeof(Params));
    if (!list)
        abort();
    list->vtbl = &params_vtbl;
    list->is_child = is_child;
    return list;
}

static void params_free(Params* list) {
    params_clear(list);
    free(list);
}

static void set_u32(Params* list, const wchar_t* key, unsigned value) {
    params_set(list, key, &value, sizeof value);
}

static void set_flag(Params* list, const wchar_t* key, unsigned char value) {
    params_set(list, key, &value, 1);
}

static void set_text(Params* list, const wchar_t* key, const wchar_t* text) {
    params_set_text(list, key, text, (unsigned)wcslen(text));
}

/* The text without its trailing NULs, or NULL when absent. */
static wchar_t* get_text(Params* list, const wchar_t* key) {
    Entry* entry = list ? params_find(list, key) : NULL;
    if (!entry)
        return NULL;
    size_t length = entry->size / sizeof(wchar_t);
    const wchar_t* text = (const wchar_t*)entry->data;
    while (length && text[length - 1] == 0)
        --length;
    return copy_text(text, length);
}

static int text_is(Params* list, const wchar_t* key, const wchar_t* expected) {
    wchar_t* text = get_text(list, key);
    int same = text && wcscmp(text, expected) == 0;
    free(text);
    return same;
}

/* 1 when the entry holds exactly these bytes: a u32 is 4 bytes, a flag 1. */
static int bytes_are(Params* list, const wchar_t* key, const void* data, unsigned size) {
    Entry* entry = list ? params_find(list, key) : NULL;
    return entry && entry->size == size && memcmp(entry->data, data, size) == 0;
}
static int u32_is(Params* list, const wchar_t* key, unsigned value) {
    return bytes_are(list, key, &value, 4);
}
static int flag_is(Params* list, const wchar_t* key, unsigned char value) {
    return bytes_are(list, key, &value, 1);
}

/* ---- the host: registrations, subscriptions, requests ---- */

typedef struct Binding {
    wchar_t* name;
    Plugin_filter* filter;
    unsigned registration; /* 0 for a subscription */
} Binding;

typedef struct Request {
    wchar_t* name;
    Params* copy; /* the request's values as they were sent */
} Request;

static CRITICAL_SECTION lock; /* requests come from the plug-in's worker threads too */
static Binding bindings[256];
static unsigned binding_count;
static unsigned live_registrations[64];
static unsigned live_registration_count;
static unsigned next_registration = 1;
static Request requests[512];
static unsigned request_count;
static int host_errors;
static Plugin_listener* listener;
static unsigned listener_size;

static void host_error(const char* what) {
    ++host_errors;
    printf("FAIL: %s\n", what);
}

static void add_binding(const wchar_t* name, unsigned length, Plugin_filter* filter,
                        unsigned registration) {
    if (binding_count == sizeof bindings / sizeof bindings[0]) {
        host_error("too many subscriptions");
        return;
    }
    bindings[binding_count].name = copy_text(name, length);
    bindings[binding_count].filter = filter;
    bindings[binding_count].registration = registration;
    ++binding_count;
}

static void remove_binding(unsigned index) {
    free(bindings[index].name);
    bindings[index] = bindings[--binding_count];
}

typedef struct Host {
    const struct Host_vtbl* vtbl;
} Host;

static void THISCALL host_reserved(Host* self) {
    (void)self;
    EnterCriticalSection(&lock);
    host_error("the plug-in called an unused slot of the host");
    LeaveCriticalSection(&lock);
}

static void THISCALL host_subscribe(Host* self, const wchar_t* name, unsigned length,
                                    Plugin_filter* filter) {
    (void)self;
    EnterCriticalSection(&lock);
    if (!name || !filter)
        host_error("subscribe without a name or filter");
    else
        add_binding(name, length, filter, 0);
    LeaveCriticalSection(&lock);
}

typedef struct Name_ref {
    const wchar_t* text;
    unsigned length;
} Name_ref;

static unsigned THISCALL host_register_filter(Host* self, Plugin_filter* filter,
                                              const Name_ref* names, unsigned count) {
    (void)self;
    EnterCriticalSection(&lock);
    unsigned id = next_registration++;
    for (unsigned i = 0; i < count; ++i)
        add_binding(names[i].text, names[i].length, filter, id);
    live_registrations[live_registration_count++] = id;
    LeaveCriticalSection(&lock);
    return id;
}

static void THISCALL host_unsubscribe(Host* self, const wchar_t* name, unsigned length,
                                      Plugin_filter* filter) {
    (void)self;
    EnterCriticalSection(&lock);
    unsigned i = 0;
    while (i < binding_count &&
           !(bindings[i].registration == 0 && bindings[i].filter == filter &&
             wcslen(bindings[i].name) == length && wcsncmp(bindings[i].name, name, length) == 0))
        ++i;
    if (i == binding_count)
        host_error("unsubscribe of a name the filter is not subscribed to");
    else
        remove_binding(i);
    LeaveCriticalSection(&lock);
}

static void THISCALL host_unregister_filter(Host* self, unsigned id) {
    (void)self;
    EnterCriticalSection(&lock);
    unsigned i = 0;
    while (i < live_registration_count && live_registrations[i] != id)
        ++i;
    if (i == live_registration_count) {
        host_error("unregister_filter of an unknown id");
    } else {
        live_registrations[i] = live_registrations[--live_registration_count];
        for (unsigned b = binding_count; b-- > 0;)
            if (bindings[b].registration == id)
                remove_binding(b);
    }
    LeaveCriticalSection(&lock);
}

static Params* params_copy(Params* list) {
    Params* copy = params_new(0);
    for (unsigned i = 0; i < list->entry_count; ++i)
        params_set(copy, list->entries[i].key, list->entries[i].data, list->entries[i].size);
    return copy;
}

static int THISCALL host_send(Host* self, const wchar_t* name, unsigned length, Params* list) {
    (void)self;
    EnterCriticalSection(&lock);
    if (request_count < sizeof requests / sizeof requests[0] && name) {
        requests[request_count].name = copy_text(name, length);
        requests[request_count].copy = list ? params_copy(list) : params_new(0);
        Request* request = &requests[request_count++];
        Entry* value = params_find(request->copy, L"listener");
        if (wcscmp(request->name, L"register_keyboard_listener") == 0 && value) {
            listener_size = value->size;
            if (value->size == sizeof listener)
                memcpy(&listener, value->data, sizeof listener);
        } else if (wcscmp(request->name, L"deregister_keyboard_listener") == 0) {
            if (!value || value->size != sizeof listener ||
                memcmp(value->data, &listener, sizeof listener) != 0)
                host_error("deregister_keyboard_listener names another listener");
            listener = NULL;
        }
    }
    LeaveCriticalSection(&lock);
    return 0;
}

static Params* THISCALL host_create_parameters(Host* self) {
    (void)self;
    InterlockedIncrement(&lists_given);
    return params_new(0);
}

struct Host_vtbl {
    void(THISCALL* reserved0)(Host*);
    void(THISCALL* subscribe)(Host*, const wchar_t*, unsigned, Plugin_filter*);
    unsigned(THISCALL* register_filter)(Host*, Plugin_filter*, const Name_ref*, unsigned);
    void(THISCALL* unsubscribe)(Host*, const wchar_t*, unsigned, Plugin_filter*);
    void(THISCALL* unregister_filter)(Host*, unsigned);
    void(THISCALL* reserved5)(Host*);
    int(THISCALL* send)(Host*, const wchar_t*, unsigned, Params*);
    Params*(THISCALL* create_parameters)(Host*);
};

static const struct Host_vtbl host_vtbl = {
    host_reserved, host_subscribe, host_register_filter,  host_unsubscribe, host_unregister_filter,
    host_reserved, host_send,      host_create_parameters};
static Host host = {&host_vtbl};

/* Delivers a message to every filter bound to the name, as a host does;
 * answers how many filters were called. A non-zero answer of process fails. */
static int deliver(const wchar_t* name, Params* list) {
    Binding targets[256];
    unsigned count = 0;
    EnterCriticalSection(&lock);
    for (unsigned i = 0; i < binding_count; ++i)
        if (wcscmp(bindings[i].name, name) == 0)
            targets[count++] = bindings[i];
    LeaveCriticalSection(&lock);
    for (unsigned i = 0; i < count; ++i) {
        int answer =
            targets[i].filter->vtbl->process(targets[i].filter, name, (unsigned)wcslen(name), list);
        check(answer == 0, "process(%ls) answered %d", name, answer);
    }
    return (int)count;
}

static unsigned bound_count(const wchar_t* name) {
    unsigned count = 0;
    EnterCriticalSection(&lock);
    for (unsigned i = 0; i < binding_count; ++i)
        count += wcscmp(bindings[i].name, name) == 0;
    LeaveCriticalSection(&lock);
    return count;
}

static unsigned requests_named(const wchar_t* name) {
    unsigned count = 0;
    EnterCriticalSection(&lock);
    for (unsigned i = 0; i < request_count; ++i)
        count += wcscmp(requests[i].name, name) == 0;
    LeaveCriticalSection(&lock);
    return count;
}

/* The last request of that name, waiting up to timeout_ms for it. */
static Params* wait_request(const wchar_t* name, unsigned timeout_ms) {
    DWORD start = GetTickCount();
    for (;;) {
        Params* found = NULL;
        EnterCriticalSection(&lock);
        for (unsigned i = 0; i < request_count; ++i)
            if (wcscmp(requests[i].name, name) == 0)
                found = requests[i].copy;
        LeaveCriticalSection(&lock);
        if (found || GetTickCount() - start >= timeout_ms)
            return found;
        Sleep(20);
    }
}

static _Bool key(unsigned vk, unsigned flags, unsigned modifiers) {
    KBDLLHOOKSTRUCT event = {vk, MapVirtualKeyW(vk, MAPVK_VK_TO_VSC), flags, GetTickCount(), 0};
    return listener->vtbl->key_event(listener, &event, modifiers);
}

/* A new list with one text value (none when key is NULL). */
static Params* with_text(const wchar_t* key, const wchar_t* text) {
    Params* list = params_new(0);
    if (key)
        set_text(list, key, text);
    return list;
}

/* Delivers the list and frees it. */
static void sent(const wchar_t* name, Params* list) {
    deliver(name, list);
    params_free(list);
}

/* ---- a private installation folder ---- */

static void remove_tree(const wchar_t* path) {
    wchar_t from[MAX_PATH + 1] = {0}; /* double-NUL terminated */
    wcsncpy(from, path, MAX_PATH - 1);
    SHFILEOPSTRUCTW op = {0};
    op.wFunc = FO_DELETE;
    op.pFrom = from;
    op.fFlags = FOF_NO_UI;
    SHFileOperationW(&op);
}

static int file_exists(const wchar_t* path) {
    return GetFileAttributesW(path) != INVALID_FILE_ATTRIBUTES;
}

/* ---- the run ---- */

static const wchar_t* const startup_names[] = {
    L"startup",        L"shutdown",        L"set_language", L"create_backup",
    L"restore_backup", L"set_debug_level", L"delete_traces"};

static void run(HMODULE dll, const wchar_t* work) {
    typedef void (*Initialize)(Host*);
    typedef void (*Finalize)(void);
    Initialize initialize = (Initialize)(void*)GetProcAddress(dll, "initialize");
    Finalize finalize = (Finalize)(void*)GetProcAddress(dll, "finalize");
    check(initialize && finalize, "the exports initialize and finalize");
    if (!initialize || !finalize)
        return;

    initialize(&host);
    check(binding_count == 7 && live_registration_count == 1,
          "initialize registers one filter for seven names (got %u names, %u registrations)",
          binding_count, live_registration_count);
    if (binding_count == 0)
        return;
    Plugin_filter* startup = bindings[0].filter;
    for (unsigned i = 0; i < 7 && i < binding_count; ++i)
        check(bindings[i].filter == startup && wcscmp(bindings[i].name, startup_names[i]) == 0,
              "registered name %u is %ls", i, startup_names[i]);
    check(startup->vtbl->status(startup) == 1, "the start-up filter's status is 1");

    Params* list = params_new(0);
    /* The name's length counts, not a NUL: "startup" out of a longer buffer. */
    int answer = startup->vtbl->process(startup, L"startup_and_more", 7, list);
    params_free(list);
    check(answer == 0, "process(startup) answers 0");
    check(listener_size == 4 && listener != NULL,
          "register_keyboard_listener carries a 4-byte listener pointer (got %u bytes)",
          listener_size);
    static const wchar_t* const subscribed[] = {
        L"key_processing", L"core__notify_data_update", L"zp_action_key_binding",
        L"zp_action_set_key_binding", L"zp_action_remove_key_binding"};
    for (unsigned i = 0; i < 5; ++i)
        check(bound_count(subscribed[i]) == 1, "one filter subscribed to %ls", subscribed[i]);
    check(bound_count(L"zp_store_action_code") == 3 && bound_count(L"zp_delete_action") == 3,
          "the three interpreters subscribe to zp_store_action_code and zp_delete_action");

    sent(L"set_language", with_text(L"language", L"Deutsch"));
    list = with_text(NULL, NULL);
    deliver(L"zp_get_action_interpreter", list);
    check(text_is(params_find_child(list, L"url_interpreter"), L"name",
                  L"URL \x00f6"
                  L"ffnen"),
          "after set_language Deutsch the URL interpreter's name is German");
    params_free(list);

    /* A code action stored, found and deleted through the interpreters. */
    list = params_new(0);
    Params* action = params_child(list, L"zp_new");
    static const wchar_t* const fields[][2] = {{L"type", L"url_interpreter"},
                                               {L"code", L"https://example.org/zaptor"},
                                               {L"name", L"Contract site"},
                                               {L"description", L"stored by the C host"}};
    for (unsigned i = 0; i < 4; ++i)
        set_text(action, fields[i][0], fields[i][1]);
    deliver(L"zp_store_action_code", list);
    wchar_t* ident = get_text(params_find_child(list, L"result"), L"zp_new");
    params_free(list);
    check(ident && wcsncmp(ident, L"zp_", 3) == 0, "zp_store_action_code answers a new ident");
    if (!ident)
        ident = copy_text(L"zp_none", 7);

    list = with_text(L"search_text", L"CONTRACT");
    deliver(L"zp_broadcast_get_action_text", list);
    Params* found = params_find_child(list, ident);
    check(text_is(found, L"name", L"Contract site") && text_is(found, L"ident", ident),
          "the search finds the stored action by its name in other case");
    params_free(list);

    /* A direct binding: Control+A without the activation key. */
    list = with_text(L"id", ident);
    set_u32(list, L"combi", 0x10241);
    set_text(list, L"title", L"Contract site");
    sent(L"zp_action_set_key_binding", list);
    list = with_text(L"id", ident);
    deliver(L"zp_action_key_binding", list);
    check(u32_is(list, L"key", 0x10241), "zp_action_key_binding answers 0x10241 in 4 bytes");
    params_free(list);

    if (listener) {
        check(key('A', 0, 1u << 3), "Control+A pressed is swallowed");
        check(key('A', LLKHF_UP, 1u << 3), "Control+A released is swallowed");
        check(!key('B', 0, 1u << 3), "Control+B (unbound) passes");
        check(!key('A', 0, 1u << 0), "Shift+A (unbound) passes");
        Params* execute = wait_request(ident, 60000); /* qemu-user is slow */
        check(execute && text_is(execute, L"request", L"execute") &&
                  u32_is(execute, L"deactivate", 0x241),
              "the release sends the action's ident with request execute and deactivate 0x241");
    }

    list = params_new(0);
    set_u32(list, L"combi", 0x10241);
    sent(L"zp_action_remove_key_binding", list);
    if (listener)
        check(!key('A', 0, 1u << 3), "Control+A passes once its binding is removed");

    /* Backups of both databases, with the result flag ANDed in. */
    wchar_t backup[MAX_PATH], path[MAX_PATH];
    swprintf(backup, MAX_PATH, L"%ls\\backup", work);
    CreateDirectoryW(backup, NULL);
    for (unsigned char before = 2; before-- > 0;) {
        list = with_text(L"path", backup);
        if (before == 0)
            set_flag(list, L"result", 0);
        deliver(L"create_backup", list);
        check(flag_is(list, L"result", before), "create_backup after result %d answers flag %d",
              before ? -1 : 0, before);
        params_free(list);
    }
    for (unsigned i = 0; i < 2; ++i) {
        swprintf(path, MAX_PATH, L"%ls\\%ls", backup, i ? L"code_storage.db" : L"zaptor.db");
        check(file_exists(path), "create_backup wrote %ls", path);
    }

    sent(L"zp_delete_action", with_text(L"ident", ident));
    list = with_text(NULL, NULL);
    deliver(L"zp_broadcast_get_action_text", list);
    check(params_find_child(list, ident) == NULL, "the deleted action is no longer listed");
    params_free(list);

    list = with_text(L"path", backup);
    deliver(L"restore_backup", list);
    check(flag_is(list, L"result", 1), "restore_backup answers flag 1");
    params_free(list);
    list = with_text(NULL, NULL);
    deliver(L"zp_broadcast_get_action_text", list);
    check(params_find_child(list, ident) != NULL, "the restored action is listed again");
    params_free(list);
    check(listener != NULL && requests_named(L"register_keyboard_listener") == 2,
          "the restore registers the keyboard listener again");

    list = params_new(0);
    check(deliver(L"shutdown", list) == 1, "shutdown reaches the start-up filter");
    params_free(list);
    check(listener == NULL, "shutdown deregisters the keyboard listener");
    check(binding_count == 7 && live_registration_count == 1,
          "after shutdown only the start-up filter's registration is left (%u names, %u)",
          binding_count, live_registration_count);

    finalize();
    check(binding_count == 0 && live_registration_count == 0,
          "finalize withdraws every registration and subscription");
    free(ident);
}

int main(void) {
    InitializeCriticalSection(&lock);
    wchar_t full[MAX_PATH];
    GetModuleFileNameW(NULL, full, MAX_PATH);
    wcscpy(wcsrchr(full, L'\\') + 1, L"plugins\\zaptor.dll");

    wchar_t work[MAX_PATH], plugins[MAX_PATH];
    GetTempPathW(MAX_PATH, work);
    swprintf(work + wcslen(work), MAX_PATH - wcslen(work), L"zaptor-contract-%lu",
             GetCurrentProcessId());
    remove_tree(work);
    swprintf(plugins, MAX_PATH, L"%ls\\plugins", work);
    if (!CreateDirectoryW(work, NULL) || !CreateDirectoryW(plugins, NULL) ||
        !SetCurrentDirectoryW(work)) {
        printf("FAIL: cannot make the folder %ls\n", work);
        return 1;
    }

    HMODULE dll = LoadLibraryW(full);
    check(dll != NULL, "LoadLibrary(%ls) (error %lu)", full, GetLastError());
    if (dll) {
        run(dll, work);
        check(FreeLibrary(dll), "FreeLibrary");
    }
    check(lists_given > 0 && lists_given == lists_freed,
          "every list from create_parameters came back through slot 0 with the free bit "
          "(%ld given, %ld freed)",
          lists_given, lists_freed);
    check(bad_destroys == 0, "no slot 0 call on a child list or without the free bit (%ld)",
          bad_destroys);
    failures += host_errors;
    for (unsigned i = 0; i < request_count; ++i) {
        free(requests[i].name);
        params_free(requests[i].copy);
    }

    wchar_t temp[MAX_PATH];
    GetTempPathW(MAX_PATH, temp);
    SetCurrentDirectoryW(temp);
    remove_tree(work);
    printf("contract: %d checks, %d failed\n", checks + host_errors, failures);
    return failures ? 1 : 0;
}
