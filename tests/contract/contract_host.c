/* A host written in C, as one built by another compiler would be: it knows
 * zaptor.dll only by its two exports and the slot numbers of the host
 * contract, hands the plug-in vtables built by hand and calls the plug-in's
 * objects through raw slots with thiscall. Works in a fresh folder under
 * %TEMP%, where the plug-in keeps its databases. */
#include <windows.h>

#include <shellapi.h> /* after windows.h, which it needs */

#include <stdarg.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <wchar.h>

#define THISCALL __attribute__((thiscall))
#define COUNT(array) (sizeof(array) / sizeof(array)[0])

_Static_assert(sizeof(void*) == 4, "the contract host checks the 32-bit layout");

/* ---- the plug-in's objects, seen through their vtables ---- */

typedef struct Params Params;

/* Slot 0 of each is shaped like MSVC's deleting destructor (flags bit 0: free). */
#define PLUGIN_OBJECT(Name, ...)                                                                   \
    typedef struct Name {                                                                          \
        const struct {                                                                             \
            void*(THISCALL * destroy)(struct Name * self, unsigned flags);                         \
            __VA_ARGS__                                                                            \
        } * vtbl;                                                                                  \
    } Name;
PLUGIN_OBJECT(Filter, int(THISCALL* status)(struct Filter*);
              int(THISCALL * process)(struct Filter*, const wchar_t* name, unsigned length,
                                      Params* list);)
/* bool in MSVC's ABI: one byte in AL, the rest of EAX undefined. */
PLUGIN_OBJECT(Listener, _Bool(THISCALL* key_event)(struct Listener*, const KBDLLHOOKSTRUCT* event,
                                                   unsigned modifiers);)
PLUGIN_OBJECT(Visitor, void(THISCALL* visit)(struct Visitor*, const wchar_t* key, Params* child);)

static CRITICAL_SECTION lock; /* the plug-in's worker threads call in too */
static int checks, failures;

static void check(int ok, const char* format, ...) {
    EnterCriticalSection(&lock);
    ++checks;
    if (!ok) {
        ++failures;
        va_list args;
        va_start(args, format);
        printf("FAIL: ");
        vprintf(format, args);
        printf("\n");
        fflush(stdout);
        va_end(args);
    }
    LeaveCriticalSection(&lock);
}

/* A name of the given length, NUL-terminated; names are short. */
#define NAME(to, text, length) swprintf(to, COUNT(to), L"%.*ls", (int)(length), text)

/* ---- Parameters: named byte values and named child lists ---- */

typedef struct Entry {
    wchar_t key[64];
    unsigned char data[1024];
    unsigned size;
    Params* child; /* set for a child list, which has no data */
} Entry;

struct Params {
    void* const* vtbl; /* the host's objects: tables of slot addresses */
    int is_child;      /* owned by its parent, never freed through slot 0 */
    Entry entries[64];
    unsigned count;
};

static volatile LONG lists_given, lists_freed; /* through create_parameters and slot 0 */
static volatile LONG bad_destroys;             /* slot 0 on a child or without the free bit */

static void params_free(Params* self) {
    for (unsigned i = 0; i < self->count; ++i)
        if (self->entries[i].child)
            params_free(self->entries[i].child);
    free(self);
}

static Entry* find(Params* self, const wchar_t* key, int child) {
    for (unsigned i = 0; self && key && i < self->count; ++i)
        if (!self->entries[i].child == !child && wcscmp(self->entries[i].key, key) == 0)
            return &self->entries[i];
    return NULL;
}

static Entry* add(Params* self, const wchar_t* key) {
    if (self->count == COUNT(self->entries) || wcslen(key) >= COUNT(self->entries[0].key))
        abort();
    Entry* entry = &self->entries[self->count++];
    wcscpy(entry->key, key);
    return entry;
}

static void* THISCALL params_destroy(Params* self, unsigned flags) {
    if (self->is_child || !(flags & 1)) {
        InterlockedIncrement(&bad_destroys);
        return self;
    }
    params_free(self);
    InterlockedIncrement(&lists_freed);
    return self;
}

static void THISCALL params_set(Params* self, const wchar_t* key, const void* data, unsigned size) {
    Entry* entry = key ? find(self, key, 0) : NULL;
    if (key && !entry)
        entry = add(self, key);
    if (!entry || size > sizeof entry->data)
        abort();
    memcpy(entry->data, data, entry->size = size);
}

