// Fuzzes the GIF decoder (first frame on the logical screen) and resampling of its result.
#include <cstddef>
#include <cstdint>

#include "appearance/picture.h"
#include "picture_checks.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    tq::CheckDecodedBitmap(tq::DecodeGif(data, size));
    return 0;
}
