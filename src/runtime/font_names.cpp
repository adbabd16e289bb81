#include "runtime/font_names.h"

#include <algorithm>
#include <cstdint>
#include <cstring>

#ifdef _WIN32
#include <windows.h>

#include "runtime/facilities.h"
#endif

#include "runtime/gbk.h"
#include "runtime/value.h"

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

namespace {

constexpr size_t kFaceBytes = 31;  // a font description's face name without its NUL

// A name as names are compared: cut to `bytes` before a character that would not fit whole,
// its ASCII letters in upper case (a double-byte character's second byte may look like one).
std::string NameKey(std::string_view name, size_t bytes) {
    std::string key(WholeCharactersWithin(name, bytes));
    for (size_t i = 0; i < key.size();) {
        const GbkUnit unit = GbkUnitAt(key, i);
        if (unit.kind == GbkUnitKind::Single && key[i] >= 'a' && key[i] <= 'z') key[i] -= 'a' - 'A';
        i += unit.length;
    }
    return key;
}

}  // namespace

int FontNameCache::Find(const std::vector<std::string>& families,
                        const std::set<std::string>& readable, std::string_view name) {
    if (name.empty()) return -1;
    if (const auto listed = std::find(families.begin(), families.end(), name);
        listed != families.end()) {
        return static_cast<int>(listed - families.begin());
    }
    std::vector<std::string> unread;
    for (const std::string& family : families) {
        // A vertical family's table is its horizontal twin's.
        if (!family.empty() && family[0] != '@' && readable.count(family) && !read_.count(family))
            unread.push_back(family);
    }
    if (!unread.empty()) {
        const std::vector<std::vector<std::string>> own_names = read_tables_(unread);
        for (size_t i = 0; i < unread.size(); ++i) {
            read_.insert(unread[i]);
            if (i >= own_names.size()) continue;
            for (const std::string& own : own_names[i]) {
                owners_[0].emplace(NameKey(own, kFaceBytes), unread[i]);
                owners_[1].emplace(NameKey(own, kFaceBytes - 1), unread[i]);
            }
        }
    }
    const std::string found = FoundFamily(name);
    const auto at = std::find(families.begin(), families.end(), found);
    return found.empty() || at == families.end() ? -1 : static_cast<int>(at - families.begin());
}

std::string FontNameCache::FoundFamily(std::string_view name) const {
    const bool vertical = !name.empty() && name[0] == '@';
    const std::string_view face = name.substr(vertical ? 1 : 0);
    if (face.empty()) return {};
    const auto& owners = owners_[vertical ? 1 : 0];
    const auto owner = owners.find(NameKey(face, kFaceBytes));
    if (owner == owners.end()) return {};
    return vertical ? "@" + owner->second : owner->second;
}

#ifdef _WIN32

namespace {

// The 'name' table's tag as GetFontData takes it: its four letters in memory order.
constexpr DWORD kNameTableTag = 'n' | 'a' << 8 | 'm' << 16 | 'e' << 24;

bool IsEastAsian(BYTE charset) {
    return charset == GB2312_CHARSET || charset == CHINESEBIG5_CHARSET ||
           charset == SHIFTJIS_CHARSET || charset == HANGUL_CHARSET || charset == JOHAB_CHARSET;
}

// A face name is kept to the 31 bytes a font description holds, cut before a character
// that would not fit whole. The enumeration reports a family once per character set, each
// in lfCharSet.
int CALLBACK CollectFontFamily(const LOGFONTW* font, const TEXTMETRICW*, DWORD, LPARAM found) {
    auto& families = *reinterpret_cast<FontFamilies*>(found);
    const std::string face = Narrow({font->lfFaceName, wcsnlen(font->lfFaceName, LF_FACESIZE)});
    families.names.emplace_back(WholeCharactersWithin(face, LF_FACESIZE - 1));
    if (IsEastAsian(font->lfCharSet)) families.east_asian.insert(families.names.back());
    return 1;
}

LOGFONTW FaceDescription(std::string_view face) {
    LOGFONTA font{};
    font.lfCharSet = DEFAULT_CHARSET;
    const std::string_view fits = WholeCharactersWithin(face, LF_FACESIZE - 1);
    std::memcpy(font.lfFaceName, fits.data(), fits.size());
    return ToPlatformFont(font);
}

// The family's name table as the font selected for that face gives it; empty for a font
// without one (a bitmap or vector font).
std::string NameTableOf(HDC dc, std::string_view family) {
    const LOGFONTW description = FaceDescription(family);
    HFONT font = CreateFontIndirectW(&description);
    if (!font) return {};
    HGDIOBJ previous = SelectObject(dc, font);
    std::string table;
    const DWORD size = GetFontData(dc, kNameTableTag, 0, nullptr, 0);
    if (size != GDI_ERROR && size > 0) {
        table.resize(size);
        if (GetFontData(dc, kNameTableTag, 0, table.data(), size) != size) table.clear();
    }
    SelectObject(dc, previous);
    DeleteObject(font);
    return table;
}

std::vector<std::vector<std::string>> ReadOwnNames(const std::vector<std::string>& families) {
    std::vector<std::vector<std::string>> names(families.size());
    HDC dc = CreateCompatibleDC(nullptr);
    if (!dc) return names;
    for (size_t i = 0; i < families.size(); ++i) {
        for (const std::u16string& own : FamilyNamesInNameTable(NameTableOf(dc, families[i])))
            names[i].push_back(Narrow({reinterpret_cast<const wchar_t*>(own.data()), own.size()}));
    }
    DeleteDC(dc);
    return names;
}

}  // namespace

FontFamilies ListFontFamilies() {
    FontFamilies reported;
    HDC screen = GetDC(nullptr);
    if (!screen) return reported;
    LOGFONTW wanted{};
    wanted.lfCharSet = DEFAULT_CHARSET;  // with an empty face name: every family, every charset
    EnumFontFamiliesExW(screen, &wanted, CollectFontFamily, reinterpret_cast<LPARAM>(&reported), 0);
    ReleaseDC(nullptr, screen);

    // A family comes once per character set, in a row; keep one of each such run.
    FontFamilies families{{}, std::move(reported.east_asian)};
    for (auto name = reported.names.rbegin(); name != reported.names.rend(); ++name) {
        if (families.names.empty() || families.names.back() != *name)
            families.names.push_back(std::move(*name));
    }
    return families;
}

FontNameCache& InstalledFontNames() {
    static FontNameCache cache(ReadOwnNames);
    return cache;
}

int FindFontFamilyByAnyName(const std::vector<std::string>& families,
                            const std::set<std::string>& east_asian, std::string_view name) {
    return InstalledFontNames().Find(families, east_asian, name);
}

std::string FontFaceFor(std::string_view name) {
    const std::string found = InstalledFontNames().FoundFamily(name);
    return found.empty() ? std::string(name) : found;
}

#endif  // _WIN32

}  // namespace tq