static void THISCALL params_set_text(Params* self, const wchar_t* key, const wchar_t* text,
                                     unsigned length) {
    wchar_t copy[512] = {0};
    if (text && length >= COUNT(copy))
        abort();
    memcpy(copy, text ? text : L"", (text ? length : 0) * sizeof(wchar_t));
    params_set(self, key, copy, (text ? length + 1 : 1) * sizeof(wchar_t));
}

static _Bool THISCALL params_get(Params* self, const wchar_t* key, const void** data,
                                 unsigned* size) {
    Entry* entry = find(self, key, 0);
    *data = entry ? entry->data : NULL;
    *size = entry ? entry->size : 0;
    return entry != NULL;
}

static void THISCALL params_reserved(Params* self) {} /* also slot 9, which goes unused */

static Params* params_new(int is_child);

static Params* THISCALL params_find_child(Params* self, const wchar_t* key) {
    Entry* entry = find(self, key, 1);
    return entry ? entry->child : NULL;
}

static Params* THISCALL params_child(Params* self, const wchar_t* key) {
    Params* found = params_find_child(self, key);
    if (found || !key)
        return found;
    return add(self, key)->child = params_new(1);
}

static void THISCALL params_visit_children(Params* self, Visitor* visitor) {
    for (unsigned i = 0; visitor && i < self->count; ++i)
        if (self->entries[i].child)
            visitor->vtbl->visit(visitor, self->entries[i].key, self->entries[i].child);
}

static void* const params_vtbl[] = {params_destroy,  params_set_text,      params_set,
                                    params_get,      params_reserved,      params_reserved,
                                    params_child,    params_find_child,    params_reserved,
                                    params_reserved, params_visit_children};

static Params* params_new(int is_child) {
    Params* list = calloc(1, sizeof(Params));
    if (!list)
        abort();
    list->vtbl = params_vtbl;
    list->is_child = is_child;
    return list;
}

/* Sets a text value and answers the list. */
static Params* put(Params* list, const wchar_t* key, const wchar_t* text) {
    params_set_text(list, key, text, (unsigned)wcslen(text));
    return list;
}

/* 1 when the entry holds exactly these bytes: a u32 is 4 bytes, a text ends
 * in one NUL. */
static int bytes_are(Params* list, const wchar_t* key, const void* data, unsigned size) {
    Entry* entry = find(list, key, 0);
    return entry && entry->size == size && memcmp(entry->data, data, size) == 0;
}
static int u32_is(Params* list, const wchar_t* key, unsigned value) {
    return bytes_are(list, key, &value, 4);
}
static int text_is(Params* list, const wchar_t* key, const wchar_t* text) {
    return bytes_are(list, key, text, (unsigned)(wcslen(text) + 1) * sizeof(wchar_t));
}

/* ---- the host: registrations, subscriptions, requests ---- */

typedef struct Name_ref {
    const wchar_t* text;
    unsigned length;
} Name_ref;

static struct Binding {
    wchar_t name[64];
    Filter* filter;
    unsigned registration; /* 0 for a subscription */
} bindings[256];
static unsigned binding_count, next_registration = 1;
static Params* sent; /* per request name, the values it last carried */
static Listener* listener;

static void THISCALL host_reserved(void* self) {
    check(0, "the plug-in called an unused slot of the host");
}

static void bind(const wchar_t* name, unsigned length, Filter* filter, unsigned registration) {
    EnterCriticalSection(&lock);
    if (!name || !filter || binding_count == COUNT(bindings))
        abort();
    bindings[binding_count] = (struct Binding){.filter = filter, .registration = registration};
    NAME(bindings[binding_count++].name, name, length);
    LeaveCriticalSection(&lock);
}

/* Removes the bindings of a registration, or filter's subscription to name. */
static int unbind(unsigned registration, const wchar_t* name, unsigned length, Filter* filter) {
    wchar_t key[64];
    NAME(key, name ? name : L"", length);
    int found = 0;
    EnterCriticalSection(&lock);
    for (unsigned i = binding_count; i-- > 0;)
        if (bindings[i].registration == registration &&
            (registration ||
             (bindings[i].filter == filter && wcscmp(bindings[i].name, key) == 0))) {
            bindings[i] = bindings[--binding_count];
            found = 1;
        }
    LeaveCriticalSection(&lock);
    return found;
}

static void THISCALL host_subscribe(void* self, const wchar_t* name, unsigned length,
                                    Filter* filter) {
    bind(name, length, filter, 0);
}

static unsigned THISCALL host_register_filter(void* self, Filter* filter, const Name_ref* names,
                                              unsigned count) {
    unsigned id = next_registration++;
    for (unsigned i = 0; i < count; ++i)
        bind(names[i].text, names[i].length, filter, id);
    return id;
}

