// Reading and writing setting.ini beside the executable through the platform's
// private-profile functions. Typed readers take their defaults from the key table.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "settings/schema.h"

namespace tq {

// The settings file's full path: run_dir + "\setting.ini".
std::string SettingsFilePath();

// Leading characters with codes up to 32 are skipped in file, section and key; when one
// of them is empty afterwards the result is empty and the file is not touched. An empty
// default is passed to the platform as no default. Values longer than the 10240-byte
// buffer (terminating zero included) come back cut.
std::string ReadSetting(std::string_view file, std::string_view section, std::string_view key,
                        std::string_view default_text);
bool WriteSetting(std::string_view file, std::string_view section, std::string_view key,
                  std::string_view value);

// Which default a reader passes where readers differ (the stored window position).
enum class Reader { MainWindow, SettingsWindow };

std::string ReadSetting(const SettingKey& key, Reader reader = Reader::MainWindow);
// Integer keys: to-number, truncated toward zero, low 32 bits.
int32_t ReadInteger(const SettingKey& key, Reader reader = Reader::MainWindow);
// Flags: true exactly when the stored text equals the key's switching literal.
bool ReadFlag(const SettingKey& key);
// False, and counted in failed_setting_writes, when the platform could not write the file
// (read-only, locked, folder not writable).
bool WriteSetting(const SettingKey& key, std::string_view value);

// Writes through the key table that failed since the counter was last reset: the settings
// window resets it before saving and tells the user once when it is no longer 0.
inline int failed_setting_writes = 0;

}  // namespace tq
