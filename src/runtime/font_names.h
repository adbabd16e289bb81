// Every rule about installed font families' names: the list the settings window shows, the
// family names a font gives itself in its own 'name' table, and finding a family by a name in
// another language than the system's. The platform knows a family only by its English name
// and by its name in the system's language; a name stored under another language is found
// again through the fonts' own tables, which are read at most once per run, only when a
// name is not listed, and only for the families that name themselves in several languages in
// practice: those with an East Asian character set. The portable part (the table reader and
// FontNameCache) makes no platform calls; the rest is the Windows program's.
#pragma once

#include <functional>
#include <map>
#include <set>
#include <string>
#include <string_view>
#include <vector>

namespace tq {

// The distinct family names (name ID 1) and typographic family names (ID 16) of the Windows
// platform's records (platform 3, UTF-16 big-endian, every encoding and language) of an
// OpenType 'name' table, in the order of the records. Records that reach past the table's
// end, and a table too short for its own header, give nothing.
std::vector<std::u16string> FamilyNamesInNameTable(std::string_view table);

// What the program has learnt of the installed families' own names in this run. Names are
// GBK texts; they compare without the letter case of their ASCII letters, a family's own name
// cut as a listed name is (31 bytes, 30 after a vertical family's "@"). A vertical family
// ("@" first) is found only for a name with "@" first, by the names of its horizontal twin.
class FontNameCache {
public:
    // The family names each of the listed families gives itself (FamilyNamesInNameTable, in
    // GBK), one list per family, empty for a family without a table.
    using TableReader =
        std::function<std::vector<std::vector<std::string>>(const std::vector<std::string>&)>;
    explicit FontNameCache(TableReader read_tables) : read_tables_(std::move(read_tables)) {}

    // The index in `families` of the family `name` names; -1 for an empty name and when no
    // family has the name. A listed name is found without reading any table. Otherwise the
    // tables of the listed families in `readable` not read before in this run are read, in one
    // call, and the first family (in the order read) that calls itself so is taken.
    int Find(const std::vector<std::string>& families, const std::set<std::string>& readable,
             std::string_view name);

    // The listed family a search of this run found `name` to be, without reading anything;
    // empty when no search has found it.
    std::string FoundFamily(std::string_view name) const;

    // How many families' tables have been read in this run.
    size_t tables_read() const { return read_.size(); }

private:
    TableReader read_tables_;
    std::set<std::string> read_;                    // listed families whose tables were read
    std::map<std::string, std::string> owners_[2];  // [vertical] key of an own name -> family
};

// The installed font families for all character sets, from one enumeration: their names in the
// reverse of the order the platform reports them, a name equal to the one kept just before it
// skipped, each at most 31 bytes; and those of them it reports with an East Asian character
// set (GB2312, Big5, Shift-JIS, Hangul, Johab). A family whose own name in another language
// is not the one listed is, in practice, a Chinese, Japanese or Korean one, which carries its
// script's character set: the families of other scripts name themselves in English alone.
struct FontFamilies {
    std::vector<std::string> names;
    std::set<std::string> east_asian;
};
FontFamilies ListFontFamilies();

// The run's FontNameCache, reading the tables through the fonts the platform creates.
FontNameCache& InstalledFontNames();

// InstalledFontNames().Find: the family of `families` (names as ListFontFamilies gives them)
// that `name` names, reading the tables of the `east_asian` ones once per run when the name is
// not listed.
int FindFontFamilyByAnyName(const std::vector<std::string>& families,
                            const std::set<std::string>& east_asian, std::string_view name);

// The face to create a font of for a stored family name: the listed family a search of this
// run found the name to be (the settings window searches when it opens), else the name
// itself, which the platform's font mapping takes by the family's English name or its name
// in the system's language, and for which it substitutes a face otherwise. Reads nothing, so
// that no start-up pays for the fonts' tables.
std::string FontFaceFor(std::string_view name);

}  // namespace tq
