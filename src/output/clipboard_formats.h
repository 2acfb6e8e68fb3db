// Clipboard formats: the text formats the plug-in reads, how the data of any
// format is held (and so copied and freed), and the formats that keep our
// transient content out of clipboard history and clipboard monitors.
#pragma once

#include "contract/unique_handle.h"

#include <windows.h>

#include <cstdint>
#include <map>
#include <string>
#include <vector>

namespace Clipboard_formats {

constexpr std::uint32_t unicode_text = CF_UNICODETEXT;

// Identifiers RegisterClipboardFormat hands out; only these have a name.
constexpr std::uint32_t registered_first = 0xC000;
constexpr std::uint32_t registered_last = 0xFFFF;

// How every block we put on the clipboard is allocated: the clipboard
// takes only moveable blocks, and shares them with other processes.
constexpr UINT block_flags = GMEM_MOVEABLE | GMEM_SHARE;

// Identifier of the registered "HTML Format", kept process-wide by the
// plug-in core.
std::uint32_t html();

// What a format's handle is. Everything else than a memory block has its own
// copy and free functions; `uncopyable` data belongs to its owner alone
// (owner-drawn, private handles, GDI objects the system cannot name).
enum class Kind { memory, bitmap, enhanced_metafile, metafile_picture, palette, uncopyable };
Kind kind_of(std::uint32_t format);

// "CF_DIB", "CF_OWNERDISPLAY", a registered name, or the number.
std::wstring format_name(std::uint32_t format);

// Registered "ExcludeClipboardContentFromMonitorProcessing",
// "CanIncludeInClipboardHistory" and "CanUploadToCloudClipboard"; 0 for a
// name that could not be registered.
std::vector<std::uint32_t> history_exclusion_formats();

// Upper bound of one saved clipboard: a 32-bit host has 2 GB of address
// space, and the saved copy lives beside the clipboard's own.
constexpr std::uint64_t backup_cap = 256ull << 20;

} // namespace Clipboard_formats

// Frees a clipboard object the way its kind requires.
struct Clipboard_object_traits {
    using type = HANDLE;
    Clipboard_formats::Kind kind = Clipboard_formats::Kind::memory;
    static type invalid() { return nullptr; }
    void close(type object) const;
};
using Clipboard_object = Unique_handle<Clipboard_object_traits>;

// One clipboard format with a private copy of its data. The copy is owned
// here until the clipboard accepts it; a record never holds a null object.
struct Saved_format {
    std::uint32_t format = 0;
    Clipboard_object data;
    std::uint64_t size = 0; // bytes the copy takes
};

// A whole clipboard, in the order the system listed its formats.
using Clipboard_snapshot = std::vector<Saved_format>;

// A copy of a clipboard object of the given format; empty when it cannot be
// made (no memory, a handle of the wrong kind). `size` gets the bytes it takes.
Clipboard_object copy_clipboard_object(std::uint32_t format, HANDLE source, std::uint64_t& size);
// The bytes a clipboard object takes, without copying it.
std::uint64_t clipboard_object_size(std::uint32_t format, HANDLE object);
// True when `size` more bytes keep `total` within `cap`; then adds them. Never
// wraps, also where size_t is 32 bits.
bool add_within(std::uint64_t& total, std::uint64_t size, std::uint64_t cap);

// Format identifier -> raw bytes, iterated in ascending identifier order.
using Clipboard_data = std::map<std::uint32_t, std::vector<std::uint8_t>>;
