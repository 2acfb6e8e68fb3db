// The host's key-value store, reached through "kvstore_read" and
// "kvstore_store".
#pragma once

#include "contract/host_interface.h"

#include <stdexcept>
#include <string>

namespace KVStore {

class KVStore_exception : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// The stored value. Throws std::invalid_argument for an empty key and
// KVStore_exception when the host gives no list or no usable "result".
std::wstring read(Interaction_if* host, const std::wstring& key);
// Throws like read when the key is empty or the host gives no list.
void store(Interaction_if* host, const std::wstring& key, const std::wstring& value);
// The stored value; when reading fails in any way, `fallback` is stored
// under the key and returned.
std::wstring read_with_default(Interaction_if* host, const std::wstring& key,
                               const std::wstring& fallback);

} // namespace KVStore
