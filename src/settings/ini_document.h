// setting.ini held in memory as the program's own GBK bytes: read once, looked up as Wine's
// GetPrivateProfileStringA under code page 936 reads it, changed in place and written back
// whole. Every line the program does not write keeps its bytes. Portable: no platform calls,
// the one conversion it needs (UTF-16 to the program's text) is passed in.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tq {

// Converts UTF-16 text to the program's GBK/GB18030 bytes; used only for files with a
// byte-order mark.
using Utf16ToText = std::string (*)(std::u16string_view);

class IniDocument {
public:
    // The file's bytes as read. A file that starts with a UTF-16 LE or BE byte-order mark, or
    // a UTF-8 one, is converted to UTF-16 here (an odd last byte completed with a zero byte,
    // each invalid UTF-8 sequence as one U+FFFD) and then through `to_text`; any other bytes are
    // taken as GBK as they are.
    static IniDocument Parse(std::string_view bytes, Utf16ToText to_text);

    // The value the platform reads for that section and key, or nullopt where it returns the
    // default: no such section (only the first part of a repeated section counts), no such
    // key in it (only the first of repeated keys counts), or that key's line has no '='.
    // Names are given without surrounding blanks; letters compare without case (ASCII only).
    // Blanks (space, tab, VT, FF, Ctrl-Z) around the value are trimmed, then one pair of
    // matching enclosing quotes (" or ') is removed; the value ends at a NUL byte. Bytes that
    // are not a whole GBK or GB18030 character come back as '?', as the platform shows them.
    std::optional<std::string> Find(std::string_view section, std::string_view key) const;

    // Writes `key=value` where the key's line stands (the line Find reads), else as a new
    // line after the section's last key line that is not a comment (';' or '#' first) or
    // after its header, else as a new `[section]` at the end of the file. Lines written end in CR
    // LF. A value cannot span lines: it is cut at its first CR, LF or NUL, as the platform would
    // read it back; bytes that are not a whole character are written as '?', so that no stray lead
    // byte takes the line end with it. Section and key are the program's own names: whole
    // characters, no blanks at either end, no line end or NUL, and a key with no '=' and not
    // starting with '[' (such names could not be read back).
    void Set(std::string_view section, std::string_view key, std::string_view value);

    // The complete file: GBK, with no byte-order mark even when the file read had one.
    std::string Bytes() const;

private:
    enum class Kind { Blank, Section, Key };
    struct Line {
        std::string text;  // as in the file, without its line end
        std::string end;   // "\r\n", "\n", "\r", or "" for a last line without one
        Kind kind = Kind::Blank;
        std::string name;  // section or key name as the platform compares it
        bool has_value = false;
        std::string value;  // trimmed, as the platform shows it, quotes not yet removed
    };
    struct Range {
        size_t header;  // the section's header line; npos for the part before any section
        size_t begin, end;
    };

    static Line MakeLine(std::string text, std::string end);
    std::optional<Range> FindSection(std::string_view section) const;
    std::optional<size_t> FindKey(const Range& range, std::string_view key) const;

    std::vector<Line> lines_;
};

}  // namespace tq
