#include "interpreters/kv_store.h"

#include "contract/parameter_values.h"
#include "trace/trace.h"

namespace KVStore {
namespace {

Param::Owned_parameters request_list(Interaction_if* host, const std::wstring& key) {
    if (key.empty())
        throw std::invalid_argument("requested key must be non empty string");
    Param::Owned_parameters list = host ? Param::create(host) : nullptr;
    if (!list)
        throw KVStore_exception("Failed to create parameter list in interaction");
    Param::write_text(list.get(), L"key", key);
    return list;
}

} // namespace

std::wstring read(Interaction_if* host, const std::wstring& key) {
    Param::Owned_parameters list = request_list(host, key);
    Param::send(host, L"kvstore_read", list.get());
    const void* data = nullptr;
    unsigned int size = 0;
    if (!list->get(L"result", &data, &size))
        throw KVStore_exception("requested unknown key");
    // A text has whole UTF-16 code units; anything else is not a value of ours.
    if ((size > 0 && !data) || size % sizeof(wchar_t) != 0)
        throw KVStore_exception("kv_store returned invalid object");
    return Param::read_text(list.get(), L"result");
}

void store(Interaction_if* host, const std::wstring& key, const std::wstring& value) {
    Param::Owned_parameters list = request_list(host, key);
    Param::write_text(list.get(), L"value", value);
    Param::send(host, L"kvstore_store", list.get());
}

std::wstring read_with_default(Interaction_if* host, const std::wstring& key,
                               const std::wstring& fallback) {
    try {
        return read(host, key);
    } catch (const std::exception& e) {
        Trace::info("KVStore::read_with_default")
            << key << L": " << e.what() << "; storing the default";
    }
    store(host, key, fallback);
    return fallback;
}

} // namespace KVStore
