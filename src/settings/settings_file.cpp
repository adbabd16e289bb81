#include "settings/settings_file.h"

#include <optional>

#include "app/globals.h"
#include "runtime/facilities.h"
#include "runtime/value.h"
#include "settings/ini_document.h"

namespace tq {

namespace {

constexpr size_t kLongestValue = 10239;

std::string SkipLeadingControls(std::string_view text) {
    size_t i = 0;
    while (i < text.size() && static_cast<unsigned char>(text[i]) <= 32) ++i;
    return std::string(text.substr(i));
}

std::string NarrowUtf16(std::u16string_view text) {
    return Narrow({reinterpret_cast<const wchar_t*>(text.data()), text.size()});
}

// The settings file as last read or written here, with the stamp it had then. Every read
// checks the stamp, so the file still speaks for itself: a file changed by hand or by
// another copy of the program is read again.
struct CachedFile {
    std::string path;
    std::optional<FileStamp> stamp;
    IniDocument document;
};
std::optional<CachedFile> cached;

// Set while a SettingsSave lives: the file whose writes wait, and whether any came.
std::optional<std::string> saving;
bool saving_changed = false;

IniDocument& DocumentOf(const std::string& path) {
    // Loaded when the save began, and holding the writes that wait for it.
    if (saving && *saving == path && cached && cached->path == path) return cached->document;
    std::optional<FileStamp> stamp = StampOf(path);
    if (!cached || cached->path != path || cached->stamp != stamp) {
        // A missing file reads as empty; an empty file is the same to every reader.
        const std::string bytes = stamp ? ReadWholeFile(path) : std::string();
        cached = CachedFile{path, stamp, IniDocument::Parse(bytes, NarrowUtf16)};
    }
    return cached->document;
}

bool Store(const std::string& path) {
    if (!WriteFileInOneStep(path, cached->document.Bytes())) {
        cached.reset();  // the file keeps what it had: read it again
        return false;
    }
    cached->stamp = StampOf(path);
    return true;
}

}  // namespace

std::string SettingsFilePath() { return run_dir + "\\setting.ini"; }

std::string ReadSetting(std::string_view file, std::string_view section, std::string_view key,
                        std::string_view default_text) {
    const std::string f = SkipLeadingControls(file);
    const std::string s = SkipLeadingControls(section);
    const std::string k = SkipLeadingControls(key);
    if (f.empty() || s.empty() || k.empty()) return {};
    const std::optional<std::string> value = DocumentOf(f).Find(s, k);
    return std::string(WholeCharactersWithin(value ? *value : default_text, kLongestValue));
}

bool WriteSetting(std::string_view file, std::string_view section, std::string_view key,
                  std::string_view value) {
    const std::string path(file);
    DocumentOf(path).Set(section, key, value);
    if (saving && *saving == path) {
        saving_changed = true;
        return true;
    }
    return Store(path);
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
    const bool written = WriteSetting(SettingsFilePath(), key.section, key.key, value);
    if (!written) ++failed_setting_writes;
    return written;
}

SettingsSave::SettingsSave() {
    const std::string path = SettingsFilePath();
    DocumentOf(path);
    saving = path;
    saving_changed = false;
}

SettingsSave::~SettingsSave() {
    const std::string path = *saving;
    saving.reset();
    if (saving_changed && !Store(path)) ++failed_setting_writes;
}

}  // namespace tq
