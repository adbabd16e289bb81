#include "settings/ini_document.h"

#include <utility>

#include "runtime/gbk.h"

namespace tq {

namespace {

// The platform decodes the file with code page 936, in which a lead byte (81..FE) takes the
// byte after it whatever that is, unless it is a NUL: a stray lead byte swallows a following
// '=', ']', quote, blank or line end. Scanning in the same units keeps every line, name and
// value where the platform sees them, and no trail byte (40..FE: '[', ']', '\\', letters) is
// taken for a character of its own. A GB18030 four-byte character is two such units for the
// platform; it is kept as one character here, so that the program's own text survives.
constexpr bool IsLead(unsigned char c) { return c >= 0x81 && c <= 0xFE; }
constexpr bool IsTrail(unsigned char c) { return c >= 0x40 && c <= 0xFE && c != 0x7F; }

unsigned char ByteAt(std::string_view text, size_t i) {
    return i < text.size() ? static_cast<unsigned char>(text[i]) : 0;
}

size_t UnitLength(std::string_view text, size_t i) { return GbkUnitAt(text, i).length; }

// A unit the platform decodes to a character of its own; any other (a lead byte alone or
// with a byte that cannot follow it) shows as '?'.
bool IsWholeCharacter(std::string_view text, size_t i, size_t length) {
    if (length == 1) return !IsLead(ByteAt(text, i));
    return length == 4 || IsTrail(ByteAt(text, i + 1));
}

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
        const size_t n = UnitLength(text, i);
        if (IsWholeCharacter(text, i, n)) {
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

}  // namespace

IniDocument IniDocument::Parse(std::string_view bytes, Utf16ToText to_text) {
    // A file with a byte-order mark is held, and written back, as the program's GBK bytes.
    std::string converted;
    if (bytes.substr(0, 2) == "\xFF\xFE" || bytes.substr(0, 2) == "\xFE\xFF") {
        converted = to_text(DecodeUtf16(bytes.substr(2), bytes[0] == '\xFE'));
        bytes = converted;
    } else if (bytes.substr(0, 3) == "\xEF\xBB\xBF") {
        converted = to_text(DecodeUtf8(bytes.substr(3)));
        bytes = converted;
    }

    IniDocument document;
    size_t start = 0;
    for (size_t i = 0; i < bytes.size();) {
        if (bytes[i] == '\r' || bytes[i] == '\n') {
            const size_t end_length = bytes.substr(i, 2) == "\r\n" ? 2 : 1;
            document.lines_.push_back(MakeLine(std::string(bytes.substr(start, i - start)),
                                               std::string(bytes.substr(i, end_length))));
            i += end_length;
            start = i;
        } else {
            i += UnitLength(bytes, i);
        }
    }
    if (start < bytes.size())
        document.lines_.push_back(MakeLine(std::string(bytes.substr(start)), ""));
    return document;
}

IniDocument::Line IniDocument::MakeLine(std::string text, std::string end) {
    Line line;
    line.text = std::move(text);
    line.end = std::move(end);
    const std::string_view trimmed = Trim(line.text);
    if (trimmed.empty()) return line;
    // A section header runs from '[' to the last ']' on the line; text after it is ignored.
    // A '[' line without ']' is a key line like any other.
    if (trimmed[0] == '[') {
        const size_t close = FindUnit(trimmed, ']', true);
        if (close != std::string_view::npos) {
            line.kind = Kind::Section;
            line.name = AsShown(Trim(trimmed.substr(1, close - 1)));
            return line;
        }
    }
    // Everything else is a key, comments included: ";x=1" is the key ";x".
    line.kind = Kind::Key;
    const size_t equals = FindUnit(trimmed, '=');
    line.name = AsShown(Trim(trimmed.substr(0, equals)));
    if (equals != std::string_view::npos) {
        line.has_value = true;
        line.value = AsShown(Trim(trimmed.substr(equals + 1)));
    }
    return line;
}

// The part before the first header is a section without a name; only the first part with a
// matching name is ever read.
std::optional<IniDocument::Range> IniDocument::FindSection(std::string_view section) const {
    std::optional<Range> found;
    if (section.empty()) found = Range{std::string_view::npos, 0, lines_.size()};
    for (size_t i = 0; i < lines_.size(); ++i) {
        if (lines_[i].kind != Kind::Section) continue;
        if (found) {
            found->end = i;
            return found;
        }
        if (SameName(lines_[i].name, section)) found = Range{i, i + 1, lines_.size()};
    }
    return found;
}

std::optional<size_t> IniDocument::FindKey(const Range& range, std::string_view key) const {
    for (size_t i = range.begin; i < range.end; ++i) {
        if (lines_[i].kind == Kind::Key && SameName(lines_[i].name, key)) return i;
    }
    return std::nullopt;
}

std::optional<std::string> IniDocument::Find(std::string_view section, std::string_view key) const {
    const std::optional<Range> range = FindSection(section);
    if (!range) return std::nullopt;
    const std::optional<size_t> index = FindKey(*range, key);
    if (!index || !lines_[*index].has_value) return std::nullopt;
    const std::string& value = lines_[*index].value;
    if (value.size() >= 2 && (value[0] == '"' || value[0] == '\'') && value.back() == value[0]) {
        return value.substr(1, value.size() - 2);
    }
    return value;
}

void IniDocument::Set(std::string_view section, std::string_view key, std::string_view value) {
    std::string stored;
    for (size_t i = 0; i < value.size() && value[i] != '\r' && value[i] != '\n';) {
        const size_t n = UnitLength(value, i);
        if (value[i] == '\0') break;
        if (IsWholeCharacter(value, i, n)) {
            stored.append(value.substr(i, n));
        } else {
            stored += '?';
        }
        i += n;
    }
    Line written = MakeLine(std::string(key) + "=" + stored, "\r\n");

    const std::optional<Range> range = FindSection(section);
    if (!range) {
        if (!lines_.empty() && lines_.back().end.empty()) lines_.back().end = "\r\n";
        std::string header(1, '[');
        header.append(section).append(1, ']');
        lines_.push_back(MakeLine(std::move(header), "\r\n"));
        lines_.push_back(std::move(written));
        return;
    }
    if (const std::optional<size_t> index = FindKey(*range, key)) {
        lines_[*index] = std::move(written);
        return;
    }
    // After the section's last line that is neither blank nor a comment, else after its
    // header (at the file's start for the part before any section): a comment just above the
    // next section's header is taken to be about that section and stays with it.
    size_t at = range->header == std::string_view::npos ? 0 : range->header + 1;
    for (size_t i = range->begin; i < range->end; ++i) {
        const std::string& name = lines_[i].name;
        const bool comment = !name.empty() && (name[0] == ';' || name[0] == '#');
        if (lines_[i].kind == Kind::Key && !comment) at = i + 1;
    }
    if (at > 0 && lines_[at - 1].end.empty()) lines_[at - 1].end = "\r\n";
    lines_.insert(lines_.begin() + static_cast<std::ptrdiff_t>(at), std::move(written));
}

std::string IniDocument::Bytes() const {
    std::string bytes;
    for (const Line& line : lines_) bytes += line.text + line.end;
    return bytes;
}

}  // namespace tq
