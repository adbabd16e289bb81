#include "settings/ini_document.h"

#include <utility>

#include "runtime/gbk.h"

namespace tq {

namespace {

// The platform decodes the file with code page 936, in which a lead byte (81..FE) takes the
// byte after it whatever that is, unless it is a NUL: a stray lead byte swallows a following
// '=', ']', quote, blank or line end. Scanning in the same units (GbkUnitAt) keeps every
// line, name and value where the platform sees them, and no trail byte (40..FE: '[', ']',
// '\\', letters) is taken for a character of its own. A GB18030 four-byte character is two
// such units for the platform; it is kept as one character here, so that the program's own
// text survives.
unsigned char ByteAt(std::string_view text, size_t i) {
    return i < text.size() ? static_cast<unsigned char>(text[i]) : 0;
}

size_t UnitLength(std::string_view text, size_t i) { return GbkUnitAt(text, i).length; }

// Ctrl-Z counts as a blank: it is the old end-of-file mark.
constexpr bool IsBlank(char c) {
    return c == ' ' || c == '\t' || c == '\v' || c == '\f' || c == '\x1A';
}

// Without blanks at either end, scanning in units.
std::string_view Trim(std::string_view text) {
    size_t first = text.size(), last = 0;
    for (size_t i = 0; i < text.size();) {
        const size_t n = UnitLength(text, i);
        if (n > 1 || !IsBlank(text[i])) {
            if (first == text.size()) first = i;
            last = i + n;
        }
        i += n;
    }
    return first == text.size() ? std::string_view() : text.substr(first, last - first);
}

// The first (or last) unit that is the single byte c, or npos.
size_t FindUnit(std::string_view text, char c, bool last = false) {
    size_t found = std::string_view::npos;
    for (size_t i = 0; i < text.size(); i += UnitLength(text, i)) {
        if (text[i] == c) {
            found = i;
            if (!last) break;
        }
    }
    return found;
}

// The text as the platform holds it: up to the first NUL, with every unit that is not a
// whole character replaced by '?'.
std::string AsShown(std::string_view text) {
    std::string shown;
    for (size_t i = 0; i < text.size() && text[i] != '\0';) {
        const GbkUnit unit = GbkUnitAt(text, i);
        const size_t n = unit.length;
        if (IsWholeCharacter(unit.kind)) {
            shown.append(text.substr(i, n));
        } else {
            shown += '?';
        }
        i += n;
    }
    return shown;
}

// Names compare unit by unit: single bytes without ASCII case, other characters exactly
// (the platform folds no letters but ASCII ones, not even full-width ones).
bool SameName(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size();) {
        const size_t n = UnitLength(a, i);
        if (UnitLength(b, i) != n) return false;
        if (n == 1) {
            auto lower = [](unsigned char c) { return c >= 'A' && c <= 'Z' ? c + 32 : c; };
            if (lower(ByteAt(a, i)) != lower(ByteAt(b, i))) return false;
        } else if (a.substr(i, n) != b.substr(i, n)) {
            return false;
        }
        i += n;
    }
    return true;
}

// UTF-8 to UTF-16 as Wine decodes it: an invalid sequence becomes one U+FFFD and takes no
// ASCII byte (no line end) with it. A lead byte with a continuation byte that cannot follow it
// (overlong, surrogate, past U+10FFFF) is one invalid sequence, and so is a sequence that the
// end of the file cuts short, whatever bytes it holds: both as Wine has them.
std::u16string DecodeUtf8(std::string_view text) {
    std::u16string out;
    for (size_t i = 0; i < text.size();) {
        const unsigned char c = ByteAt(text, i);
        size_t length = 1;
        char32_t code = c;
        unsigned char low = 0x80, high = 0xBF;  // where the second byte must lie
        if (c >= 0xC2 && c <= 0xDF) {
            length = 2, code = c & 0x1F;
        } else if (c >= 0xE0 && c <= 0xEF) {
            length = 3, code = c & 0x0F;
            if (c == 0xE0) low = 0xA0;
            if (c == 0xED) high = 0x9F;
        } else if (c >= 0xF0 && c <= 0xF4) {
            length = 4, code = c & 0x07;
            if (c == 0xF0) low = 0x90;
            if (c == 0xF4) high = 0x8F;
        } else if (c >= 0x80) {
            length = 0;  // a continuation byte or a lead byte no character starts with
        }
        if (length > 1 && i + length > text.size()) {  // cut short by the file's end
            out += u'\xFFFD';
            break;
        }
        size_t taken = 1;
        while (taken < length) {
            const unsigned char next = ByteAt(text, i + taken);  // 0 past the end
            if (next < 0x80 || next > 0xBF) break;
            ++taken;
            if (next < low || next > high) {
                length = 0;
                break;
            }
            code = code << 6 | (next & 0x3F);
            low = 0x80, high = 0xBF;
        }
        AppendUtf16(out, taken == length ? code : U'\xFFFD');
        i += taken;
    }
    return out;
}

// An odd last byte is completed with a zero byte. (Wine completes it with whatever byte lies
// past the file's end in its memory, so the character it reads there varies from read to read.)
std::u16string DecodeUtf16(std::string_view bytes, bool big_endian) {
    std::u16string out;
    for (size_t i = 0; i < bytes.size(); i += 2) {
        const unsigned first = ByteAt(bytes, i), second = ByteAt(bytes, i + 1);
        out += static_cast<char16_t>(big_endian ? first << 8 | second : second << 8 | first);
    }
    return out;
}

// UTF-16 as UTF-8; a surrogate without its other half as U+FFFD.
std::string EncodeUtf8(std::u16string_view text) {
    std::string out;
    out.reserve(text.size());
    for (size_t i = 0; i < text.size(); ++i) {
        char32_t c = text[i];
        if (c >= 0xD800 && c < 0xDC00 && i + 1 < text.size() && text[i + 1] >= 0xDC00 &&
            text[i + 1] < 0xE000) {
            c = 0x10000 + ((c - 0xD800) << 10) + (text[++i] - 0xDC00);
        } else if (c >= 0xD800 && c < 0xE000) {
            c = 0xFFFD;
        }
        if (c < 0x80) {
            out += static_cast<char>(c);
        } else if (c < 0x800) {
            out += static_cast<char>(0xC0 | c >> 6);
            out += static_cast<char>(0x80 | (c & 0x3F));
        } else if (c < 0x10000) {
            out += static_cast<char>(0xE0 | c >> 12);
            out += static_cast<char>(0x80 | (c >> 6 & 0x3F));
            out += static_cast<char>(0x80 | (c & 0x3F));
        } else {
            out += static_cast<char>(0xF0 | c >> 18);
            out += static_cast<char>(0x80 | (c >> 12 & 0x3F));
            out += static_cast<char>(0x80 | (c >> 6 & 0x3F));
            out += static_cast<char>(0x80 | (c & 0x3F));
        }
    }
    return out;
}

std::string EncodeUtf16(std::u16string_view text, bool big_endian) {
    std::string out;
    out.reserve(text.size() * 2);
    for (const char16_t c : text) {
        const char high = static_cast<char>(c >> 8), low = static_cast<char>(c & 0xFF);
        out += big_endian ? high : low;
        out += big_endian ? low : high;
    }
    return out;
}

}  // namespace

