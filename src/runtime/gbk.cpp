#include "runtime/gbk.h"

#include <iterator>

#include "runtime/gb18030_ranges.h"

namespace tq {

namespace {

// GB18030 numbers its four-byte sequences from 0x81308130; those of the planes beyond the
// BMP start at 0x90308130.
constexpr uint32_t kSupplementarySequences = (0x90 - 0x81) * 12600;

constexpr bool IsDigitByte(unsigned char b) { return b >= 0x30 && b <= 0x39; }

}  // namespace

GbkUnit GbkUnitAt(std::string_view text, size_t i) {
    const auto byte = [&](size_t k) {
        return i + k < text.size() ? static_cast<unsigned char>(text[i + k]) : 0;
    };
    if (!IsGbkLeadByte(byte(0))) return {GbkUnitKind::Single, 1};
    if (i + 1 >= text.size() || byte(1) == 0) return {GbkUnitKind::LoneLead, 1};
    if (i + 3 < text.size() && IsDigitByte(byte(1)) && IsGbkLeadByte(byte(2)) &&
        IsDigitByte(byte(3))) {
        return {GbkUnitKind::FourBytes, 4};
    }
    return {IsGbkTrailByte(byte(1)) ? GbkUnitKind::Pair : GbkUnitKind::OddPair, 2};
}

uint32_t DecodeFourBytes(std::string_view bytes) {
    const auto b = [&](size_t k) {
        return static_cast<uint32_t>(static_cast<unsigned char>(bytes[k]));
    };
    const uint32_t n =
        (b(0) - 0x81) * 12600 + (b(1) - 0x30) * 1260 + (b(2) - 0x81) * 10 + (b(3) - 0x30);
    if (n < gb18030::kBmpSequenceEnd) {
        const gb18030::Run* run = std::end(gb18030::kBmpRuns);
        while (--run > gb18030::kBmpRuns && run->first_sequence > n) {
        }
        return run->first_code_point + (n - run->first_sequence);
    }
    if (n >= kSupplementarySequences && n - kSupplementarySequences < 0x100000)
        return 0x10000 + (n - kSupplementarySequences);
    return 0xFFFD;
}

std::string EncodeFourBytes(uint32_t code_point) {
    uint32_t n;
    if (code_point >= 0x110000) return {};
    if (code_point >= 0x10000) {
        n = kSupplementarySequences + (code_point - 0x10000);
    } else {
        const gb18030::Run* run = std::end(gb18030::kBmpRuns);
        while (--run > gb18030::kBmpRuns && run->first_code_point > code_point) {
        }
        const uint32_t end = run + 1 == std::end(gb18030::kBmpRuns) ? gb18030::kBmpSequenceEnd
                                                                    : run[1].first_sequence;
        n = run->first_sequence + (code_point - run->first_code_point);
        if (code_point < run->first_code_point || n >= end) return {};
    }
    return {static_cast<char>(0x81 + n / 12600), static_cast<char>(0x30 + n / 1260 % 10),
            static_cast<char>(0x81 + n / 10 % 126), static_cast<char>(0x30 + n % 10)};
}

}  // namespace tq
