// setting.ini held in memory as the program's own GBK bytes: read once, looked up as Wine's
// GetPrivateProfileStringA under code page 936 reads it, changed in place and written back
// whole. Every line the program does not write keeps its bytes. The document is the file's
// text and nothing more: each look-up scans it, so that a file of any size and shape costs
// about its own size in memory. Portable: no platform calls, the two conversions it needs
// (UTF-16 to the program's text and back) are passed in.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace tq {

// Convert UTF-16 text to the program's GBK/GB18030 bytes and back; used only for files with
// a byte-order mark.
using Utf16ToText = std::string (*)(std::u16string_view);
using TextToUtf16 = std::u16string (*)(std::string_view);

class IniDocument {
public:
    // The file's bytes as read. A file that starts with a UTF-16 LE or BE byte-order mark, or
    // a UTF-8 one, is converted to UTF-16 here (an odd last byte completed with a zero byte;
    // invalid UTF-8 as U+FFFD, counted as Wine counts them) and then through `to_text`; any
    // other bytes are taken as GBK as they are. Lines end at CR LF, LF or CR alone. `to_utf16`
    // writes such a file back in its own encoding (see Bytes).
    static IniDocument Parse(std::string bytes, Utf16ToText to_text, TextToUtf16 to_utf16);

    // The value the platform reads for that section and key, or nullopt where it returns the
    // default: no such section, no such key in it, or the key's line has no '='.
    // - A line is a header when, blanks skipped, it starts with '[' and has a ']': the name
    //   runs to the last ']', blanks trimmed; the rest of the line is ignored. Every other
    //   line that is not blank is a key line, those starting with ';' or '#' included.
    // - Only the first part of a repeated section is read, and only the first line of a
    //   repeated key (if it has no '=', the default). Section "" is the part before the first
    //   header.
    // - Names compare without case for ASCII letters only. Blanks are space, tab, VT, FF and
    //   Ctrl-Z (not the full-width A1A1); they are trimmed around names and values, then one
    //   pair of matching quotes (" or ') enclosing the value is removed.
    // - Names and values end at a NUL byte. Text is scanned in GBK characters: a lead byte
    //   takes the byte after it even when that is '=', a quote, a blank or a line end, and such
    //   a pair reads as '?', as the platform shows it. A GB18030 four-byte character is kept
    //   (the platform shows "??").
    // Section and key are given without blanks around them.
    std::optional<std::string> Find(std::string_view section, std::string_view key) const;

    // Writes `key=value` where the key's line stands (the line Find reads), else as a new line
    // after the section's last key line that is not a comment (';' or '#' first) or after its
    // header, else as `[section]` and the key at the end of the file, after a CR LF if the file
    // does not end with a line end. Lines written end in CR LF; no other line changes. A value
    // cannot span lines: it is cut at its first CR, LF or NUL, as the platform would read it
    // back, and bytes that are not a whole character are written as '?', so that no stray lead
    // byte takes the line end with it. Leading and trailing blanks and quotes are written as
    // they are (and read back trimmed, as with the platform). Section and key are the
    // program's own names: whole characters, no blanks at either end, no line end or NUL, and
    // a key with no '=' and not starting with '[' (such names could not be read back).
    void Set(std::string_view section, std::string_view key, std::string_view value);

    // The complete file. A file read with a byte-order mark is written back as the platform
    // writes such a file: in the same encoding (UTF-16 LE, UTF-16 BE or UTF-8), mark first;
    // any other file as the program's GBK bytes.
    std::string Bytes() const;

private:
    enum class Encoding { Text, Utf16Le, Utf16Be, Utf8 };
    // A section found in the text: byte offsets of its header line (npos for the part before
    // any section) and of the lines that follow it up to the next header.
    struct Range {
        size_t header;
        size_t begin, end;
    };
    struct Line;

    std::optional<Range> FindSection(std::string_view section) const;
    std::optional<Line> FindKey(const Range& range, std::string_view key) const;
    void Insert(size_t at, std::string_view line);

    std::string text_;  // GBK, without a byte-order mark
    Encoding encoding_ = Encoding::Text;
    TextToUtf16 to_utf16_ = nullptr;
    // The sections looked up since the text last changed: start-up asks for a handful of
    // sections some forty times, and each look-up would otherwise scan the whole file.
    mutable std::vector<std::pair<std::string, std::optional<Range>>> found_sections_;
};

}  // namespace tq
