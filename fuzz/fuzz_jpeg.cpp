// Fuzzes the JPEG decoder at full size and at the default window's size. Besides the checks
// on every bitmap, both decodes must agree on whether the bytes are a picture, and the fitted
// one must be no larger than the full one and cover the window unless it is the full size.
#include <cstddef>
#include <cstdint>

#include "appearance/picture.h"
#include "picture_checks.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace tq;
    constexpr int kWindowWidth = 530;
    constexpr int kWindowHeight = 200;
    const Bitmap full = DecodeJpeg(data, size);
    const Bitmap fitted = DecodeJpeg(data, size, kWindowWidth, kWindowHeight);
    CheckDecodedBitmap(full);
    CheckDecodedBitmap(fitted);
    Check(full.empty() == fitted.empty());
    if (!full.empty()) {
        Check(fitted.width <= full.width && fitted.height <= full.height);
        const bool covers = fitted.width >= kWindowWidth && fitted.height >= kWindowHeight;
        Check(covers || (fitted.width == full.width && fitted.height == full.height));
    }
    return 0;
}
