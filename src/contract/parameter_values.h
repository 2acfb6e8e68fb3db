// Value conventions on top of Parameters::get and Parameters::set, shared by
// every component (and by the reference host, which must read the same bytes):
// a flag is exactly 1 byte, a number exactly 4 bytes, a 16-bit number exactly
// 2 bytes; any other size reads as the caller's default. A text is UTF-16,
// written with its terminating NUL counted and read with trailing NULs dropped.
#pragma once

#include "contract/host_interface.h"
#include "contract/owned_filter.h"

#include <cstdint>
#include <memory>
#include <string>

namespace Param {

bool read_flag(Parameters* list, const wchar_t* key, bool fallback);
std::uint32_t read_u32(Parameters* list, const wchar_t* key, std::uint32_t fallback);
std::uint16_t read_u16(Parameters* list, const wchar_t* key, std::uint16_t fallback);
std::wstring read_text(Parameters* list, const wchar_t* key, const std::wstring& fallback = {});
// True when the entry is present with data of any size.
bool has_value(Parameters* list, const wchar_t* key);

void write_flag(Parameters* list, const wchar_t* key, bool value);
void write_u32(Parameters* list, const wchar_t* key, std::uint32_t value);
void write_u16(Parameters* list, const wchar_t* key, std::uint16_t value);
void write_text(Parameters* list, const wchar_t* key, const std::wstring& value);

// Parameters from Interaction_if::create_parameters belong to the caller.
using Owned_parameters = std::unique_ptr<Parameters, Slot_deleter>;

Owned_parameters create(Interaction_if* host);

// Sends a request: the list may be null when the host handed out none.
void send(Interaction_if* host, const std::wstring& name, Parameters* list);

} // namespace Param
