// What the picture fuzzers require of every decoded bitmap: a size that agrees with its pixels
// and lies within the decoding limits, opaque pixels, and a resampled copy with the same
// properties. A broken requirement aborts, which libFuzzer reports with the input.
#pragma once

#include <cstdint>
#include <cstdlib>

#include "appearance/picture.h"

namespace tq {

inline void Check(bool condition) {
    if (!condition) std::abort();
}

inline void CheckOpaque(const Bitmap& bitmap) {
    for (uint32_t pixel : bitmap.pixels) Check(pixel >> 24 == 0xFF);
}

inline void CheckDecodedBitmap(const Bitmap& bitmap) {
    if (bitmap.empty()) {
        Check(bitmap.width == 0 && bitmap.height == 0);
        return;
    }
    Check(PictureSizeAllowed(bitmap.width, bitmap.height));
    Check(bitmap.pixels.size() == static_cast<size_t>(bitmap.width) * bitmap.height);
    CheckOpaque(bitmap);

    // A size that shrinks one way and grows the other for most inputs.
    const Bitmap scaled = ScaleBitmap(bitmap, 53, 20);
    Check(scaled.width == 53 && scaled.height == 20 && scaled.pixels.size() == 53 * 20);
    CheckOpaque(scaled);
}

}  // namespace tq
