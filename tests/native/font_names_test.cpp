// The family names read from a font's own name table.
#include "runtime/font_names.h"

#include <string>
#include <vector>

#include <gtest/gtest.h>

namespace tq {
namespace {

struct Record {
    uint16_t platform, encoding, language, name_id;
    std::u16string text;
};

// A format-0 name table holding the records, their strings stored big-endian one after another.
std::string NameTable(const std::vector<Record>& records) {
    std::string table, strings;
    const auto put = [](std::string& out, uint16_t v) {
        out += static_cast<char>(v >> 8);
        out += static_cast<char>(v & 0xFF);
    };
    put(table, 0);
    put(table, static_cast<uint16_t>(records.size()));
    put(table, static_cast<uint16_t>(6 + 12 * records.size()));
    for (const Record& r : records) {
        for (uint16_t v :
             {r.platform, r.encoding, r.language, r.name_id,
              static_cast<uint16_t>(r.text.size() * 2), static_cast<uint16_t>(strings.size())}) {
            put(table, v);
        }
        for (char16_t c : r.text) put(strings, c);
    }
    return table + strings;
}

TEST(FontNamesTest, FamilyNamesOfEveryLanguageFromTheWindowsRecords) {
    const std::string table = NameTable({
        {1, 0, 0, 1, u"Mac Name"},                    // another platform
        {3, 1, 0x0409, 1, u"WenQuanYi Micro Hei"},    // family, English
        {3, 1, 0x0409, 4, u"WenQuanYi Micro Hei R"},  // a full name
        {3, 1, 0x0804, 1, u"文泉驿微米黑"},           // family, Simplified Chinese
        {3, 1, 0x0404, 1, u"文泉驛微米黑"},           // Traditional
        {3, 10, 0x0804, 16, u"文泉驿"},               // typographic family
        {3, 1, 0x0411, 1, u"WenQuanYi Micro Hei"},    // the same name again
    });
    EXPECT_EQ(FamilyNamesInNameTable(table),
              (std::vector<std::u16string>{u"WenQuanYi Micro Hei", u"文泉驿微米黑", u"文泉驛微米黑",
                                           u"文泉驿"}));
}

TEST(FontNamesTest, RecordsOutsideTheTableGiveNothing) {
    std::string table = NameTable({{3, 1, 0x0409, 1, u"Whole"}, {3, 1, 0x0804, 1, u"Cut"}});
    table.resize(table.size() - 1);  // the last string loses its last byte
    EXPECT_EQ(FamilyNamesInNameTable(table), std::vector<std::u16string>{u"Whole"});
    EXPECT_EQ(FamilyNamesInNameTable(table.substr(0, 6 + 12)), std::vector<std::u16string>{});
    EXPECT_EQ(FamilyNamesInNameTable(table.substr(0, 5)), std::vector<std::u16string>{});
    EXPECT_EQ(FamilyNamesInNameTable(""), std::vector<std::u16string>{});
}

}  // namespace
}  // namespace tq
