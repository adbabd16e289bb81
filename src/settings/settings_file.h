// Reading and writing setting.ini. The program reads and writes the file itself, in GBK bytes
// whatever the system's code page, with the platform's reading rules (settings/ini_document.h).
// Typed readers take their defaults from the key table. Where the file lives:
// settings/file_places.h.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "settings/schema.h"

namespace tq {

// The settings file the readers read: setting.ini in the folder in use, or the one beside the
// executable while the user's folder holds none.
std::string SettingsFilePath();

// Leading characters with codes up to 32 are skipped in file, section and key; when one
// of them is empty afterwards the result is empty and the file is not touched. Values
// longer than 10239 bytes come back cut there, before a character that would not fit
// whole. A file is read again only when it has changed since it was last read or written
// here.
std::string ReadSetting(std::string_view file, std::string_view section, std::string_view key,
                        std::string_view default_text);
// Writes into that file. Outside a SettingsSave of it the file is rewritten at once; inside
// one the value waits for it.
bool WriteSetting(std::string_view file, std::string_view section, std::string_view key,
                  std::string_view value);

// Which default a reader passes where readers differ (the stored window position).
enum class Reader { MainWindow, SettingsWindow };

std::string ReadSetting(const SettingKey& key, Reader reader = Reader::MainWindow);
// Integer keys: to-number, truncated toward zero, low 32 bits.
int32_t ReadInteger(const SettingKey& key, Reader reader = Reader::MainWindow);
// Flags: true exactly when the stored text equals the key's switching literal.
bool ReadFlag(const SettingKey& key);
// Into the settings file of the folder in use (the first write there starts from the file
// the readers read). False, and counted in failed_setting_writes, when the file could not
// be written (read-only, locked, folder not writable).
bool WriteSetting(const SettingKey& key, std::string_view value);

// While one lives, writes go to the file's text in memory (reads see them) and its end
// puts the whole new file in place with one rename: a save stopped at any moment leaves
// the old file or the new one, never a mix. A file with other names (hard links) is instead
// rewritten where it is, so that it stays one file, with the old one kept whole beside it
// until the new one is (runtime/facilities.h, WriteFileInPlace). A save from a file that
// could not be read reads it again at its end and is refused when it still cannot be. A
// failed save counts once in failed_setting_writes.
// A SettingsSave begun while another lives adds its writes to that one.
class SettingsSave {
public:
    SettingsSave();
    ~SettingsSave();
    SettingsSave(const SettingsSave&) = delete;
    SettingsSave& operator=(const SettingsSave&) = delete;

private:
    friend bool WriteSetting(const SettingKey& key, std::string_view value);
    // Ends the save at once; false when the file could not be written.
    bool End();
    bool owner_ = false;
};

// Saves that failed since the counter was last reset: the settings window resets it
// before saving and tells the user once when it is no longer 0.
inline int failed_setting_writes = 0;
// Those of them refused because the file existed but could not be read, even when read again
// at the save: it is not written over, so that no line of it is lost.
inline int unreadable_setting_saves = 0;

}  // namespace tq
