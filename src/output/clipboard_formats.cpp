#include "output/clipboard_formats.h"

#include "contract/plugin_globals.h"
#include "output/win_handles.h"

#include <cstring>
#include <vector>

namespace Clipboard_formats {

std::uint32_t html() {
    return Plugin_globals::html_format();
}

Kind kind_of(std::uint32_t format) {
    switch (format) {
    case CF_BITMAP:
    case CF_DSPBITMAP:
        return Kind::bitmap;
    case CF_ENHMETAFILE:
    case CF_DSPENHMETAFILE:
        return Kind::enhanced_metafile;
    case CF_METAFILEPICT:
    case CF_DSPMETAFILEPICT:
        return Kind::metafile_picture;
    case CF_PALETTE:
        return Kind::palette;
    case CF_OWNERDISPLAY:
        return Kind::uncopyable;
    default:
        if ((format >= CF_PRIVATEFIRST && format <= CF_PRIVATELAST) ||
            (format >= CF_GDIOBJFIRST && format <= CF_GDIOBJLAST))
            return Kind::uncopyable;
        return Kind::memory;
    }
}

std::wstring format_name(std::uint32_t format) {
    static const struct {
        std::uint32_t format;
        const wchar_t* name;
    } predefined[] = {
        {CF_TEXT, L"CF_TEXT"},
        {CF_BITMAP, L"CF_BITMAP"},
        {CF_METAFILEPICT, L"CF_METAFILEPICT"},
        {CF_SYLK, L"CF_SYLK"},
        {CF_DIF, L"CF_DIF"},
        {CF_TIFF, L"CF_TIFF"},
        {CF_OEMTEXT, L"CF_OEMTEXT"},
        {CF_DIB, L"CF_DIB"},
        {CF_PALETTE, L"CF_PALETTE"},
        {CF_PENDATA, L"CF_PENDATA"},
        {CF_RIFF, L"CF_RIFF"},
        {CF_WAVE, L"CF_WAVE"},
        {CF_UNICODETEXT, L"CF_UNICODETEXT"},
        {CF_ENHMETAFILE, L"CF_ENHMETAFILE"},
        {CF_HDROP, L"CF_HDROP"},
        {CF_LOCALE, L"CF_LOCALE"},
        {CF_DIBV5, L"CF_DIBV5"},
        {CF_OWNERDISPLAY, L"CF_OWNERDISPLAY"},
        {CF_DSPTEXT, L"CF_DSPTEXT"},
        {CF_DSPBITMAP, L"CF_DSPBITMAP"},
        {CF_DSPMETAFILEPICT, L"CF_DSPMETAFILEPICT"},
        {CF_DSPENHMETAFILE, L"CF_DSPENHMETAFILE"},
    };
    for (const auto& entry : predefined)
        if (entry.format == format)
            return entry.name;
    wchar_t name[256] = {};
    const bool registered = format >= registered_first && format <= registered_last;
    const int length = registered ? GetClipboardFormatNameW(format, name, 256) : 0;
    if (length > 0)
        return L"\"" + std::wstring(name, static_cast<std::size_t>(length)) + L"\"";
    return std::to_wstring(format);
}

std::vector<std::uint32_t> history_exclusion_formats() {
    // Registered once; the identifiers stay valid for the session.
    static const std::vector<std::uint32_t> formats = {
        RegisterClipboardFormatW(L"ExcludeClipboardContentFromMonitorProcessing"),
        RegisterClipboardFormatW(L"CanIncludeInClipboardHistory"),
        RegisterClipboardFormatW(L"CanUploadToCloudClipboard"),
    };
    return formats;
}

} // namespace Clipboard_formats

using Clipboard_formats::Kind;
using Output::Global_lock;

void Clipboard_object_traits::close(type object) const {
    switch (kind) {
    case Kind::bitmap:
    case Kind::palette:
        DeleteObject(object);
        break;
    case Kind::enhanced_metafile:
        DeleteEnhMetaFile(static_cast<HENHMETAFILE>(object));
        break;
    case Kind::metafile_picture: {
        // The block holds the metafile's handle, which is ours too.
        if (Global_lock lock(object); lock) {
            const auto* picture = static_cast<const METAFILEPICT*>(lock.data());
            if (picture->hMF)
                DeleteMetaFile(picture->hMF);
        }
        GlobalFree(object);
        break;
    }
    default:
        GlobalFree(object);
        break;
    }
}

