#include "settings/settings_file.h"

#include <new>
#include <optional>
#include <vector>

#include "app/globals.h"
#include "runtime/facilities.h"
#include "runtime/value.h"
#include "settings/file_places.h"
#include "settings/ini_document.h"

namespace tq {

namespace {

constexpr size_t kLongestValue = 10239;
// Room for the twelve-megabyte files that work today and more. A larger file is read as an
// unreadable one is, as no settings at all: the document and its conversion from UTF-16 take
// up to four times the file's size, which a 32-bit process may not find.
constexpr uint64_t kLargestSettingsFile = 32 << 20;

std::string SkipLeadingControls(std::string_view text) {
    size_t i = 0;
    while (i < text.size() && static_cast<unsigned char>(text[i]) <= 32) ++i;
    return std::string(text.substr(i));
}

std::string NarrowUtf16(std::u16string_view text) {
    return Narrow({reinterpret_cast<const wchar_t*>(text.data()), text.size()});
}

std::u16string WidenToUtf16(std::string_view text) {
    const std::wstring wide = Widen(text);
    return {reinterpret_cast<const char16_t*>(wide.data()), wide.size()};
}

// A setting.ini with other names (hard links) stays one file under all of them; any other file
// is replaced in one step. A backup that a stopped save in place left beside the file goes
// once the file is whole and new.
bool WriteSettingsBytes(const std::string& path, std::string_view bytes) {
    if (!WriteFileKeepingNames(path, bytes)) return false;
    const std::string backup = BackupDuringSave(path);
    return !FileExists(backup) || DeleteFileAt(backup);
}

// A file read: its document, and whether it existed but could not be read (held by another
// program without sharing, a cloud file not at hand, above the size limit, no memory). Such a
// file reads as no settings, every reader takes its default, and it is never written over.
struct ParsedFile {
    IniDocument document;
    bool unreadable = false;
};

enum class SaveOutcome { Saved, NotWritten, Unreadable };

// setting.ini as the program holds it: the parsed document, the file it was read from with
// the stamp that file had then, and the save in progress. The rule between them:
// - Outside a save the document is what `source_` held at `stamp_`. Every read checks the
//   stamp, so the file still speaks for itself: a file changed by hand or by another copy of
//   the program, or another file now answering for the settings, is read again.
// - During a save the document also holds the writes that wait for it, so it is not read
//   again, and a read of any other file is parsed beside it. The save's end writes this
//   document, and only it, whole to the save's target; from then on it is that file's.
// - A file that could not be read is read again at every read until it can be, and a save
//   from it reads it again at its end and writes its values into what the file holds then;
//   when it still cannot be read, the save is refused and the file keeps its bytes.
class SettingsFile {
public:
    const IniDocument& Read(const std::string& path) {
        if (!save_) {
            Load(path);
        } else if (path != save_->source) {
            other_ = Parse(path, StampOf(path)).document;
            return other_;
        }
        return document_;
    }

    // Writes read from `source` (the settings reader's file, or the preset it starts from)
    // and go to `target` when the save ends. False when a save is already in progress: its
    // end writes this one's values too.
    bool Begin(const std::string& source, const std::string& target) {
        if (save_) return false;
        Load(source);
        save_ = Save{source, target};
        return true;
    }
    bool Saving(const std::string& path) const { return save_ && save_->source == path; }
    // A document that finds no memory for the value fails the save.
    void Set(std::string_view section, std::string_view key, std::string_view value) {
        save_->changed = true;
        try {
            if (save_->failed) return;
            document_.Set(section, key, value);
            if (unreadable_) {
                save_->writes.push_back(
                    {std::string(section), std::string(key), std::string(value)});
            }
        } catch (const std::bad_alloc&) {
            save_->failed = true;
        }
    }
    // Saved also when nothing was written.
    SaveOutcome End() {
        Save save = std::move(*save_);
        save_.reset();
        if (!save.changed) return SaveOutcome::Saved;
        if (unreadable_ && !save.failed) {
            ParsedFile again = Parse(save.source, StampOf(save.source));
            if (again.unreadable) {
                source_.clear();  // read it again at the next read
                return SaveOutcome::Unreadable;
            }
            try {
                for (const Write& write : save.writes) {
                    again.document.Set(write.section, write.key, write.value);
                }
                document_ = std::move(again.document);
                unreadable_ = false;
            } catch (const std::bad_alloc&) {
                save.failed = true;
            }
        }
        const std::optional<std::string> bytes = save.failed ? std::nullopt : BytesOf(document_);
        if (!bytes || !WriteSettingsBytes(save.target, *bytes)) {
            stamp_.reset();
            source_.clear();  // the file keeps what it had: read it again
            return SaveOutcome::NotWritten;
        }
        source_ = save.target;
        stamp_ = StampOf(save.target);
        return SaveOutcome::Saved;
    }

