// The program's own setting.ini reader and writer against the platform's private-profile
// functions under Wine (code page 936): one table of files, each read both ways for the same
// queries, then written by the program and read back by the platform.
#include "settings/ini_document.h"

#include <cstring>
#include <optional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "test_support.h"

namespace tq {
namespace {

using namespace std::string_literals;

std::string Encode(UINT code_page, std::u16string_view text) {
    const auto* wide = reinterpret_cast<const wchar_t*>(text.data());
    const int n = WideCharToMultiByte(code_page, 0, wide, static_cast<int>(text.size()), nullptr, 0,
                                      nullptr, nullptr);
    std::string bytes(n, '\0');
    WideCharToMultiByte(code_page, 0, wide, static_cast<int>(text.size()), bytes.data(), n, nullptr,
                        nullptr);
    return bytes;
}

std::u16string Decode(UINT code_page, std::string_view bytes) {
    const int n =
        MultiByteToWideChar(code_page, 0, bytes.data(), static_cast<int>(bytes.size()), nullptr, 0);
    std::u16string text(n, u'\0');
    MultiByteToWideChar(code_page, 0, bytes.data(), static_cast<int>(bytes.size()),
                        reinterpret_cast<wchar_t*>(text.data()), n);
    return text;
}

// Files with a byte-order mark are converted as the platform converts them, through code
// page 936: Wine 8 has no code page 54936 (GB18030), which the program's own converter may
// use. The program's four-byte characters are read from GBK files below instead.
std::string To936(std::u16string_view text) { return Encode(936, text); }

// What the platform shows of the program's text: a GB18030 four-byte character, which the
// program keeps, is "??" in code page 936.
std::string As936Shows(const std::string& text) { return Encode(936, Decode(936, text)); }

std::string WithMark(std::string_view mark, std::string bytes) { return std::string(mark) + bytes; }
std::string Utf16Le(std::u16string_view text) {
    std::string bytes;
    for (char16_t c : text) bytes += {static_cast<char>(c & 0xFF), static_cast<char>(c >> 8)};
    return bytes;
}
std::string Utf16Be(std::u16string_view text) {
    std::string bytes;
    for (char16_t c : text) bytes += {static_cast<char>(c >> 8), static_cast<char>(c & 0xFF)};
    return bytes;
}

struct IniFile {
    const char* what;
    std::string bytes;
    bool four_byte = false;  // holds GB18030 four-byte characters
};

const std::vector<IniFile>& Files() {
    static const std::vector<IniFile> files = {
        {"plain CR LF", "[ui]\r\na=1\r\nb=2\r\n[main]\r\ntop=0\r\n"},
        {"LF, CR alone, no line end at the end", "[ui]\na=1\rb=2\r\n[main]\ntop=3"},
        {"blanks are space, tab, VT, FF, Ctrl-Z",
         " \t[ \tui\f]\x1A\r\n\va \t= \t1 \f\r\n  b=\x1A"
         "2\x1A\r\nc = \r\n\x1A\r\nd\x1A=4"},
        {"the full-width blank and other control bytes are not blanks",
         "[ui]\r\n\xA1\xA1"
         "a=1\r\nb=\xA1\xA1x\xA1\xA1\r\n\x01"
         "c=3\r\nd=\x01x\x01\r\n"},
        {"one pair of matching quotes removed",
         "[ui]\r\na = \"a b\" \r\nb='q'\r\nc=\"x\r\nd=\"a\"b\"\r\n"},
        {"quotes that do not pair", "[ui]\r\na=\"'\r\nb=\"\r\nc= \"a\"x\r\nd=\"\"\r\n"},
        {"empty values; a key line without '='", "[ui]\r\na=\r\nb\r\nc =\r\n"},
        {"a key line without '=' hides the same key below it", "[ui]\r\na\r\na=1\r\n"},
        {"letter case", "[UI]\r\nA=1\r\na=2\r\n[Main]\r\nTOP=1\r\n"},
        {"repeated section: only its first part is read",
         "[ui]\r\na=1\r\n[main]\r\ntop=1\r\n[ui]\r\nb=2\r\n[MAIN]\r\na=3\r\n"},
        {"comment lines are keys", "[ui]\r\n;a=1\r\n# b=2\r\na=3\r\n; no equals sign\r\n"},
        {"keys before any section; [] repeats that part", "a=0\r\n[ui]\r\na=1\r\n[]\r\na=2\r\n"},
        {"a header ends at its last ']'",
         "[ui] junk\r\na=1\r\n[main]=3\r\ntop=2\r\n[ui]x]y\r\na=4\r\n"},
        {"'[' without ']' is a key", "[ui]\r\n[x=1\r\n[main\r\na=5\r\n"},
        {"'=' and brackets in values; an empty key", "[ui]\r\na=1=2\r\nb=[x]\r\n=3\r\n"},
        {"GBK trail bytes '[', ']', '\\\\' are no structure",
         "[\xBD\xE7\xC3\xE6]\r\n\xB1\xEA\xCC\xE2=\xC4\xE3\xBA\xC3\r\n[ui\x81]]\r\na=\x81[\x81\\\r\n"
         "[ui]\r\nb=\x95]\r\nc=\x81]\x81]\r\n"},
        {"a stray lead byte takes the byte after it",
         "[ui]\r\na=x\x81\r\nb=2\r\nc=\x81\"\r\nd=\x81 \r\ne\x81=5\r\n[main\x81]\r\ntop=1\r\n"},
        {"a stray lead byte before CR alone joins two lines", "[ui]\ra=x\x81\rb=2\rc=3\x81"},
        {"NUL ends names and values", "[ui]\r\na=1 \0x \r\nb\0z=2\r\n\0c=3\r\nd=\x81\0\r\n"s},
        {"GB18030 four-byte characters",
         "[ui]\r\na=\x81\x30\x81\x30\r\nb=\x95\x32\x82\x36z\r\n\x81\x30\x81\x30=4\r\n", true},
        {"UTF-8 without a mark is taken as GBK bytes", "[ui]\r\na=\xE4\xB8\xAD\r\nb=\xE4\xB8\r\n"},
        {"very long values", "[ui]\r\na=" + std::string(20000, 'x') + "\r\nb=" +
                                 [] {
                                     std::string s;
                                     for (int i = 0; i < 5000; ++i) s += "\xD6\xD0";
                                     return s;
                                 }() +
                                 "\r\n"},
        {"empty file", ""},
        {"blanks only", " \r\n\t\r\n"},
        {"UTF-16 LE with mark",
         WithMark("\xFF\xFE", Utf16Le(u"[ui]\r\na= 中文 \r\nb=\"é\"\r\n[界面]\r\n标题=你好\r\n"))},
        {"UTF-16 BE with mark",
         WithMark("\xFE\xFF", Utf16Be(u"[ui]\na=中\rb=2\r\n[main]\r\ntop=1"))},
        {"UTF-8 with mark",
         WithMark("\xEF\xBB\xBF", Encode(CP_UTF8, u"[ui]\r\na=ü\r\n标题=x\r\n"))},
        {"UTF-8 with mark and invalid bytes",
         "\xEF\xBB\xBF[ui]\r\na=\xE4\r\nb=1\r\nc=\xC0\xAF\r\nd=\xF0\x9F\x98\r\n"},
        {"UTF-16 LE without a mark is not recognised", Utf16Le(u"[ui]\r\na=1\r\n")},
    };
    return files;
}

struct Query {
    const char* section;
    const char* key;
};
const Query kQueries[] = {
    {"ui", "a"},
    {"ui", "b"},
    {"ui", "c"},
    {"ui", "d"},
    {"UI", "A"},
    {"ui", ""},
    {"ui", ";a"},
    {"ui", "# b"},
    {"ui", "[x"},
    {"ui", "[main\x81]"},
    {"main", "a"},
    {"main", "top"},
    {"", "a"},
    {"ui]x", "a"},
    {"ui\x81]", "a"},
    {"界面", "标题"},
    {"ui", "\x81\x30\x81\x30"},
    {"ui", "标题"},
    {"ui", "e"},
};

constexpr char kDefault[] = "<default>";

std::optional<std::string> PlatformRead(const std::string& path, const char* section,
                                        const char* key) {
    std::vector<char> buffer(65536);
    const DWORD n = GetPrivateProfileStringA(section, key, kDefault, buffer.data(),
                                             static_cast<DWORD>(buffer.size()), path.c_str());
    const std::string text(buffer.data(), n);
    if (text == kDefault) return std::nullopt;
    return text;
}

class IniDocumentTest : public ::testing::Test {
protected:
    void SetUp() override { dir_ = MakeTempFolder(); }
    void TearDown() override { RemoveFolder(dir_); }
    // A new name for every file: the platform keeps files it has read in a cache.
    std::string Place(const std::string& bytes) {
        const std::string path = dir_ + "\\f" + std::to_string(++files_) + ".ini";
        WriteFileBytes(path, bytes);
        return path;
    }
    std::string dir_;
    int files_ = 0;
};

TEST_F(IniDocumentTest, EveryFileReadsAsThePlatformReadsIt) {
    for (const IniFile& file : Files()) {
        const std::string path = Place(file.bytes);
        const IniDocument document = IniDocument::Parse(file.bytes, To936);
        for (const Query& q : kQueries) {
            std::optional<std::string> own = document.Find(q.section, q.key);
            if (own && file.four_byte) own = As936Shows(*own);
            EXPECT_EQ(own, PlatformRead(path, q.section, q.key))
                << file.what << ": [" << q.section << "] " << q.key;
        }
        const bool has_mark = file.bytes.rfind("\xEF\xBB\xBF", 0) == 0 ||
                              file.bytes.rfind("\xFF\xFE", 0) == 0 ||
                              file.bytes.rfind("\xFE\xFF", 0) == 0;
        if (!has_mark) {
            EXPECT_EQ(document.Bytes(), file.bytes) << file.what;
        }
    }
}

struct Write {
    const char* section;
    const char* key;
    const char* value;
    const char* reads = nullptr;  // what the platform reads back
};
const Write kWrites[] = {
    {"ui", "a", "written", "written"},
    {"UI", "B", "\xD6\xD0 \xCE\xC4", "\xD6\xD0 \xCE\xC4"},
    {"main", "top", "1", "1"},
    {"ui", "c", "first\r\nd=injected", "first"},
    {"", "a", "before any section", "before any section"},
    {"ui", "added", "\x81\x30\x81\x30", "??"},
    {"new", "k", "x\x81", "x?"},
};

TEST_F(IniDocumentTest, WrittenKeysReadBackAndOtherKeysReadAsBefore) {
    for (const IniFile& file : Files()) {
        const std::string before = Place(file.bytes);
        IniDocument document = IniDocument::Parse(file.bytes, To936);
        for (const Write& w : kWrites) document.Set(w.section, w.key, w.value);
        const std::string after = Place(document.Bytes());
        for (const Write& w : kWrites) {
            EXPECT_EQ(PlatformRead(after, w.section, w.key), w.reads)
                << file.what << ": [" << w.section << "] " << w.key;
        }
        for (const Query& q : kQueries) {
            bool written = false;
            for (const Write& w : kWrites) {
                written |= _stricmp(q.section, w.section) == 0 && _stricmp(q.key, w.key) == 0;
            }
            if (written) continue;
            EXPECT_EQ(PlatformRead(after, q.section, q.key), PlatformRead(before, q.section, q.key))
                << file.what << ": [" << q.section << "] " << q.key;
        }
    }
}

TEST_F(IniDocumentTest, FileWrittenFromNothingHasThePlatformsBytes) {
    const Write writes[] = {
        {"mtfont", "fontloc", "-1"},
        {"mtfont", "fontname", "宋体"},
        {"ui", "maintitle", "_距中华人民共和国成立100周年还有_"},
        {"mtfont", "top", "100"},
        {"main", "deadline-date", "2049年10月1日"},
        {"ui", "winmid", ""},
        {"mtfont", "fontloc", "3"},
    };
    const std::string path = dir_ + "\\platform.ini";
    IniDocument document = IniDocument::Parse("", To936);
    for (const Write& w : writes) {
        WritePrivateProfileStringA(w.section, w.key, w.value, path.c_str());
        document.Set(w.section, w.key, w.value);
    }
    EXPECT_EQ(document.Bytes(), ReadFileBytes(path));
}

TEST_F(IniDocumentTest, LinesNotWrittenKeepTheirBytes) {
    IniDocument document = IniDocument::Parse(
        "; setting.ini\n[ui]\n  winwidth = 300 \n\n; the deadline\n[main]\ntop=0\n\n\n"
        "[mtfont]\nsize=17",
        To936);
    document.Set("ui", "winwidth", "530");
    document.Set("ui", "wintitle", "T");
    document.Set("main", "top", "1");
    document.Set("mtfont", "color", "255");
    document.Set("ttfont", "size", "20");
    EXPECT_EQ(document.Bytes(),
              "; setting.ini\n[ui]\nwinwidth=530\r\nwintitle=T\r\n\n; the deadline\n[main]\n"
              "top=1\r\n\n\n[mtfont]\nsize=17\r\ncolor=255\r\n[ttfont]\r\nsize=20\r\n");
}

}  // namespace
}  // namespace tq
