// Fuzzes the BMP reader and resampling of its result. The reader is ours alone, so it gets a
// stronger check as well: the same file with the sign of its height flipped (bottom-up rows
// read as top-down) must decode to the same picture upside down.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <limits>
#include <vector>

#include "appearance/picture.h"
#include "picture_checks.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace tq;
    const Bitmap bitmap = DecodeBmp(data, size);
    CheckDecodedBitmap(bitmap);

    constexpr size_t kHeightOffset = 22;  // file header, header size, width
    if (bitmap.empty() || size < kHeightOffset + 4) return 0;
    std::vector<uint8_t> flipped(data, data + size);
    int32_t height;
    std::memcpy(&height, &flipped[kHeightOffset], 4);
    Check(height != std::numeric_limits<int32_t>::min());
    height = -height;
    std::memcpy(&flipped[kHeightOffset], &height, 4);
    const Bitmap mirror = DecodeBmp(flipped.data(), flipped.size());
    Check(mirror.width == bitmap.width && mirror.height == bitmap.height);
    const size_t width = static_cast<size_t>(bitmap.width);
    for (int y = 0; y < bitmap.height; ++y) {
        const uint32_t* row = &bitmap.pixels[y * width];
        const uint32_t* other = &mirror.pixels[(bitmap.height - 1 - y) * width];
        Check(std::memcmp(row, other, width * sizeof(uint32_t)) == 0);
    }
    return 0;
}
