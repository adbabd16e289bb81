#include "settings/settings_file.h"

#include <vector>

#include <windows.h>

#include "app/globals.h"
#include "runtime/value.h"

namespace tq {

namespace {

constexpr DWORD kReadBufferSize = 10240;

std::string SkipLeadingControls(std::string_view text) {
    size_t i = 0;
    while (i < text.size() && static_cast<unsigned char>(text[i]) <= 32) ++i;
    return std::string(text.substr(i));
}

}  // namespace

std::string SettingsFilePath() { return run_dir + "\\setting.ini"; }

std::string ReadSetting(std::string_view file, std::string_view section, std::string_view key,
                        std::string_view default_text) {
    const std::string f = SkipLeadingControls(file);
    const std::string s = SkipLeadingControls(section);
    const std::string k = SkipLeadingControls(key);
    if (f.empty() || s.empty() || k.empty()) return {};
    const std::string d(default_text);
    std::vector<char> buffer(kReadBufferSize);
    const DWORD n = GetPrivateProfileStringA(s.c_str(), k.c_str(), d.empty() ? nullptr : d.c_str(),
                                             buffer.data(), kReadBufferSize, f.c_str());
    return std::string(buffer.data(), n);
}

bool WriteSetting(std::string_view file, std::string_view section, std::string_view key,
                  std::string_view value) {
    const std::string f(file), s(section), k(key), v(value);
    return WritePrivateProfileStringA(s.c_str(), k.c_str(), v.c_str(), f.c_str()) != FALSE;
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

}  // namespace tq
