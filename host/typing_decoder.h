// Typing data as the host reads it: characters to type and control elements
// (key press, key down, key up, pause, link record, image record), each
// started by one code unit from U+0001 to U+0005.
//
// A control element that does not parse (a truncated element, a digit that is
// not hexadecimal, a record longer than the data) is traced; its marker
// becomes an `invalid` element and the code units after it are read as
// characters again, so nothing the plug-in sent is lost.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

struct Typing_element {
    enum class Kind { text, key_press, key_down, key_up, pause, link, image, invalid };
    Kind kind = Kind::text;
    std::wstring text;   // characters; link first part; image reference
    std::wstring second; // link second part
    std::uint8_t virtual_key = 0;
    std::uint16_t milliseconds = 0;
    wchar_t marker = 0; // for invalid: the marker that did not parse

    bool operator==(const Typing_element& other) const {
        return kind == other.kind && text == other.text && second == other.second &&
               virtual_key == other.virtual_key && milliseconds == other.milliseconds &&
               marker == other.marker;
    }
};

namespace Typing_decoder {

// Consecutive characters form one text element.
std::vector<Typing_element> decode(const std::wstring& data);

// One line that a reviewer can read: characters as they are, control elements
// as <press 25>, <down 11>, <up 11> (hex virtual key), <pause 500> (decimal
// milliseconds), <link FIRST|SECOND>, <image REF>, <invalid U+0001>; "<" as
// <lt>, tab as <tab>, carriage return as <return>, line feed as <newline>,
// other control characters as <U+XXXX>.
std::wstring visible_form(const std::wstring& data);

// What a link or image record types: the first part, then the second part in
// parentheses when there is one; an image's reference.
std::wstring record_text(const Typing_element& element);

} // namespace Typing_decoder
