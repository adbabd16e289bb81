// How GBK bytes divide into characters, and GB18030's four-byte sequences both ways.
#include "runtime/gbk.h"

#include <string>
#include <string_view>
#include <vector>

#include <gtest/gtest.h>

namespace tq {
namespace {

using namespace std::string_view_literals;

// The units of a whole text, as "S1 P2 F4 L1" (kind and length).
std::string Units(std::string_view text) {
    std::string out;
    for (size_t i = 0; i < text.size();) {
        const GbkUnit unit = GbkUnitAt(text, i);
        out += out.empty() ? "" : " ";
        out += "SPFLO"[static_cast<int>(unit.kind)];
        out += std::to_string(unit.length);
        i += unit.length;
    }
    return out;
}

TEST(GbkUnitTest, EveryScanDividesTextTheSameWay) {
    const struct {
        std::string_view text;
        const char* units;
    } cases[] = {
        {"a\x80\xFF", "S1 S1 S1"},
        {"年b", "P2 S1"},
        {"\xB1|*", "P2 S1"},               // a lead takes a '|' or any other byte
        {"\xB1\r\n", "O2 S1"},             // and a line end, which it cannot spell
        {"\xB1\x7F\xB1\xFF", "O2 O2"},     // nor 7F or FF
        {"ab\xC4", "S1 S1 L1"},            // a lead byte at the end of the text
        {"\xC4\0a"sv, "L1 S1 S1"},         // a lead byte before a NUL
        {"\x81\x30\x81\x30", "F4"},        // U+0080
        {"\xE3\x32\x9A\x35!", "F4 S1"},    // U+10FFFF
        {"\x81\x30\x81", "O2 L1"},         // four bytes cut after three
        {"\x81\x30", "O2"},                // and after two
        {"\x81\x30\x81\0"sv, "O2 L1 S1"},  // or by a NUL
        {"\x81\x30\x81\x30\x81", "F4 L1"},
    };
    for (const auto& c : cases) EXPECT_EQ(Units(c.text), c.units) << testing::PrintToString(c.text);
}

// Every four-byte sequence of the BMP and of the planes beyond is read as one character and
// comes back to the same bytes from its code point; the BMP ones cover every code point
// that GB18030 gives four bytes, each once.
TEST(GbkUnitTest, TheWholeFourByteTableRoundTrips) {
    const auto sequence = [](uint32_t n) {
        return std::string{
            static_cast<char>(0x81 + n / 12600), static_cast<char>(0x30 + n / 1260 % 10),
            static_cast<char>(0x81 + n / 10 % 126), static_cast<char>(0x30 + n % 10)};
    };
    std::vector<bool> seen(0x10000);
    for (uint32_t n = 0; n < 39420; ++n) {
        const std::string bytes = sequence(n);
        ASSERT_EQ(Units(bytes), "F4") << n;
        const uint32_t code_point = DecodeFourBytes(bytes);
        ASSERT_TRUE(code_point >= 0x80 && code_point < 0x10000 && !seen[code_point]) << n;
        seen[code_point] = true;
        ASSERT_EQ(EncodeFourBytes(code_point), bytes) << n;
    }
    const uint32_t beyond = (0x90 - 0x81) * 12600;
    for (uint32_t code_point = 0x10000; code_point < 0x110000; ++code_point) {
        const std::string bytes = sequence(beyond + code_point - 0x10000);
        ASSERT_EQ(EncodeFourBytes(code_point), bytes) << code_point;
        ASSERT_EQ(DecodeFourBytes(bytes), code_point) << code_point;
    }
    EXPECT_EQ(DecodeFourBytes(sequence(39420)), 0xFFFDu);  // unassigned
    EXPECT_EQ(EncodeFourBytes(0x4E2D), "");                // 中 has two bytes
    EXPECT_EQ(EncodeFourBytes(0xD800), "");                // a surrogate has none
    EXPECT_EQ(EncodeFourBytes(0x110000), "");

    std::u16string utf16;
    AppendUtf16(utf16, 0x4E2D);
    AppendUtf16(utf16, 0x1F600);
    EXPECT_EQ(utf16, u"\u4E2D\U0001F600");
}

}  // namespace
}  // namespace tq