// One line of the text, found where it stands, its names and value still as in the file.
struct IniDocument::Line {
    enum class Kind { Blank, Section, Key };
    size_t begin = 0, end = 0;  // the line without its line end
    size_t next = 0;            // where the next line starts
    Kind kind = Kind::Blank;
    std::string_view name;  // trimmed; AsShown gives it as the platform compares it
    bool has_value = false;
    std::string_view value;  // trimmed, quotes not yet removed

    bool HasLineEnd() const { return next > end; }
    bool IsComment() const { return !name.empty() && (name[0] == ';' || name[0] == '#'); }

    // The line that starts at `begin`: it runs to the first CR or LF that is a unit of its own.
    static Line At(std::string_view text, size_t begin) {
        Line line;
        line.begin = begin;
        size_t i = begin;
        while (i < text.size() && text[i] != '\r' && text[i] != '\n') i += UnitLength(text, i);
        line.end = line.next = i;
        if (i < text.size()) line.next += text.compare(i, 2, "\r\n") == 0 ? 2 : 1;

        const std::string_view trimmed = Trim(text.substr(begin, line.end - begin));
        if (trimmed.empty()) return line;
        // A section header runs from '[' to the last ']' on the line; text after it is
        // ignored. A '[' line without ']' is a key line like any other.
        if (trimmed[0] == '[') {
            const size_t close = FindUnit(trimmed, ']', true);
            if (close != std::string_view::npos) {
                line.kind = Kind::Section;
                line.name = Trim(trimmed.substr(1, close - 1));
                return line;
            }
        }
        // Everything else is a key, comments included: ";x=1" is the key ";x".
        line.kind = Kind::Key;
        const size_t equals = FindUnit(trimmed, '=');
        line.name = Trim(trimmed.substr(0, equals));
        if (equals != std::string_view::npos) {
            line.has_value = true;
            line.value = Trim(trimmed.substr(equals + 1));
        }
        return line;
    }
};

