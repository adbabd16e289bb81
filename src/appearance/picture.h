// Decoding of background-picture bytes (JPEG, GIF or BMP) into a 32-bit top-down bitmap,
// and resampling such a bitmap to the size the window shows it at. Free of platform
// headers, so the unit tests, fuzzers and benchmarks run it natively.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace tq {

// Pixels run row by row from the top; each is 0xAARRGGBB, so on the little-endian targets the
// bytes in memory are B, G, R, A: the layout of a top-down 32-bit DIB. Decoded pictures are
// always opaque (alpha 255): the window blends as a whole, never per pixel.
struct Bitmap {
    int width = 0;
    int height = 0;
    std::vector<uint32_t> pixels;

    bool empty() const { return pixels.empty(); }
};

// The largest picture any decoder accepts. Dimensions are checked against these, in 64-bit
// arithmetic, as soon as a header is read and before anything is allocated for the pixels;
// at the limit the bitmap alone takes 256 MiB.
constexpr int kMaxPictureSide = 16384;
constexpr int64_t kMaxPicturePixels = int64_t{64} * 1024 * 1024;

// True when a width x height bitmap is within the limits above (both sides at least 1).
bool PictureSizeAllowed(int64_t width, int64_t height);

// Recognises the format by its first bytes (JPEG FF D8, "GIF87a"/"GIF89a", "BM") and decodes
// it. Anything unrecognised, malformed, truncated or over the limits gives an empty bitmap.
// A positive want_width / want_height lets a JPEG be decoded smaller (see DecodeJpeg); GIF
// and BMP are always decoded at full size. A picture this process finds no memory for gives an
// empty bitmap too, here and in ScaleBitmap.
Bitmap DecodePicture(const uint8_t* data, size_t size, int want_width = 0, int want_height = 0);

// Baseline or progressive JPEG (grayscale, YCbCr, RGB, CMYK or YCCK). With a positive want
// size the picture is decoded at the smallest of libjpeg's scales 1/8, 2/8 ... 8/8 whose
// output still covers want_width x want_height (a dimension that is not positive places no
// requirement), so memory follows the window rather than the picture. Image data that runs
// out inside a scan gives an empty bitmap, never a partly grey one; a file missing only its
// end marker decodes, one that ends between the scans of a progressive picture shows the
// quality reached, and other recoverable corruption is decoded as libjpeg recovers it.
Bitmap DecodeJpeg(const uint8_t* data, size_t size, int want_width = 0, int want_height = 0);

// First image of a GIF, placed on the logical screen at its offset and clipped to the
// screen. The rest of the screen and the frame's transparent pixels take the background
// colour of the global colour table (black without one). A colour index outside the table
// in use makes the picture invalid.
Bitmap DecodeGif(const uint8_t* data, size_t size);

// Uncompressed BMP: 1, 4, 8, 16, 24 or 32 bits per pixel, bottom-up or top-down rows,
// BI_RGB or BI_BITFIELDS (16 and 32 bits; 16-bit BI_RGB is 5-5-5), BITMAPINFOHEADER or any
// larger header (V2 to V5). A palette index outside the palette makes the picture invalid.
// Run-length and embedded JPEG/PNG compression are not supported.
Bitmap DecodeBmp(const uint8_t* data, size_t size);

// Resamples to width x height: each axis is area-averaged where it shrinks and bilinearly
// interpolated where it grows. Empty when the source is empty or the size is not allowed.
Bitmap ScaleBitmap(const Bitmap& source, int width, int height);

}  // namespace tq
