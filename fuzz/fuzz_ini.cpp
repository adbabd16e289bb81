// Fuzzes setting.ini's reader and writer. The input is a file's bytes; its last bytes choose
// a few writes. A file read and written unchanged keeps every byte; after the writes, the
// written bytes read back the same as the document in memory, every key written with a plain
// value reads back that value, and every other key reads as before.
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

// Any fixed conversion does here: ASCII as it is, other code units as a GBK character.
std::string ToText(std::u16string_view text) {
    std::string out;
    for (char16_t c : text) {
        if (c < 0x80) {
            out += static_cast<char>(c);
        } else {
            // Leads 81..A0 only: the result never starts with a byte-order mark.
            out += static_cast<char>(0x81 + c % 32);
            out += static_cast<char>(0x40 + c % 63);
        }
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

    tq::IniDocument document = tq::IniDocument::Parse(file, ToText);
    const bool has_mark = file.substr(0, 2) == "\xFF\xFE" || file.substr(0, 2) == "\xFE\xFF" ||
                          file.substr(0, 3) == "\xEF\xBB\xBF";
    if (!has_mark) Check(document.Bytes() == file);
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
    const tq::IniDocument reread = tq::IniDocument::Parse(written, ToText);
    Check(reread.Bytes() == written);
    Check(ReadAll(document) == expected);
    Check(ReadAll(reread) == expected);
    return 0;
}
