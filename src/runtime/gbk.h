// How the program's GBK bytes divide into characters, the one rule every scan of a text
// follows (the settings file, number and date reading, cutting a text to a length, the file
// dialog's filter, the conversion to UTF-16), and GB18030's four-byte sequences with their code
// points. Portable: pure computation.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace tq {

// What the bytes at one place of a text are.
enum class GbkUnitKind {
    Single,     // a byte below 81, or FF
    Pair,       // a lead byte (81..FE) and a byte that can follow it (40..FE, not 7F)
    FourBytes,  // GB18030's lead, digit, lead, digit
    LoneLead,   // a lead byte at the end of the text or before a NUL: nothing to take
    OddPair,    // a lead byte and any other byte after it: taken all the same
};

// Whether code page 936 decodes the unit to a character of its own; it shows a lone lead byte
// or an odd pair as '?'. (A four-byte character is two odd pairs to code page 936, but a
// character to GB18030 and to the program.)
constexpr bool IsWholeCharacter(GbkUnitKind kind) {
    return kind != GbkUnitKind::LoneLead && kind != GbkUnitKind::OddPair;
}

struct GbkUnit {
    GbkUnitKind kind;
    size_t length;  // 1, 2 or 4 bytes
};

constexpr bool IsGbkLeadByte(unsigned char b) { return b >= 0x81 && b <= 0xFE; }
constexpr bool IsGbkTrailByte(unsigned char b) { return b >= 0x40 && b <= 0xFE && b != 0x7F; }

// The unit that starts at byte i (i < text.size()). A lead byte takes the byte after it
// whatever that is (a '|', '=', quote, blank or line end), as code page 936 decodes it, except
// a NUL, which ends a zero-terminated text: a lead byte before a NUL, or at the end of the
// text, is a unit of its own. Lead, digit, lead, digit is one four-byte character; a sequence
// cut short of its four bytes is an odd pair (lead and digit) and what follows.
GbkUnit GbkUnitAt(std::string_view text, size_t i);

// The code point of a GB18030 four-byte sequence (4 bytes of kind FourBytes); U+FFFD for a
// sequence GB18030 leaves unassigned.
uint32_t DecodeFourBytes(std::string_view bytes);
// The four-byte sequence of a code point; empty when GB18030 has none for it (ASCII, a
// character of its two-byte part, a surrogate, or beyond U+10FFFF).
std::string EncodeFourBytes(uint32_t code_point);

// Appends a code point as UTF-16: one unit, or a surrogate pair beyond U+FFFF. For any string
// of 16-bit units (std::u16string, and std::wstring on Windows).
template <typename Utf16String>
void AppendUtf16(Utf16String& out, uint32_t code_point) {
    using Unit = typename Utf16String::value_type;
    if (code_point < 0x10000) {
        out.push_back(static_cast<Unit>(code_point));
    } else {
        code_point -= 0x10000;
        out.push_back(static_cast<Unit>(0xD800 + (code_point >> 10)));
        out.push_back(static_cast<Unit>(0xDC00 + (code_point & 0x3FF)));
    }
}

}  // namespace tq
