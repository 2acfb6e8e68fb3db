#include "contract/letter_case.h"

namespace Letter_case {

wchar_t lower(wchar_t c) noexcept {
    const unsigned u = c;
    if ((u >= 'A' && u <= 'Z') || (u >= 0xC0 && u <= 0xDE && u != 0xD7))
        return static_cast<wchar_t>(u + 0x20);
    if (u < 0x100)
        return c;
    // Latin Extended-A pairs upper/lower as even/odd, except 0x139-0x148 and
    // 0x179-0x17E (odd/even); 0x130, 0x131, 0x138, 0x149 and 0x17F have no
    // simple partner; 0x178 is the capital of 0xFF.
    if (u == 0x178)
        return static_cast<wchar_t>(0xFF);
    if ((u >= 0x139 && u <= 0x148) || (u >= 0x179 && u <= 0x17E))
        return (u & 1) ? static_cast<wchar_t>(u + 1) : c;
    if (u >= 0x100 && u <= 0x177 && u != 0x130 && u != 0x138)
        return (u & 1) ? c : static_cast<wchar_t>(u + 1);
    if (u >= 0x391 && u <= 0x3A9 && u != 0x3A2)
        return static_cast<wchar_t>(u + 0x20);
    if (u >= 0x410 && u <= 0x42F)
        return static_cast<wchar_t>(u + 0x20);
    if (u >= 0x400 && u <= 0x40F)
        return static_cast<wchar_t>(u + 0x50);
    return c;
}

wchar_t upper(wchar_t c) noexcept {
    const unsigned u = c;
    if ((u >= 'a' && u <= 'z') || (u >= 0xE0 && u <= 0xFE && u != 0xF7))
        return static_cast<wchar_t>(u - 0x20);
    if (u == 0xFF)
        return static_cast<wchar_t>(0x178);
    if (u < 0x100)
        return c;
    if ((u >= 0x13A && u <= 0x148) || (u >= 0x17A && u <= 0x17E))
        return (u & 1) ? c : static_cast<wchar_t>(u - 1);
    if (u >= 0x101 && u <= 0x177 && u != 0x131 && u != 0x138 && u != 0x149)
        return (u & 1) ? static_cast<wchar_t>(u - 1) : c;
    if (u >= 0x3B1 && u <= 0x3C9 && u != 0x3C2)
        return static_cast<wchar_t>(u - 0x20);
    if (u >= 0x430 && u <= 0x44F)
        return static_cast<wchar_t>(u - 0x20);
    if (u >= 0x450 && u <= 0x45F)
        return static_cast<wchar_t>(u - 0x50);
    return c;
}

} // namespace Letter_case
