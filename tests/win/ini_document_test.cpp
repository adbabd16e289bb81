// The program's own setting.ini reader and writer against the platform's private-profile
// functions under Wine (code page 936): one table of files, each read both ways for the same
// queries, then written by the program and read back by the platform.
#include "settings/ini_document.h"

#include <cstring>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include "test_support.h"

namespace tq {
namespace {

using namespace std::string_literals;

std::string Encode(UINT code_page, std::u16string_view text) {
    const auto* wide = reinterpret_cast<const wchar_t*>(text.data());
    const int size = static_cast<int>(text.size());
    std::string bytes(WideCharToMultiByte(code_page, 0, wide, size, nullptr, 0, nullptr, nullptr),
                      '\0');
    WideCharToMultiByte(code_page, 0, wide, size, bytes.data(), bytes.size(), nullptr, nullptr);
    return bytes;
}

// Files with a byte-order mark are converted through code page 936, as the platform converts
// them: Wine 8 has no code page 54936 (GB18030), which the program's own converter may use.
std::string To936(std::u16string_view text) { return Encode(936, text); }
std::u16string From936(std::string_view text) {
    const int size = static_cast<int>(text.size());
    std::u16string wide(MultiByteToWideChar(936, 0, text.data(), size, nullptr, 0), u'\0');
    MultiByteToWideChar(936, 0, text.data(), size, reinterpret_cast<wchar_t*>(wide.data()),
                        static_cast<int>(wide.size()));
    return wide;
}

std::string Utf16(std::u16string_view text, bool big_endian) {
    std::string bytes(reinterpret_cast<const char*>(text.data()), text.size() * 2);
    for (size_t i = 0; big_endian && i < bytes.size(); i += 2) std::swap(bytes[i], bytes[i + 1]);
    return bytes;
}

struct IniFile {
    const char* what;
    std::string bytes;
};

// clang-format off
const std::vector<IniFile>& Files() {
    static const std::vector<IniFile> files = {
        {"plain CR LF", "[ui]\r\na=1\r\nb=2\r\n[main]\r\ntop=0\r\n"},
        {"LF, CR alone, no line end at the end", "[ui]\na=1\rb=2\r\n[main]\ntop=3"},
        {"blanks: space, tab, VT, FF, Ctrl-Z",
         " \t[ \tui\f]\x1A\r\n\va \t= \t1 \f\r\n  b=\x1A" "2\x1A\r\nc = \r\n\x1A\r\nd\x1A=4"},
        {"not blanks: A1A1, other control bytes",
         "[ui]\r\n\xA1\xA1" "a=1\r\nb=\xA1\xA1x\xA1\xA1\r\n\x01" "c=3\r\nd=\x01x\x01\r\n"},
        {"one pair of matching quotes removed",
         "[ui]\r\na = \"a b\" \r\nb='q'\r\nc=\"x\r\nd=\"a\"b\"\r\n"},
        {"quotes that do not pair", "[ui]\r\na=\"'\r\nb=\"\r\nc= \"a\"x\r\nd=\"\"\r\n"},
        {"empty values; a key line without '='", "[ui]\r\na=\r\nb\r\nc =\r\n"},
        {"a key line without '=' hides the same key below it", "[ui]\r\na\r\na=1\r\n"},
        {"letter case", "[UI]\r\nA=1\r\na=2\r\n[Main]\r\nTOP=1\r\n"},
        {"repeated section: its first part only",
         "[ui]\r\na=1\r\n[main]\r\ntop=1\r\n[ui]\r\nb=2\r\n[MAIN]\r\na=3\r\n"},
        {"comment lines are keys", "[ui]\r\n;a=1\r\n# b=2\r\na=3\r\n; no equals sign\r\n"},
        {"keys before any section; [] repeats that part", "a=0\r\n[ui]\r\na=1\r\n[]\r\na=2\r\n"},
        {"a header ends at its last ']'",
         "[ui] junk\r\na=1\r\n[main]=3\r\ntop=2\r\n[ui]x]y\r\na=4\r\n"},
        {"'[' without ']' is a key", "[ui]\r\n[x=1\r\n[main\r\na=5\r\n"},
        {"'=' and brackets in values; an empty key", "[ui]\r\na=1=2\r\nb=[x]\r\n=3\r\n"},
        {"GBK trail bytes '[', ']', '\\'",
         "[界面]\r\n标题=你好\r\n[ui\x81]]\r\na=\x81[\x81\\\r\n[ui]\r\nb=\x95]\r\nc=\x81]\x81]\r\n"},
        {"a stray lead byte takes the byte after it",
         "[ui]\r\na=x\x81\r\nb=2\r\nc=\x81\"\r\nd=\x81 \r\ne\x81=5\r\n[main\x81]\r\ntop=1\r\n"},
        {"a stray lead byte before CR alone joins two lines", "[ui]\ra=x\x81\rb=2\rc=3\x81"},
        {"NUL ends names and values", "[ui]\r\na=1 \0x \r\nb\0z=2\r\n\0c=3\r\nd=\x81\0\r\n"s},
        {"GB18030 four-byte name", "[ui]\r\n\x81\x30\x81\x30=4\r\n"},
        {"UTF-8 without a mark is GBK bytes", "[ui]\r\na=\xE4\xB8\xAD\r\nb=\xE4\xB8\r\n"},
        {"very long values",
         "[ui]\r\na=" + std::string(20000, 'x') + "\r\nb=" + To936(std::u16string(5000, u'中'))
             + "\r\n"},
        {"empty file", ""},
        {"blanks only", " \r\n\t\r\n"},
        {"UTF-16 LE with mark",
         "\xFF\xFE" + Utf16(u"[ui]\r\na= 中文 \r\nb=\"é\"\r\n[界面]\r\n标题=你好\r\n", false)},
        {"UTF-16 BE with mark", "\xFE\xFF" + Utf16(u"[ui]\na=中\rb=2\r\n[main]\r\ntop=1", true)},
        {"UTF-8 with mark", "\xEF\xBB\xBF" + Encode(CP_UTF8, u"[ui]\r\na=ü\r\n标题=x\r\n")},
        {"UTF-8 with mark, invalid bytes",
         "\xEF\xBB\xBF[ui]\r\na=\xE4\r\nb=1\r\nc=\xC0\xAF\xED\xA0\x80\xF4\x90\x80\x80\r\n"
         "d=\xF0\x9F\x98\r\ne=\xF0" "ab"},
        {"UTF-16 LE without a mark is not recognised", Utf16(u"[ui]\r\na=1\r\n", false)},
    };
    return files;
}

const char* const kQueries[][2] = {
    {"ui", "a"}, {"ui", "b"}, {"ui", "c"}, {"ui", "d"}, {"ui", "e"}, {"UI", "A"}, {"ui", ""},
    {"ui", ";a"}, {"ui", "# b"}, {"ui", "[x"}, {"ui", "[main\x81]"}, {"ui", "\x81\x30\x81\x30"},
    {"ui", "标题"}, {"main", "a"}, {"main", "top"}, {"", "a"}, {"ui]x", "a"}, {"ui\x81]", "a"},
    {"界面", "标题"},
};

// Applied to every file; the last column is what the platform reads back.
const char* const kWrites[][4] = {
    {"ui", "a", "written", "written"},
    {"UI", "B", "中 文", "中 文"},
    {"main", "top", "1", "1"},
    {"ui", "c", "first\r\nd=injected", "first"},
    {"", "a", "before any section", "before any section"},
    {"ui", "added", "\x81\x30\x81\x30", "??"},  // the program's four-byte text is "??" to 936
    {"new", "k", "x\x81", "x?"},
};
// clang-format on

std::optional<std::string> PlatformRead(const std::string& path, const char* section,
                                        const char* key) {
    std::vector<char> buffer(65536);
    const DWORD n = GetPrivateProfileStringA(section, key, "<default>", buffer.data(),
                                             buffer.size(), path.c_str());
    const std::string text(buffer.data(), n);
    return text == "<default>" ? std::nullopt : std::optional(text);
}

class IniDocumentTest : public ::testing::Test {
protected:
    void SetUp() override { dir_ = MakeTempFolder(); }
    void TearDown() override { RemoveFolder(dir_); }
    // A new name for every file: the platform keeps the files it has read in a cache.
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
        const IniDocument document = IniDocument::Parse(file.bytes, To936, From936);
        for (auto [section, key] : kQueries) {
            EXPECT_EQ(document.Find(section, key), PlatformRead(path, section, key))
                << file.what << ": [" << section << "] " << key;
        }
        if (file.bytes.find_first_of("\xEF\xFE\xFF") != 0) {
            EXPECT_EQ(document.Bytes(), file.bytes) << file.what << ": kept as read";
        }
    }
}

TEST_F(IniDocumentTest, WrittenKeysReadBackAndOtherKeysReadAsBefore) {
    for (const IniFile& file : Files()) {
        const std::string before = Place(file.bytes);
        IniDocument document = IniDocument::Parse(file.bytes, To936, From936);
        for (auto [section, key, value, reads] : kWrites) document.Set(section, key, value);
        const std::string after = Place(document.Bytes());
        for (auto [section, key, value, reads] : kWrites) {
            EXPECT_EQ(PlatformRead(after, section, key), reads)
                << file.what << ": [" << section << "] " << key;
        }
        for (auto [section, key] : kQueries) {
            bool written = false;
            for (auto [s, k, value, reads] : kWrites) {
                written |= _stricmp(section, s) == 0 && _stricmp(key, k) == 0;
            }
            if (written) continue;
            EXPECT_EQ(PlatformRead(after, section, key), PlatformRead(before, section, key))
                << file.what << ": [" << section << "] " << key;
        }
    }
}

// As the platform writes them: the same byte-order mark, then the file in that encoding.
TEST_F(IniDocumentTest, FilesWithAByteOrderMarkAreWrittenBackInTheirOwnEncoding) {
    for (const IniFile& file : Files()) {
        const size_t mark =
            file.bytes.rfind("\xEF\xBB\xBF", 0) == 0                                       ? 3
            : file.bytes.rfind("\xFF\xFE", 0) == 0 || file.bytes.rfind("\xFE\xFF", 0) == 0 ? 2
                                                                                           : 0;
        if (mark == 0) continue;
        const std::string by_platform = Place(file.bytes);
        ASSERT_TRUE(WritePrivateProfileStringA("ui", "a", "written", by_platform.c_str()));
        IniDocument document = IniDocument::Parse(file.bytes, To936, From936);
        document.Set("ui", "a", "written");
        const std::string ours = Place(document.Bytes());
        EXPECT_EQ(ReadFileBytes(ours).substr(0, mark), ReadFileBytes(by_platform).substr(0, mark))
            << file.what;
        for (auto [section, key] : kQueries) {
            EXPECT_EQ(PlatformRead(ours, section, key), PlatformRead(by_platform, section, key))
                << file.what << ": [" << section << "] " << key;
        }
    }
}

TEST_F(IniDocumentTest, LinesNotWrittenKeepTheirBytes) {
    IniDocument document = IniDocument::Parse(
        "; setting.ini\n[ui]\n  winwidth = 300 \n\n; the deadline\n[main]\ntop=0\n\n\n"
        "[mtfont]\nsize=17",
        To936, From936);
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