bool add_within(std::uint64_t& total, std::uint64_t size, std::uint64_t cap) {
    if (total > cap || size > cap - total)
        return false;
    total += size;
    return true;
}

namespace {

using Clipboard_formats::block_flags;

// A logical palette holds at most this many entries.
constexpr std::uint64_t max_palette_entries = 256;
// LOGPALETTE's only version.
constexpr WORD palette_version = 0x300;

std::uint64_t bitmap_size(HBITMAP bitmap) {
    BITMAP info{};
    if (!GetObjectW(bitmap, sizeof info, &info))
        return 0;
    return static_cast<std::uint64_t>(static_cast<std::uint32_t>(info.bmWidthBytes)) *
           static_cast<std::uint32_t>(info.bmHeight);
}

Clipboard_object copy_memory(HANDLE source, std::uint64_t& size) {
    const SIZE_T bytes = GlobalSize(source);
    size = bytes;
    Clipboard_object copy(GlobalAlloc(block_flags, bytes));
    if (!copy || bytes == 0)
        return copy;
    Global_lock from(source);
    Global_lock to(copy.get());
    if (!from || !to)
        return nullptr; // uninitialised bytes would be worse than no copy
    std::memcpy(to.data(), from.data(), bytes);
    return copy;
}

Clipboard_object copy_metafile_picture(HANDLE source, std::uint64_t& size) {
    Global_lock from(source);
    if (!from || GlobalSize(source) < sizeof(METAFILEPICT))
        return nullptr;
    METAFILEPICT picture = *static_cast<const METAFILEPICT*>(from.data());
    size = sizeof picture + GetMetaFileBitsEx(picture.hMF, 0, nullptr);
    picture.hMF = picture.hMF ? CopyMetaFileW(picture.hMF, nullptr) : nullptr;
    if (!picture.hMF)
        return nullptr;
    Unique_global block(GlobalAlloc(block_flags, sizeof picture));
    {
        Global_lock to(block.get());
        if (!to) {
            DeleteMetaFile(picture.hMF);
            return nullptr;
        }
        std::memcpy(to.data(), &picture, sizeof picture);
    }
    return Clipboard_object(block.release(), {Kind::metafile_picture});
}

Clipboard_object copy_palette(HANDLE source, std::uint64_t& size) {
    WORD count = 0;
    if (!GetObjectW(source, sizeof count, &count) || count == 0)
        return nullptr;
    std::vector<std::uint8_t> storage(sizeof(LOGPALETTE) + count * sizeof(PALETTEENTRY));
    auto* palette = reinterpret_cast<LOGPALETTE*>(storage.data());
    palette->palVersion = palette_version;
    palette->palNumEntries = count;
    GetPaletteEntries(static_cast<HPALETTE>(source), 0, count, palette->palPalEntry);
    size = storage.size();
    return Clipboard_object(CreatePalette(palette), {Kind::palette});
}

} // namespace

std::uint64_t clipboard_object_size(std::uint32_t format, HANDLE object) {
    switch (Clipboard_formats::kind_of(format)) {
    case Kind::bitmap:
        return bitmap_size(static_cast<HBITMAP>(object));
    case Kind::enhanced_metafile:
        return GetEnhMetaFileBits(static_cast<HENHMETAFILE>(object), 0, nullptr);
    case Kind::palette:
        return max_palette_entries * sizeof(PALETTEENTRY);
    case Kind::uncopyable:
        return 0;
    default:
        return GlobalSize(object);
    }
}

Clipboard_object copy_clipboard_object(std::uint32_t format, HANDLE source, std::uint64_t& size) {
    size = 0;
    if (!source)
        return nullptr;
    switch (Clipboard_formats::kind_of(format)) {
    case Kind::bitmap:
        size = bitmap_size(static_cast<HBITMAP>(source));
        return Clipboard_object(CopyImage(source, IMAGE_BITMAP, 0, 0, 0), {Kind::bitmap});
    case Kind::enhanced_metafile:
        size = GetEnhMetaFileBits(static_cast<HENHMETAFILE>(source), 0, nullptr);
        return Clipboard_object(CopyEnhMetaFileW(static_cast<HENHMETAFILE>(source), nullptr),
                                {Kind::enhanced_metafile});
    case Kind::metafile_picture:
        return copy_metafile_picture(source, size);
    case Kind::palette:
        return copy_palette(source, size);
    case Kind::uncopyable:
        return nullptr;
    default:
        return copy_memory(source, size);
    }
}
