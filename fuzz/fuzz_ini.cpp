// Fuzzes setting.ini's reader and writer. The input is a file's bytes; its last bytes choose
// a few writes. A file read and written unchanged keeps every byte (one with a byte-order mark
// keeps the mark); after the writes, the written bytes read back the same as the document in
// memory, every key written with a plain value reads back that value, and every other key
// reads as before.
#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <utility>

#include "settings/ini_document.h"

namespace {

void Check(bool condition) {
    if (!condition) std::abort();
}

// A pair of conversions that gives every text of the program back: ASCII as it is, any other
// unit of the program's text (split as the document splits it: a lead byte with the byte after
// it, or four bytes) as two UTF-16 code units of a private range that number it. A UTF-16
// code unit that is not such a pair becomes a four-byte sequence of its own.
constexpr bool IsLead(unsigned char c) { return c >= 0x81 && c <= 0xFE; }
constexpr bool IsDigit(unsigned char c) { return c >= 0x30 && c <= 0x39; }
constexpr uint32_t kTwoBytes = 0x100, kFourBytes = 0x8000;

std::string FourBytes(uint32_t n) {
    return {static_cast<char>(0x81 + n / 12600), static_cast<char>(0x30 + n / 1260 % 10),
            static_cast<char>(0x81 + n / 10 % 126), static_cast<char>(0x30 + n % 10)};
}

std::string UnitOf(uint32_t number) {
    if (number < kTwoBytes) return std::string(1, static_cast<char>(number));
    if (number < kFourBytes) {
        number -= kTwoBytes;
        return {static_cast<char>(0x81 + number / 256), static_cast<char>(number % 256)};
    }
    return FourBytes(number - kFourBytes);
}

std::string ToText(std::u16string_view text) {
    std::string out;
    for (size_t i = 0; i < text.size(); ++i) {
        const char16_t c = text[i];
        if (c < 0x80) {
            out += static_cast<char>(c);
        } else if (c >= 0xE000 && c < 0xE800 && i + 1 < text.size() && text[i + 1] >= 0xE800 &&
                   text[i + 1] < 0xF000) {
            out += UnitOf(static_cast<uint32_t>(c - 0xE000) << 11 | (text[++i] - 0xE800));
        } else {
            out += FourBytes(c);
        }
    }
    return out;
}

std::u16string FromText(std::string_view text) {
    std::u16string out;
    const auto byte = [&](size_t i) {
        return i < text.size() ? static_cast<unsigned char>(text[i]) : 0;
    };
    for (size_t i = 0; i < text.size();) {
        const unsigned char c = byte(i);
        if (c < 0x80) {
            out += static_cast<char16_t>(c);
            ++i;
            continue;
        }
        uint32_t number = c;
        size_t length = 1;
        if (IsLead(c) && i + 1 < text.size() && text[i + 1] != '\0') {
            if (IsDigit(byte(i + 1)) && IsLead(byte(i + 2)) && IsDigit(byte(i + 3))) {
                number = kFourBytes + (c - 0x81) * 12600 + (byte(i + 1) - 0x30) * 1260 +
                         (byte(i + 2) - 0x81) * 10 + (byte(i + 3) - 0x30);
                length = 4;
            } else {
                number = kTwoBytes + (c - 0x81) * 256 + byte(i + 1);
                length = 2;
            }
        }
        out += static_cast<char16_t>(0xE000 + (number >> 11));
        out += static_cast<char16_t>(0xE800 + (number & 0x7FF));
        i += length;
    }
    return out;
}

// No two names differ only in letter case, so each pair is one place in the file.
// GBK names with '[' and ']' as trail bytes (815B, 815D) as well.
constexpr std::string_view kSections[] = {"ui", "main", "", "Mt Font", "\xBD\xE7\x81\x5D"};
constexpr std::string_view kKeys[] = {"a", "Top", "", ";c", "\x81\x5B\xC3\xE6", "k["};
constexpr std::string_view kValues[] = {"1",
                                        "\xD6\xD0\xCE\xC4",
                                        "",
                                        "x y",
                                        "\x81\x30\x81\x30",
                                        " padded ",
                                        "\"quoted\"",
                                        "'q",
                                        "cut\r\nk=v",
                                        "lead\x81",
                                        std::string_view("nul\0after", 9),
                                        "a=b",
                                        "[s]"};

// A value that reads back as it was written: no blanks or quotes at its ends, one line.
bool ReadsBackAsWritten(std::string_view v) {
    const std::string_view edges = " \t\v\f\x1A\"'";
    if (v.find_first_of(std::string_view("\r\n\0", 3)) != std::string_view::npos) return false;
    if (!v.empty() && (edges.find(v.front()) != std::string_view::npos ||
                       edges.find(v.back()) != std::string_view::npos)) {
        return false;
    }
    return v.empty() || static_cast<unsigned char>(v.back()) < 0x81;
}

using Reads = std::map<std::pair<size_t, size_t>, std::optional<std::string>>;

Reads ReadAll(const tq::IniDocument& document) {
    Reads reads;
    for (size_t s = 0; s < std::size(kSections); ++s) {
        for (size_t k = 0; k < std::size(kKeys); ++k) {
            reads[{s, k}] = document.Find(kSections[s], kKeys[k]);
        }
    }
    return reads;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    const size_t write_count = size > 0 ? std::min<size_t>(data[size - 1] % 4, (size - 1) / 3) : 0;
    const std::string_view file = bytes.substr(0, size - std::min(size, 1 + 3 * write_count));
    const std::string_view choices = bytes.substr(file.size());

    tq::IniDocument document = tq::IniDocument::Parse(std::string(file), ToText, FromText);
    const size_t mark = file.substr(0, 3) == "\xEF\xBB\xBF"                                  ? 3
                        : file.substr(0, 2) == "\xFF\xFE" || file.substr(0, 2) == "\xFE\xFF" ? 2
                                                                                             : 0;
    if (mark == 0) Check(document.Bytes() == file);
    Check(document.Bytes().substr(0, mark) == file.substr(0, mark));
    const Reads before = ReadAll(document);

    Reads expected = before;
    for (size_t w = 0; w < write_count; ++w) {
        const auto choice = [&](size_t i) {
            return static_cast<unsigned char>(choices[3 * w + i]);
        };
        const size_t s = choice(0) % std::size(kSections), k = choice(1) % std::size(kKeys);
        const std::string_view value = kValues[choice(2) % std::size(kValues)];
        document.Set(kSections[s], kKeys[k], value);
        expected[{s, k}] = ReadsBackAsWritten(value) ? std::optional<std::string>(value)
                                                     : document.Find(kSections[s], kKeys[k]);
        Check(expected[{s, k}].has_value());
    }

    const std::string written = document.Bytes();
    const tq::IniDocument reread = tq::IniDocument::Parse(written, ToText, FromText);
    Check(reread.Bytes() == written);
    Check(ReadAll(document) == expected);
    Check(ReadAll(reread) == expected);
    return 0;
}
