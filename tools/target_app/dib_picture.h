// A device-independent bitmap as the clipboard's CF_DIB holds it, for the
// target application's clipboard and the benchmarks.
#pragma once

#include <windows.h>

#include <cstdint>
#include <cstring>
#include <vector>

// A 32-bit bottom-up picture of `width` x `height` pixels: the header, then
// the pixels in a pattern that repeats no row. Empty when the bytes would
// not fit in memory here.
inline std::vector<unsigned char> dib_picture(std::uint32_t width, std::uint32_t height) {
    BITMAPINFOHEADER header{};
    const std::uint64_t pixel_bytes = std::uint64_t{width} * height * 4;
    if (width > 0x7FFFFFFF || height > 0x7FFFFFFF || pixel_bytes > 0x40000000)
        return {};
    header.biSize = sizeof header;
    header.biWidth = static_cast<LONG>(width);
    header.biHeight = static_cast<LONG>(height);
    header.biPlanes = 1;
    header.biBitCount = 32;
    header.biCompression = BI_RGB;
    std::vector<unsigned char> bytes(sizeof header + static_cast<std::size_t>(pixel_bytes));
    std::memcpy(bytes.data(), &header, sizeof header);
    for (std::size_t i = sizeof header; i < bytes.size(); ++i)
        bytes[i] = static_cast<unsigned char>((i * 7 + i / 256) & 0xFF);
    return bytes;
}
