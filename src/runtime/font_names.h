// The family names a font gives itself in its own 'name' table, in every language it names
// itself in. The platform knows a family only by its English name and by its name in the
// system's language; a name stored under another language is found again through these.
// Portable: reads the table's bytes, no platform calls.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace tq {

// The distinct family names (name ID 1) and typographic family names (ID 16) of the Windows
// platform's records (platform 3, UTF-16 big-endian, every encoding and language) of an
// OpenType 'name' table, in the order of the records. Records that reach past the table's
// end, and a table too short for its own header, give nothing.
std::vector<std::u16string> FamilyNamesInNameTable(std::string_view table);

}  // namespace tq
