// Fuzzes text-to-number and the conversions of its result: ToNumber must agree with the C
// library's strtod (the fuzzer runs in the "C" locale), and every whole-number conversion and
// the text form of any result must be defined and consistent with each other.
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>

#include "countdown/arithmetic.h"
#include "runtime/value.h"

namespace {

bool SameNumber(double a, double b) {
    if (std::isnan(a) || std::isnan(b)) return std::isnan(a) && std::isnan(b);
    return std::memcmp(&a, &b, sizeof a) == 0;  // tells -0 from +0
}

void Check(bool condition) {
    if (!condition) std::abort();
}

void CheckWholeNumberConversions(double value) {
    const int32_t low32 = tq::TruncateLow32(value);
    const int32_t integer = tq::ToInteger(value);
    const int16_t low16 = tq::TruncateLow16(value);
    // The nines rule moves a value by at most one whole number.
    const uint32_t step = static_cast<uint32_t>(integer) - static_cast<uint32_t>(low32);
    Check(step == 0 || step == 1 || step == 0xFFFFFFFFu);
    Check(static_cast<uint16_t>(low16) == static_cast<uint16_t>(static_cast<uint32_t>(low32)));
    if (std::isfinite(value) && std::fabs(value) < 2147483647.0) {
        Check(low32 == static_cast<int32_t>(value));
    }
    if (!std::isfinite(value)) Check(low32 == 0 && integer == 0 && low16 == 0);
}

void CheckTextRoundTrip(double value) {
    const std::string text = tq::RealToText(value);
    Check(!text.empty() && text.size() <= 24);
    const double back = tq::ToNumber(text);
    if (std::isnan(value) || std::isinf(value) || value == 0) {
        Check(SameNumber(back, value == 0 ? 0.0 : value));
        return;
    }
    Check(std::fabs(back - value) <= std::fabs(value) * 1e-12);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    const double value = tq::ToNumber(text);

    const std::string normal = tq::NormalizeFullWidth(text.substr(0, text.find('\0')));
    Check(normal.size() <= size);
    Check(tq::NormalizeFullWidth(normal) == normal);
    Check(SameNumber(value, std::strtod(normal.c_str(), nullptr)));

    CheckWholeNumberConversions(value);
    CheckTextRoundTrip(value);
    Check(tq::AccuracyNumber(text) == tq::TruncateLow16(value));

    if (size >= sizeof(double)) {
        double raw;
        std::memcpy(&raw, data, sizeof raw);
        CheckWholeNumberConversions(raw);
        CheckTextRoundTrip(raw);
    }
    return 0;
}