IniDocument IniDocument::Parse(std::string bytes, Utf16ToText to_text, TextToUtf16 to_utf16) {
    IniDocument document;
    document.to_utf16_ = to_utf16;
    const std::string_view view = bytes;
    if (view.substr(0, 2) == "\xFF\xFE" || view.substr(0, 2) == "\xFE\xFF") {
        const bool big_endian = view[0] == '\xFE';
        document.encoding_ = big_endian ? Encoding::Utf16Be : Encoding::Utf16Le;
        document.text_ = to_text(DecodeUtf16(view.substr(2), big_endian));
    } else if (view.substr(0, 3) == "\xEF\xBB\xBF") {
        document.encoding_ = Encoding::Utf8;
        document.text_ = to_text(DecodeUtf8(view.substr(3)));
    } else {
        document.text_ = std::move(bytes);
    }
    return document;
}

// The part before the first header is a section without a name; only the first part with a
// matching name is ever read.
std::optional<IniDocument::Range> IniDocument::FindSection(std::string_view section) const {
    for (const auto& [name, range] : found_sections_) {
        if (name == section) return range;
    }
    std::optional<Range> found;
    if (section.empty()) found = Range{std::string_view::npos, 0, text_.size()};
    for (size_t at = 0; at < text_.size();) {
        const Line line = Line::At(text_, at);
        if (line.kind == Line::Kind::Section) {
            if (found) {
                found->end = at;
                break;
            }
            if (SameName(AsShown(line.name), section)) found = Range{at, line.next, text_.size()};
        }
        at = line.next;
    }
    found_sections_.emplace_back(section, found);
    return found;
}

std::optional<IniDocument::Line> IniDocument::FindKey(const Range& range,
                                                      std::string_view key) const {
    for (size_t at = range.begin; at < range.end;) {
        const Line line = Line::At(text_, at);
        if (line.kind == Line::Kind::Key && SameName(AsShown(line.name), key)) return line;
        at = line.next;
    }
    return std::nullopt;
}

std::optional<std::string> IniDocument::Find(std::string_view section, std::string_view key) const {
    const std::optional<Range> range = FindSection(section);
    if (!range) return std::nullopt;
    const std::optional<Line> line = FindKey(*range, key);
    if (!line || !line->has_value) return std::nullopt;
    const std::string value = AsShown(line->value);
    if (value.size() >= 2 && (value[0] == '"' || value[0] == '\'') && value.back() == value[0]) {
        return value.substr(1, value.size() - 2);
    }
    return value;
}

void IniDocument::Insert(size_t at, std::string_view line) {
    text_.insert(at, line);
    found_sections_.clear();
}

void IniDocument::Set(std::string_view section, std::string_view key, std::string_view value) {
    std::string written(key);
    written += '=';
    for (size_t i = 0; i < value.size() && value[i] != '\r' && value[i] != '\n';) {
        const GbkUnit unit = GbkUnitAt(value, i);
        const size_t n = unit.length;
        if (value[i] == '\0') break;
        if (IsWholeCharacter(unit.kind)) {
            written.append(value.substr(i, n));
        } else {
            written += '?';
        }
        i += n;
    }
    written += "\r\n";

    const std::optional<Range> range = FindSection(section);
    if (!range) {
        // After the last line, which is given a line end if it has none.
        std::string added;
        for (size_t at = 0; at < text_.size();) {
            const Line line = Line::At(text_, at);
            if (line.next == text_.size() && !line.HasLineEnd()) added = "\r\n";
            at = line.next;
        }
        added.append(1, '[').append(section).append("]\r\n").append(written);
        Insert(text_.size(), added);
        return;
    }
    if (const std::optional<Line> line = FindKey(*range, key)) {
        text_.replace(line->begin, line->next - line->begin, written);
        found_sections_.clear();
        return;
    }
    // After the section's last line that is neither blank nor a comment, else after its
    // header (at the file's start for the part before any section): a comment just above the
    // next section's header is taken to be about that section and stays with it.
    std::optional<Line> before;
    if (range->header != std::string_view::npos) before = Line::At(text_, range->header);
    for (size_t at = range->begin; at < range->end;) {
        const Line line = Line::At(text_, at);
        if (line.kind == Line::Kind::Key && !line.IsComment()) before = line;
        at = line.next;
    }
    if (!before) {
        Insert(0, written);
    } else {
        Insert(before->next, before->HasLineEnd() ? written : "\r\n" + written);
    }
}

std::string IniDocument::Bytes() const {
    switch (encoding_) {
        case Encoding::Utf16Le:
            return "\xFF\xFE" + EncodeUtf16(to_utf16_(text_), false);
        case Encoding::Utf16Be:
            return "\xFE\xFF" + EncodeUtf16(to_utf16_(text_), true);
        case Encoding::Utf8:
            return "\xEF\xBB\xBF" + EncodeUtf8(to_utf16_(text_));
        case Encoding::Text:
            break;
    }
    return text_;
}

}  // namespace tq
