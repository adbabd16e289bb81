// Every key of setting.ini, once: its section, the default each reader passes, the kind
// of value and, for flags, the one literal that switches the feature. Readers take their
// defaults from here, so no default is written twice.
#pragma once

#include <string_view>

#include "resources/version.h"

namespace tq {

inline constexpr const char kVersionText[] = TQ_VERSION_TEXT;

enum class SettingKind {
    Text,     // stored as is
    Integer,  // decimal text, read with to-number and truncated toward zero
    Colour,   // decimal text of 0x00BBGGRR
    Flag,     // on exactly when the text equals `flag_on`
    Choice,   // an index stored as text ("0", "1", ...)
    Date,     // date text as the date-time-to-text conversion writes it
};

struct SettingKey {
    const char* section;
    const char* key;
    const char* default_text;
    SettingKind kind;
    const char* flag_on = nullptr;  // the literal that switches a flag on
    // The settings window's boxes fall back to other defaults than the main window for
    // the stored position; null where every reader passes `default_text`.
    const char* settings_window_default = nullptr;
};

namespace keys {

// [main]
inline constexpr SettingKey deadline_date{"main", "deadline-date", "2049年10月1日", SettingKind::Date};
inline constexpr SettingKey deadline_hour{"main", "deadline-hour", "15", SettingKind::Integer};
inline constexpr SettingKey deadline_min{"main", "deadline-min", "0", SettingKind::Integer};
inline constexpr SettingKey deadline_sec{"main", "deadline-sec", "0", SettingKind::Integer};
inline constexpr SettingKey accuracy{"main", "accuracy", "0", SettingKind::Choice};
inline constexpr SettingKey refresh{"main", "refresh", "1", SettingKind::Text};
inline constexpr SettingKey limit{"main", "limit", "1", SettingKind::Flag, "1"};
inline constexpr SettingKey main_top{"main", "top", "0", SettingKind::Flag, "1"};
inline constexpr SettingKey startup{"main", "startup", "1", SettingKind::Flag, "1"};

// [ui]
inline constexpr SettingKey maintitle{"ui", "maintitle", "_距中华人民共和国成立100周年还有_",
                                      SettingKind::Text};
inline constexpr SettingKey wintitle{"ui", "wintitle", "TorvekQuindle " TQ_VERSION_TEXT,
                                     SettingKind::Text};
inline constexpr SettingKey transparency{"ui", "transparency", "175", SettingKind::Integer};
inline constexpr SettingKey winwidth{"ui", "winwidth", "530", SettingKind::Integer};
inline constexpr SettingKey winhight{"ui", "winhight", "200", SettingKind::Integer};
inline constexpr SettingKey winleft{"ui", "winleft", "17", SettingKind::Integer, nullptr, "100"};
inline constexpr SettingKey wintop{"ui", "wintop", "45", SettingKind::Integer, nullptr, "100"};
// "0" places the window at winleft/wintop; any other text centres it.
inline constexpr SettingKey winmid{"ui", "winmid", "1", SettingKind::Flag, "0"};
// "0" is the borderless rounded look; any other text the normal framed window.
inline constexpr SettingKey winshape{"ui", "winshape", "0", SettingKind::Flag, "0"};

// [debug]
inline constexpr SettingKey debug_mode{"debug", "mode", "0", SettingKind::Flag, "1"};

// [mtfont] (title label) and [ttfont] (time label) share their keys; only some
// defaults differ.
struct FontKeys {
    SettingKey fontname, fontloc, size, color, bold, italic, alignment, top, left, width, hight;
};

#define TQ_FONT_KEYS(section, top_default, hight_default)                     \
    FontKeys {                                                                \
        {section, "fontname", "宋体", SettingKind::Text},                     \
            {section, "fontloc", "-1", SettingKind::Integer},                 \
            {section, "size", "17", SettingKind::Integer},                    \
            {section, "color", "8388608", SettingKind::Colour},               \
            {section, "bold", "1", SettingKind::Flag, "1"},                   \
            {section, "italic", "0", SettingKind::Flag, "1"},                 \
            {section, "alignment", "1", SettingKind::Choice},                 \
            {section, "top", top_default, SettingKind::Integer},              \
            {section, "left", "0", SettingKind::Integer},                     \
            {section, "width", "530", SettingKind::Integer},                  \
            {section, "hight", hight_default, SettingKind::Integer},          \
    }

inline constexpr FontKeys mtfont = TQ_FONT_KEYS("mtfont", "100", "55");
inline constexpr FontKeys ttfont = TQ_FONT_KEYS("ttfont", "140", "40");
#undef TQ_FONT_KEYS

}  // namespace keys
}  // namespace tq
