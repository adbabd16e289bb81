#include "runtime/font_names.h"

#include <algorithm>
#include <cstdint>

namespace tq {

namespace {

constexpr uint16_t kWindowsPlatform = 3;
constexpr uint16_t kFamilyName = 1;
constexpr uint16_t kTypographicFamilyName = 16;
constexpr size_t kHeaderSize = 6;  // format, count, offset of the strings
constexpr size_t kRecordSize = 12;

uint16_t BigEndian16(std::string_view bytes, size_t at) {
    return static_cast<uint16_t>(static_cast<unsigned char>(bytes[at]) << 8 |
                                 static_cast<unsigned char>(bytes[at + 1]));
}

}  // namespace

std::vector<std::u16string> FamilyNamesInNameTable(std::string_view table) {
    std::vector<std::u16string> names;
    if (table.size() < kHeaderSize) return names;
    const size_t count = BigEndian16(table, 2);
    const size_t strings = BigEndian16(table, 4);
    for (size_t r = 0; r < count; ++r) {
        const size_t record = kHeaderSize + r * kRecordSize;
        if (record + kRecordSize > table.size()) break;
        const uint16_t platform = BigEndian16(table, record);
        const uint16_t name_id = BigEndian16(table, record + 6);
        const size_t length = BigEndian16(table, record + 8);
        const size_t offset = strings + BigEndian16(table, record + 10);
        if (platform != kWindowsPlatform ||
            (name_id != kFamilyName && name_id != kTypographicFamilyName) ||
            offset + length > table.size()) {
            continue;
        }
        std::u16string name;
        for (size_t i = 0; i + 1 < length; i += 2) name += BigEndian16(table, offset + i);
        if (!name.empty() && std::find(names.begin(), names.end(), name) == names.end())
            names.push_back(std::move(name));
    }
    return names;
}

}  // namespace tq