static void THISCALL host_unsubscribe(void* self, const wchar_t* name, unsigned length,
                                      Filter* filter) {
    check(name && unbind(0, name, length, filter), "unsubscribe of a name not subscribed to");
}

static void THISCALL host_unregister_filter(void* self, unsigned id) {
    check(id && unbind(id, NULL, 0, NULL), "unregister_filter of unknown id %u", id);
}

static int THISCALL host_send(void* self, const wchar_t* name, unsigned length, Params* list) {
    EnterCriticalSection(&lock);
    wchar_t key[64];
    NAME(key, name ? name : L"", name ? length : 0);
    Params* copy = params_child(sent, key);
    for (unsigned i = 0; list && i < list->count; ++i)
        if (!list->entries[i].child)
            params_set(copy, list->entries[i].key, list->entries[i].data, list->entries[i].size);
    Entry* value = find(copy, L"listener", 0);
    if (wcscmp(key, L"register_keyboard_listener") == 0 && value && value->size == 4)
        memcpy(&listener, value->data, sizeof listener);
    else if (wcscmp(key, L"deregister_keyboard_listener") == 0) {
        check(bytes_are(copy, L"listener", &listener, sizeof listener),
              "deregister_keyboard_listener names the registered listener");
        listener = NULL;
    }
    LeaveCriticalSection(&lock);
    return 0;
}

static Params* THISCALL host_create_parameters(void* self) {
    InterlockedIncrement(&lists_given);
    return params_new(0);
}

static void* const host_vtbl[] = {host_reserved,    host_subscribe,         host_register_filter,
                                  host_unsubscribe, host_unregister_filter, host_reserved,
                                  host_send,        host_create_parameters};
static void* const* host = host_vtbl; /* an object is a pointer to its slots */

/* Delivers a message to every filter bound to the name, as a host does, and
 * frees the list unless keep; answers how many filters were called. */
static int deliver(const wchar_t* name, Params* list, int keep) {
    Filter* targets[COUNT(bindings)];
    unsigned count = 0;
    EnterCriticalSection(&lock);
    for (unsigned i = 0; i < binding_count; ++i)
        if (wcscmp(bindings[i].name, name) == 0)
            targets[count++] = bindings[i].filter;
    LeaveCriticalSection(&lock);
    for (unsigned i = 0; i < count; ++i)
        check(targets[i]->vtbl->process(targets[i], name, (unsigned)wcslen(name), list) == 0,
              "process(%ls) answers 0", name);
    if (!keep)
        params_free(list);
    return (int)count;
}

/* The values of the last request of that name, waiting up to timeout_ms. */
static Params* wait_request(const wchar_t* name, unsigned timeout_ms) {
    for (DWORD start = GetTickCount();; Sleep(20)) {
        EnterCriticalSection(&lock);
        Params* found = params_find_child(sent, name);
        LeaveCriticalSection(&lock);
        if (found || GetTickCount() - start >= timeout_ms)
            return found;
    }
}

/* ---- the run ---- */