    // A missing file reads as empty, and an empty file is the same to every reader. A backup
    // left beside the file by a save in place that was stopped is the whole old file, while
    // the file itself may be cut: it is read instead.
    static ParsedFile Parse(const std::string& path, const std::optional<FileStamp>& stamp) {
        if (!stamp) return {};
        try {
            const std::string backup = BackupDuringSave(path);
            std::optional<std::string> bytes =
                ReadWholeFile(FileExists(backup) ? backup : path, kLargestSettingsFile);
            if (!bytes) return {IniDocument(), true};
            return {IniDocument::Parse(std::move(*bytes), NarrowUtf16, WidenToUtf16), false};
        } catch (const std::bad_alloc&) {
            return {IniDocument(), true};
        }
    }
    // The file's new bytes; none when they find no memory, which fails the save.
    static std::optional<std::string> BytesOf(const IniDocument& document) {
        try {
            return document.Bytes();
        } catch (const std::bad_alloc&) {
            return std::nullopt;
        }
    }

private:
    struct Write {
        std::string section, key, value;
    };
    struct Save {
        std::string source, target;
        bool changed = false;
        bool failed = false;
        std::vector<Write> writes;  // kept while the source could not be read
    };

    void Load(const std::string& path) {
        std::optional<FileStamp> stamp = StampOf(path);
        if (path == source_ && stamp == stamp_ && !unreadable_) return;
        ParsedFile read = Parse(path, stamp);
        document_ = std::move(read.document);
        unreadable_ = read.unreadable;
        source_ = path;
        stamp_ = stamp;
    }

    std::string source_;  // empty until a file was read
    std::optional<FileStamp> stamp_;
    IniDocument document_;
    bool unreadable_ = false;  // document_ stands for a file that could not be read
    IniDocument other_;
    std::optional<Save> save_;
};

SettingsFile& settings_file() {
    static SettingsFile file;
    return file;
}

}  // namespace

std::string SettingsFilePath() { return PathToRead(kSettingsFileName); }

std::string ReadSetting(std::string_view file, std::string_view section, std::string_view key,
                        std::string_view default_text) {
    const std::string f = SkipLeadingControls(file);
    const std::string s = SkipLeadingControls(section);
    const std::string k = SkipLeadingControls(key);
    if (f.empty() || s.empty() || k.empty()) return {};
    std::optional<std::string> value;
    try {
        value = settings_file().Read(f).Find(s, k);
    } catch (const std::bad_alloc&) {
        // A value the process finds no memory for reads as missing: the default.
    }
    return std::string(WholeCharactersWithin(value ? *value : default_text, kLongestValue));
}

bool WriteSetting(std::string_view file, std::string_view section, std::string_view key,
                  std::string_view value) {
    const std::string path(file);
    SettingsFile& settings = settings_file();
    if (settings.Saving(path)) {
        settings.Set(section, key, value);
        return true;
    }
    if (settings.Begin(path, path)) {
        settings.Set(section, key, value);
        return settings.End() == SaveOutcome::Saved;
    }
    // Another file is being saved: this one is written at once, by itself.
    ParsedFile read = SettingsFile::Parse(path, StampOf(path));
    if (read.unreadable) return false;
    try {
        read.document.Set(section, key, value);
    } catch (const std::bad_alloc&) {
        return false;
    }
    const std::optional<std::string> bytes = SettingsFile::BytesOf(read.document);
    return bytes && WriteSettingsBytes(path, *bytes);
}

std::string ReadSetting(const SettingKey& key, Reader reader) {
    const char* default_text = reader == Reader::SettingsWindow && key.settings_window_default
                                   ? key.settings_window_default
                                   : key.default_text;
    return ReadSetting(SettingsFilePath(), key.section, key.key, default_text);
}

int32_t ReadInteger(const SettingKey& key, Reader reader) {
    return TruncateLow32(ToNumber(ReadSetting(key, reader)));
}

bool ReadFlag(const SettingKey& key) { return ReadSetting(key) == key.flag_on; }

bool WriteSetting(const SettingKey& key, std::string_view value) {
    SettingsSave save;
    settings_file().Set(key.section, key.key, value);
    return save.owner_ ? save.End() : true;
}

SettingsSave::SettingsSave() {
    // Where the file goes is found out first: it decides which file the reads now come from.
    const std::string target = PathToWrite(kSettingsFileName);
    owner_ = settings_file().Begin(SettingsFilePath(), target);
}

bool SettingsSave::End() {
    if (!owner_) return true;
    owner_ = false;
    const SaveOutcome outcome = settings_file().End();
    if (outcome == SaveOutcome::Saved) return true;
    if (outcome == SaveOutcome::Unreadable) ++unreadable_setting_saves;
    ++failed_setting_writes;
    return false;
}

SettingsSave::~SettingsSave() { End(); }

}  // namespace tq
