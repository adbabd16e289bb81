// The family names read from a font's own name table.
#include "runtime/font_names.h"

#include <map>
#include <set>
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

// The name cache's rules, with a reader that records which families' tables it is asked for.
// Only the East Asian families' tables are read: a Latin family's own other name stays unknown.
TEST(FontNamesTest, TheCacheReadsEachEastAsianTableOncePerRunAndOnlyForANameNotListed) {
    const std::string long_name(40, 'L');  // cut to 31 bytes as listed, 30 after "@"
    std::map<std::string, std::vector<std::string>> own = {
        {"宋体", {"SimSun", "宋体"}},
        {"文泉驿微米黑", {"WenQuanYi Micro Hei", "文泉驛微米黑"}},
        {"LongFamily", {long_name}},
        {"Gbk", {"\x81\x61"}},  // a second byte that looks like a letter is not one
        {"Latin", {"Latin Other"}},
    };
    const std::set<std::string> east_asian = {"宋体", "@文泉驿微米黑", "文泉驿微米黑", "LongFamily",
                                              "Gbk"};
    std::vector<std::string> asked;
    FontNameCache cache([&](const std::vector<std::string>& families) {
        std::vector<std::vector<std::string>> names;
        for (const std::string& f : families) asked.push_back(f), names.push_back(own[f]);
        return names;
    });
    std::vector<std::string> families = {"宋体", "@文泉驿微米黑", "文泉驿微米黑", "LongFamily",
                                         "Latin"};
    const struct {
        const char* name;
        int index;
        size_t tables_read;  // after the search
    } cases[] = {
        {"文泉驿微米黑", 2, 0},  // listed: nothing read
        {"", -1, 0},
        {"wenquanyi MICRO hei", 2, 3},  // every horizontal family's table, once
        {"simsun", 0, 3},
        {"@文泉驛微米黑", 1, 3},
        {"文泉驛微米黑", 2, 3},
        {"@SimSun", -1, 3},  // no vertical twin listed
        {"Nothing Like It", -1, 3},
        {"Nothing Like It", -1, 3},
        {"Latin Other", -1, 3},  // not East Asian: its table is not read
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(cache.Find(families, east_asian, c.name), c.index);
        EXPECT_EQ(cache.tables_read(), c.tables_read);
    }
    EXPECT_EQ(asked, (std::vector<std::string>{"宋体", "文泉驿微米黑", "LongFamily"}));
    EXPECT_EQ(cache.Find(families, east_asian, long_name.substr(0, 31)), 3);
    EXPECT_EQ(cache.FoundFamily("@" + long_name.substr(0, 30)), "@LongFamily");
    EXPECT_EQ(cache.FoundFamily("simsun"), "宋体");
    EXPECT_EQ(cache.FoundFamily("Not Searched"), "");

    families = {"Gbk", "文泉驿微米黑"};  // a family installed, two removed
    EXPECT_EQ(cache.Find(families, east_asian, "simsun"), -1);
    EXPECT_EQ(cache.Find(families, east_asian, "\x81\x61"), 0);
    EXPECT_EQ(cache.Find(families, east_asian, "\x81\x41"), -1);
    EXPECT_EQ(cache.tables_read(), 4u);
    EXPECT_EQ(asked.back(), "Gbk");
}

}  // namespace
}  // namespace tq