static void run(HMODULE dll) {
    void (*initialize)(void*) = (void (*)(void*))(void*)GetProcAddress(dll, "initialize");
    void (*finalize)(void) = (void (*)(void))(void*)GetProcAddress(dll, "finalize");
    check(initialize && finalize, "the exports initialize and finalize");
    if (!initialize || !finalize)
        return;

    initialize(&host);
    /* One filter for seven names; smoke32 uses each of them. */
    check(binding_count == 7 && wcscmp(bindings[1].name, L"shutdown") == 0,
          "initialize registers startup, shutdown and five more (got %u)", binding_count);
    if (binding_count == 0)
        return;
    Filter* startup = bindings[0].filter;
    for (unsigned i = 0; i < binding_count; ++i)
        check(bindings[i].filter == startup && bindings[i].registration == 1,
              "one filter registered for %ls", bindings[i].name);
    check(startup->vtbl->status(startup) == 1, "the start-up filter's status is 1");

    /* The name's length counts, not a NUL: "startup" out of a longer buffer. */
    Params* list = params_new(0);
    check(startup->vtbl->process(startup, L"startup_and_more", 7, list) == 0, "process(startup)");
    params_free(list);
    check(listener != NULL, "register_keyboard_listener carries a 4-byte listener pointer");

    deliver(L"set_language", put(params_new(0), L"language", L"Deutsch"), 0);
    list = params_new(0);
    deliver(L"zp_get_action_interpreter", list, 1);
    check(text_is(params_find_child(list, L"url_interpreter"), L"name", L"URL \u00f6ffnen"),
          "after set_language Deutsch the URL interpreter's name is German");
    params_free(list);

    /* A code action stored through the three interpreters' subscriptions. */
    list = params_new(0);
    Params* action = params_child(list, L"zp_new");
    put(action, L"type", L"url_interpreter");
    put(action, L"code", L"https://example.org/zaptor");
    put(action, L"name", L"Contract site");
    check(deliver(L"zp_store_action_code", list, 1) == 3, "three filters store action code");
    Params* result = params_find_child(list, L"result");
    Entry* answer = find(result, L"zp_new", 0);
    wchar_t ident[64]; /* text_is below checks its one NUL */
    NAME(ident, answer ? (const wchar_t*)answer->data : L"", COUNT(ident) - 1);
    check(wcsncmp(ident, L"zp_", 3) == 0 && text_is(result, L"zp_new", ident), "the new ident");
    params_free(list);

    /* A direct binding: Control+A without the activation key. */
    list = put(params_new(0), L"id", ident);
    unsigned combi = 0x10241;
    params_set(list, L"combi", &combi, 4);
    put(list, L"title", L"Contract site");
    check(deliver(L"zp_action_set_key_binding", list, 0) == 1, "one filter sets bindings");
    list = put(params_new(0), L"id", ident);
    deliver(L"zp_action_key_binding", list, 1);
    check(u32_is(list, L"key", combi), "the binding read back is 0x10241 in 4 bytes");
    params_free(list);

    static const struct {
        unsigned vk, flags, modifiers, swallowed;
    } keys[] = {{'A', 0, 1u << 3, 1},        /* Control+A pressed */
                {'A', LLKHF_UP, 1u << 3, 1}, /* and released: runs the action */
                {'B', 0, 1u << 3, 0},        /* unbound */
                {'A', 0, 1u << 0, 0}};       /* Shift+A: unbound */
    for (unsigned i = 0; listener && i < COUNT(keys); ++i) {
        KBDLLHOOKSTRUCT event = {keys[i].vk, MapVirtualKeyW(keys[i].vk, MAPVK_VK_TO_VSC),
                                 keys[i].flags, GetTickCount(), 0};
        check(listener->vtbl->key_event(listener, &event, keys[i].modifiers) == keys[i].swallowed,
              "key %u (vk %#x) swallowed: %u", i, keys[i].vk, keys[i].swallowed);
    }
    Params* execute = wait_request(ident, 60000); /* qemu-user is slow */
    check(text_is(execute, L"request", L"execute") && u32_is(execute, L"deactivate", 0x241),
          "the release sends the ident with request execute and deactivate 0x241");

    check(deliver(L"shutdown", params_new(0), 0) == 1, "shutdown reaches the start-up filter");
    check(listener == NULL, "shutdown deregisters the keyboard listener");
    check(binding_count == 7, "after shutdown only the start-up filter (%u)", binding_count);
    finalize();
    check(binding_count == 0, "finalize withdraws every registration and subscription");
}

int main(void) {
    InitializeCriticalSection(&lock);
    sent = params_new(0);
    wchar_t dll_path[MAX_PATH], temp[MAX_PATH], work[MAX_PATH + 1] = {0}; /* ends in two NULs */
    GetModuleFileNameW(NULL, dll_path, MAX_PATH);
    wcscpy(wcsrchr(dll_path, L'\\') + 1, L"plugins\\zaptor.dll");
    GetTempPathW(MAX_PATH, temp);
    swprintf(work, MAX_PATH, L"%lszaptor-contract-%lu", temp, GetCurrentProcessId());
    if (!CreateDirectoryW(work, NULL) || !SetCurrentDirectoryW(work) ||
        !CreateDirectoryW(L"plugins", NULL)) {
        printf("FAIL: cannot make the folder %ls\n", work);
        return 1;
    }

    HMODULE dll = LoadLibraryW(dll_path);
    check(dll != NULL, "LoadLibrary(%ls) (error %lu)", dll_path, GetLastError());
    if (dll) {
        run(dll);
        check(FreeLibrary(dll), "FreeLibrary");
    }
    check(lists_given > 0 && lists_given == lists_freed, "lists given %ld, freed by slot 0 %ld",
          lists_given, lists_freed);
    check(bad_destroys == 0, "slot 0 on a child or without the free bit (%ld)", bad_destroys);

    SetCurrentDirectoryW(temp);
    SHFILEOPSTRUCTW op = {.wFunc = FO_DELETE, .pFrom = work, .fFlags = FOF_NO_UI};
    SHFileOperationW(&op);
    printf("contract: %d checks, %d failed\n", checks, failures);
    return failures ? 1 : 0;
}
