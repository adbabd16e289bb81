// setting.ini read and written through the real private-profile functions under Wine.
#include "settings/settings_file.h"

#include <gtest/gtest.h>

#include "app/globals.h"
#include "runtime/facilities.h"
#include "runtime/value.h"
#include "settings/picture_store.h"
#include "test_support.h"

namespace tq {
namespace {

class SettingsFileTest : public ::testing::Test {
protected:
    void SetUp() override {
        dir_ = MakeTempFolder();
        run_dir = dir_;
    }
    void TearDown() override { RemoveFolder(dir_); }

    void WriteIni(const std::string& text) { WriteFileBytes(SettingsFilePath(), text); }

    std::string dir_;
};

TEST_F(SettingsFileTest, MissingFileSectionOrKeyGivesTheTableDefault) {
    EXPECT_EQ(ReadSetting(keys::transparency), "175");
    EXPECT_FALSE(FileExistsForTest(SettingsFilePath())) << "reading must not create the file";
    WriteIni("[ui]\r\nwinwidth=300\r\n");
    EXPECT_EQ(ReadSetting(keys::transparency), "175");
    EXPECT_EQ(ReadSetting(keys::deadline_date), "2049年10月1日");
    EXPECT_EQ(ReadSetting(keys::wintitle), "TorvekQuindle 2.0");
    EXPECT_EQ(ReadInteger(keys::winwidth), 300);
}

TEST_F(SettingsFileTest, WindowPositionDefaultsDifferBetweenMainWindowAndSettingsWindow) {
    EXPECT_EQ(ReadInteger(keys::winleft), 17);
    EXPECT_EQ(ReadInteger(keys::wintop), 45);
    EXPECT_EQ(ReadInteger(keys::winleft, Reader::SettingsWindow), 100);
    EXPECT_EQ(ReadInteger(keys::wintop, Reader::SettingsWindow), 100);
    EXPECT_EQ(ReadSetting(keys::startup), "1");
    EXPECT_EQ(ReadSetting(keys::ttfont.top), "140");
    EXPECT_EQ(ReadSetting(keys::mtfont.top), "100");
    EXPECT_EQ(ReadSetting(keys::ttfont.hight), "40");
}

TEST_F(SettingsFileTest, EmptyValueIsEmptyTextNotTheDefault) {
    WriteIni("[mtfont]\r\nsize=\r\n");
    EXPECT_EQ(ReadSetting(keys::mtfont.size), "");
    EXPECT_EQ(ReadInteger(keys::mtfont.size), 0);
}

TEST_F(SettingsFileTest, BlanksAndEnclosingQuotesAreTrimmed) {
    WriteIni("[ui]\r\nwintitle=   spaced out   \r\nmaintitle=\"_ abc _\"\r\n");
    EXPECT_EQ(ReadSetting(keys::wintitle), "spaced out");
    EXPECT_EQ(ReadSetting(keys::maintitle), "_ abc _");
}

TEST_F(SettingsFileTest, LongValuesAreCutAtTheBuffer) {
    const std::string value(20000, 'x');
    WriteIni("[ui]\r\nwintitle=" + value + "\r\n");
    EXPECT_EQ(ReadSetting(keys::wintitle), std::string(10239, 'x'));
}

TEST_F(SettingsFileTest, LeadingControlCharactersAreSkippedAndEmptyNamesReadNothing) {
    WriteIni("[ui]\r\nwinwidth=321\r\n");
    EXPECT_EQ(ReadSetting(" \t" + SettingsFilePath(), "\x01 ui", "  winwidth", "9"), "321");
    EXPECT_EQ(ReadSetting(SettingsFilePath(), "  ", "winwidth", "9"), "");
    EXPECT_EQ(ReadSetting(SettingsFilePath(), "ui", "\t", "9"), "");
    EXPECT_EQ(ReadSetting(" ", "ui", "winwidth", "9"), "");
    // An empty default is passed as no default.
    EXPECT_EQ(ReadSetting(SettingsFilePath(), "ui", "nosuchkey", ""), "");
}

TEST_F(SettingsFileTest, FlagsSwitchOnlyOnTheirLiteral) {
    WriteIni("[main]\r\ntop=yes\r\nlimit=\r\n[ui]\r\nwinmid=\r\nwinshape=2\r\n");
    EXPECT_FALSE(ReadFlag(keys::main_top));
    EXPECT_FALSE(ReadFlag(keys::limit)) << "an empty limit does not allow counting below zero";
    EXPECT_FALSE(ReadFlag(keys::winmid)) << "only \"0\" selects the stored position";
    EXPECT_FALSE(ReadFlag(keys::winshape)) << "only \"0\" selects the default look";
    WriteIni("[main]\r\ntop=1\r\n[ui]\r\nwinmid=0\r\nwinshape=0\r\n");
    EXPECT_TRUE(ReadFlag(keys::main_top));
    EXPECT_TRUE(ReadFlag(keys::limit)) << "a missing limit defaults to \"1\"";
    EXPECT_TRUE(ReadFlag(keys::winmid));
    EXPECT_TRUE(ReadFlag(keys::winshape));
}

TEST_F(SettingsFileTest, TransparencyKeepsItsLow16Bits) {
    WriteIni("[ui]\r\ntransparency=70000\r\n");
    EXPECT_EQ(TruncateLow16(ReadInteger(keys::transparency)), 4464);
}

TEST_F(SettingsFileTest, FirstApplyWritesSectionsAndKeysInFirstWrittenOrder) {
    const keys::FontKeys* fonts[] = {&keys::mtfont, &keys::ttfont};
    for (const keys::FontKeys* f : fonts) {
        for (const SettingKey* k : {&f->fontloc, &f->fontname, &f->size, &f->color, &f->bold,
                                    &f->italic}) {
            WriteSetting(*k, k->default_text);
        }
        if (f == &keys::mtfont) WriteSetting(keys::maintitle, keys::maintitle.default_text);
        for (const SettingKey* k : {&f->alignment, &f->top, &f->left, &f->width, &f->hight}) {
            WriteSetting(*k, k->default_text);
        }
    }
    for (const SettingKey* k : {&keys::transparency, &keys::winwidth, &keys::winhight,
                                &keys::wintop, &keys::winleft, &keys::deadline_date,
                                &keys::deadline_hour, &keys::deadline_min, &keys::deadline_sec,
                                &keys::refresh, &keys::winshape, &keys::wintitle,
                                &keys::accuracy, &keys::winmid, &keys::limit, &keys::main_top,
                                &keys::startup}) {
        WriteSetting(*k, k->default_text);
    }
    // Rewriting a key keeps its place.
    WriteSetting(keys::mtfont.fontloc, "3");

    const std::string file = ReadFileBytes(SettingsFilePath());
    std::vector<std::string> sections;
    std::vector<std::string> main_keys;
    std::string current;
    for (const std::string& line : SplitLines(file)) {
        if (line.size() > 2 && line.front() == '[') {
            current = line.substr(1, line.size() - 2);
            sections.push_back(current);
        } else if (current == "main" && line.find('=') != std::string::npos) {
            main_keys.push_back(line.substr(0, line.find('=')));
        }
    }
    EXPECT_EQ(sections, (std::vector<std::string>{"mtfont", "ui", "ttfont", "main"}));
    EXPECT_EQ(main_keys, (std::vector<std::string>{"deadline-date", "deadline-hour", "deadline-min",
                                                   "deadline-sec", "refresh", "accuracy", "limit",
                                                   "top", "startup"}));
    EXPECT_EQ(ReadSetting(keys::mtfont.fontloc), "3");
    EXPECT_EQ(SplitLines(file)[1], "fontloc=3");
}

// The user's folder (%APPDATA%\TorvekQuindle) is in use once it holds setting.ini or
// background.pic, whichever folder the program runs from; an empty one counts only while the
// program's folder refuses new files (a missing program folder is one).
TEST_F(SettingsFileTest, TheUsersFolderIsInUseWhenItHoldsTheFilesOrTheProgramsFolderRefusesThem) {
    char saved[MAX_PATH] = {};
    GetEnvironmentVariableA("APPDATA", saved, MAX_PATH);
    const std::string app_data = MakeTempFolder(), user = app_data + "\\TorvekQuindle";
    SetEnvironmentVariableA("APPDATA", app_data.c_str());
    CreateDirectoryA(user.c_str(), nullptr);
    WriteIni("[ui]\r\nwinwidth=222\r\n");

    EXPECT_TRUE(WriteSetting(keys::winhight, "333"));
    EXPECT_EQ(ReadFileBytes(dir_ + "\\setting.ini"), "[ui]\r\nwinwidth=222\r\nwinhight=333\r\n");
    EXPECT_FALSE(FileExistsForTest(user + "\\setting.ini"));

    const struct {
        const char* file;
        const char* bytes;
        const char* saved;  // the user's setting.ini after a write
    } held[] = {
        {"\\setting.ini", "[ui]\r\nwinwidth=111\r\n", "[ui]\r\nwinwidth=111\r\nwinhight=444\r\n"},
        // the first save starts from the settings beside the executable
        {"\\background.pic", "", "[ui]\r\nwinwidth=222\r\nwinhight=444\r\n"},
    };
    for (const auto& h : held) {
        SCOPED_TRACE(h.file);
        run_dir = MakeTempFolder();  // another run, from a folder that takes new files
        WriteIni("[ui]\r\nwinwidth=222\r\n");
        WriteFileBytes(user + h.file, h.bytes);
        EXPECT_TRUE(WriteSetting(keys::winhight, "444"));
        EXPECT_EQ(ReadFileBytes(user + "\\setting.ini"), h.saved);
        EXPECT_EQ(ReadFileBytes(run_dir + "\\setting.ini"), "[ui]\r\nwinwidth=222\r\n");
        DeleteFileA((user + "\\setting.ini").c_str());
        DeleteFileA((user + h.file).c_str());
        RemoveFolder(run_dir);
    }

    run_dir = dir_ + "\\gone";
    EXPECT_EQ(ReadInteger(keys::winwidth), 530);
    EXPECT_TRUE(WriteSetting(keys::winwidth, "555"));
    EXPECT_EQ(ReadFileBytes(user + "\\setting.ini"), "[ui]\r\nwinwidth=555\r\n");

    SetEnvironmentVariableA("APPDATA", saved);
    RemoveFolder(app_data);
}

// setting.ini and background.pic above their limits are passed over unread, as unreadable ones
// are: the defaults, the built-in picture. (Their ends are holes: the sizes cost no disk.)
TEST_F(SettingsFileTest, FilesAboveTheirLimitsReadAsMissing) {
    for (const uint64_t size : {uint64_t{32} << 20, (uint64_t{32} << 20) + 1}) {
        WriteFileBytes(dir_ + "\\setting.ini", "[ui]\r\nwinwidth=300\r\n", size);
        EXPECT_EQ(ReadInteger(keys::winwidth), size == uint64_t{32} << 20 ? 300 : 530) << size;
    }
    WriteFileBytes(dir_ + "\\background.pic", "BM", (128 << 20) + 1);
    EXPECT_TRUE(LoadBackgroundPicture() == DefaultPictureBytes());
}

// A save in place of a hard-linked setting.ini stopped in the middle leaves the old file whole
// beside it: the readers take that, and the next save finishes the file under both names.
TEST_F(SettingsFileTest, AStoppedSaveOfAHardLinkedFileLeavesTheOldOneWhole) {
    WriteIni("[ui]\r\nwinwidth=300\r\n");
    const std::string kept = dir_ + "\\kept.ini", backup = BackupDuringSave(SettingsFilePath());
    ASSERT_TRUE(CreateHardLinkA(kept.c_str(), SettingsFilePath().c_str(), nullptr));
    WriteFileBytes(backup, "[ui]\r\nwinwidth=300\r\n");
    WriteFileBytes(SettingsFilePath(), "[ui]\r\nwin");  // cut in the middle of the rewrite
    EXPECT_EQ(ReadInteger(keys::winwidth), 300);
    EXPECT_TRUE(WriteSetting(keys::winhight, "210"));
    EXPECT_EQ(ReadFileBytes(kept), "[ui]\r\nwinwidth=300\r\nwinhight=210\r\n");
    EXPECT_FALSE(FileExistsForTest(backup));
    EXPECT_TRUE(HasOtherNames(SettingsFilePath()));
}

// Where the platform lists a file's names, a save replaces each name in one rename: both names
// are then the new file (another file than before), and no step left anything beside them.
TEST_F(SettingsFileTest, ASavedHardLinkedFileIsTheNewFileUnderEveryName) {
    WriteIni("[ui]\r\nwinwidth=300\r\n");
    static std::string kept;
    kept = dir_ + "\\persist\\setting.ini";
    CreateDirectoryA((dir_ + "\\persist").c_str(), nullptr);
    ASSERT_TRUE(CreateHardLinkA(kept.c_str(), SettingsFilePath().c_str(), nullptr));
    other_names_for_tests = [](const std::wstring&) {
        return std::optional<std::vector<std::wstring>>({Widen(kept)});
    };
    const auto index_of = [](const std::string& path) {
        HANDLE file = CreateFileA(path.c_str(), FILE_READ_ATTRIBUTES, FILE_SHARE_READ, nullptr,
                                  OPEN_EXISTING, 0, nullptr);
        BY_HANDLE_FILE_INFORMATION information{};
        GetFileInformationByHandle(file, &information);
        CloseHandle(file);
        return uint64_t{information.nFileIndexHigh} << 32 | information.nFileIndexLow;
    };
    const uint64_t old_index = index_of(kept);
    const bool written = WriteSetting(keys::winhight, "210");
    other_names_for_tests = nullptr;
    EXPECT_TRUE(written);
    EXPECT_EQ(ReadFileBytes(kept), "[ui]\r\nwinwidth=300\r\nwinhight=210\r\n");
    EXPECT_NE(index_of(kept), old_index);
    EXPECT_EQ(index_of(kept), index_of(SettingsFilePath()));
    EXPECT_FALSE(FileExistsForTest(kept + ".new"));
    EXPECT_FALSE(FileExistsForTest(SettingsFilePath() + ".new"));
}

}  // namespace
}  // namespace tq
