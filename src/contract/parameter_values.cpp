#include "contract/parameter_values.h"

#include <cstring>

namespace Param {
namespace {

bool get_bytes(Parameters* list, const wchar_t* key, const void** data, unsigned int* size) {
    *data = nullptr;
    *size = 0;
    if (!list)
        return false;
    return list->get(key, data, size) && *data != nullptr;
}

template <class T> T read_exact(Parameters* list, const wchar_t* key, T fallback) {
    const void* data;
    unsigned int size;
    if (!get_bytes(list, key, &data, &size) || size != sizeof(T))
        return fallback;
    T value;
    std::memcpy(&value, data, sizeof(T));
    return value;
}

} // namespace

bool read_flag(Parameters* list, const wchar_t* key, bool fallback) {
    return read_exact<std::uint8_t>(list, key, fallback ? 1 : 0) != 0;
}

std::uint32_t read_u32(Parameters* list, const wchar_t* key, std::uint32_t fallback) {
    return read_exact<std::uint32_t>(list, key, fallback);
}

std::uint16_t read_u16(Parameters* list, const wchar_t* key, std::uint16_t fallback) {
    return read_exact<std::uint16_t>(list, key, fallback);
}

std::wstring read_text(Parameters* list, const wchar_t* key, const std::wstring& fallback) {
    const void* data;
    unsigned int size;
    if (!get_bytes(list, key, &data, &size))
        return fallback;
    std::wstring text(size / sizeof(wchar_t), L'\0');
    if (!text.empty())
        std::memcpy(&text[0], data, text.size() * sizeof(wchar_t));
    while (!text.empty() && text.back() == L'\0')
        text.pop_back();
    return text;
}

bool has_value(Parameters* list, const wchar_t* key) {
    const void* data;
    unsigned int size;
    return get_bytes(list, key, &data, &size);
}

void write_flag(Parameters* list, const wchar_t* key, bool value) {
    if (!list)
        return;
    std::uint8_t byte = value ? 1 : 0;
    list->set(key, &byte, 1);
}

void write_u32(Parameters* list, const wchar_t* key, std::uint32_t value) {
    if (list)
        list->set(key, &value, sizeof value);
}

void write_u16(Parameters* list, const wchar_t* key, std::uint16_t value) {
    if (list)
        list->set(key, &value, sizeof value);
}

void write_text(Parameters* list, const wchar_t* key, const std::wstring& value) {
    if (list)
        list->set(key, value.c_str(),
                  static_cast<unsigned int>((value.size() + 1) * sizeof(wchar_t)));
}

Owned_parameters create(Interaction_if* host) {
    return Owned_parameters(host ? host->create_parameters() : nullptr);
}

void send(Interaction_if* host, const std::wstring& name, Parameters* list) {
    if (host && list)
        host->send(name.c_str(), static_cast<unsigned int>(name.size()), list);
}

} // namespace Param
