#include "settings/settings_file.h"

#include <new>
#include <optional>

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

// setting.ini as the program holds it: the parsed document, the file it was read from with
// the stamp that file had then, and the save in progress. The rule between them:
// - Outside a save the document is what `source_` held at `stamp_`. Every read checks the
//   stamp, so the file still speaks for itself: a file changed by hand or by another copy of
//   the program, or another file now answering for the settings, is read again.
// - During a save the document also holds the writes that wait for it, so it is not read
//   again, and a read of any other file is parsed beside it. The save's end writes this
//   document, and only it, whole to the save's target; from then on it is that file's.
class SettingsFile {
public:
    const IniDocument& Read(const std::string& path) {
        if (!save_) {
            Load(path);
        } else if (path != save_->source) {
            other_ = Parse(path, StampOf(path));
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
            if (!save_->failed) document_.Set(section, key, value);
        } catch (const std::bad_alloc&) {
            save_->failed = true;
        }
    }
    // True when nothing was written or the file was written whole.
    bool End() {
        const Save save = *save_;
        save_.reset();
        if (!save.changed) return true;
        const std::optional<std::string> bytes = save.failed ? std::nullopt : BytesOf(document_);
        if (!bytes || !WriteFileInOneStep(save.target, *bytes)) {
            stamp_.reset();
            source_.clear();  // the file keeps what it had: read it again
            return false;
        }
        source_ = save.target;
        stamp_ = StampOf(save.target);
        return true;
    }

    // A missing file reads as empty; an empty file is the same to every reader, and so is one
    // that cannot be read or held in memory: every reader takes its default.
    static IniDocument Parse(const std::string& path, const std::optional<FileStamp>& stamp) {
        try {
            std::optional<std::string> bytes;
            if (stamp) bytes = ReadWholeFile(path, kLargestSettingsFile);
            return IniDocument::Parse(bytes ? std::move(*bytes) : std::string(), NarrowUtf16,
                                      WidenToUtf16);
        } catch (const std::bad_alloc&) {
            return IniDocument();
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
    struct Save {
        std::string source, target;
        bool changed = false;
        bool failed = false;
    };

    void Load(const std::string& path) {
        std::optional<FileStamp> stamp = StampOf(path);
        if (path == source_ && stamp == stamp_) return;
        document_ = Parse(path, stamp);
        source_ = path;
        stamp_ = stamp;
    }

    std::string source_;  // empty until a file was read
    std::optional<FileStamp> stamp_;
    IniDocument document_;
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
        return settings.End();
    }
    // Another file is being saved: this one is written at once, by itself.
    IniDocument document = SettingsFile::Parse(path, StampOf(path));
    try {
        document.Set(section, key, value);
    } catch (const std::bad_alloc&) {
        return false;
    }
    const std::optional<std::string> bytes = SettingsFile::BytesOf(document);
    return bytes && WriteFileInOneStep(path, *bytes);
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
    if (settings_file().End()) return true;
    ++failed_setting_writes;
    return false;
}

SettingsSave::~SettingsSave() { End(); }

}  // namespace tq
