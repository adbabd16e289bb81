// Cost of turning picture bytes into the window's background: a 6000 x 4000 photo decoded at
// full size or at the scale that covers the default 530 x 200 window, the resampling to the
// window, and the built-in picture's whole path. Each result reports the bytes of the
// largest bitmap it holds (bitmap_bytes).
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <string>
#include <vector>

#include <benchmark/benchmark.h>
#include <jpeglib.h>

#include "appearance/picture.h"
#include "resources/resources.h"

namespace tq {
namespace {

constexpr int kPhotoWidth = 6000;
constexpr int kPhotoHeight = 4000;
constexpr int kWindowWidth = 530;
constexpr int kWindowHeight = 200;

// A camera-sized JPEG (4:2:0) with smooth gradients and fine texture, so the entropy data
// is closer to a photo's than a flat picture's would be. The quality sets how much entropy
// data there is: quality 85 gives 3.3 MB.
std::vector<uint8_t> EncodePhoto(int quality) {
    jpeg_compress_struct info;
    jpeg_error_mgr error;
    info.err = jpeg_std_error(&error);
    jpeg_create_compress(&info);
    unsigned char* buffer = nullptr;
    unsigned long size = 0;
    jpeg_mem_dest(&info, &buffer, &size);
    info.image_width = kPhotoWidth;
    info.image_height = kPhotoHeight;
    info.input_components = 3;
    info.in_color_space = JCS_RGB;
    jpeg_set_defaults(&info);
    jpeg_set_quality(&info, quality, TRUE);
    jpeg_start_compress(&info, TRUE);
    std::vector<uint8_t> row(kPhotoWidth * 3);
    uint32_t noise = 12345;
    while (info.next_scanline < info.image_height) {
        const int y = static_cast<int>(info.next_scanline);
        for (int x = 0; x < kPhotoWidth; ++x) {
            noise = noise * 1664525u + 1013904223u;
            const int grain = static_cast<int>(noise >> 28) - 8;
            row[3 * x] = static_cast<uint8_t>((x * 255 / kPhotoWidth + grain + 256) % 256);
            row[3 * x + 1] =
                static_cast<uint8_t>((y * 255 / kPhotoHeight + ((x / 40 + y / 40) % 2) * 40) % 256);
            row[3 * x + 2] = static_cast<uint8_t>((128 + grain * 2 + (x ^ y) % 32) % 256);
        }
        JSAMPROW samples = row.data();
        jpeg_write_scanlines(&info, &samples, 1);
    }
    jpeg_finish_compress(&info);
    jpeg_destroy_compress(&info);
    std::vector<uint8_t> bytes(buffer, buffer + size);
    std::free(buffer);
    return bytes;
}

const std::vector<uint8_t>& Photo(int quality = 85) {
    static std::map<int, std::vector<uint8_t>> photos;
    auto [at, added] = photos.try_emplace(quality);
    if (added) at->second = EncodePhoto(quality);
    return at->second;
}

void ReportBitmap(benchmark::State& state, const Bitmap& bitmap) {
    state.counters["bitmap_bytes"] = static_cast<double>(bitmap.pixels.size() * 4);
    state.SetLabel(std::to_string(bitmap.width) + "x" + std::to_string(bitmap.height));
}

// Both decodes take the JPEG quality as their argument: the scaled decode saves the
// inverse DCT, colour conversion and output, not the entropy decoding, so its share of a
// full decode grows with the bytes per pixel.
void BM_DecodePhotoFullSize(benchmark::State& state) {
    const std::vector<uint8_t>& photo = Photo(static_cast<int>(state.range(0)));
    Bitmap bitmap;
    for (auto _ : state) {
        bitmap = DecodePicture(photo.data(), photo.size());
        benchmark::DoNotOptimize(bitmap.pixels.data());
    }
    ReportBitmap(state, bitmap);
    state.counters["jpeg_bytes"] = static_cast<double>(photo.size());
}
BENCHMARK(BM_DecodePhotoFullSize)->Arg(85)->Arg(50)->Arg(95)->Unit(benchmark::kMillisecond);

void BM_DecodePhotoForWindow(benchmark::State& state) {
    const std::vector<uint8_t>& photo = Photo(static_cast<int>(state.range(0)));
    Bitmap bitmap;
    for (auto _ : state) {
        bitmap = DecodePicture(photo.data(), photo.size(), kWindowWidth, kWindowHeight);
        benchmark::DoNotOptimize(bitmap.pixels.data());
    }
    ReportBitmap(state, bitmap);
    state.counters["jpeg_bytes"] = static_cast<double>(photo.size());
}
BENCHMARK(BM_DecodePhotoForWindow)->Arg(85)->Arg(50)->Arg(95)->Unit(benchmark::kMillisecond);

void BM_ScaleFittedPhotoToWindow(benchmark::State& state) {
    const Bitmap fitted =
        DecodePicture(Photo().data(), Photo().size(), kWindowWidth, kWindowHeight);
    Bitmap bitmap;
    for (auto _ : state) {
        bitmap = ScaleBitmap(fitted, kWindowWidth, kWindowHeight);
        benchmark::DoNotOptimize(bitmap.pixels.data());
    }
    ReportBitmap(state, fitted);
}
BENCHMARK(BM_ScaleFittedPhotoToWindow)->Unit(benchmark::kMillisecond);

void BM_ScaleFullPhotoToWindow(benchmark::State& state) {
    const Bitmap full = DecodePicture(Photo().data(), Photo().size());
    Bitmap bitmap;
    for (auto _ : state) {
        bitmap = ScaleBitmap(full, kWindowWidth, kWindowHeight);
        benchmark::DoNotOptimize(bitmap.pixels.data());
    }
    ReportBitmap(state, full);
}
BENCHMARK(BM_ScaleFullPhotoToWindow)->Unit(benchmark::kMillisecond);

// What the window does at start-up with no picture of the user's.
void BM_DefaultPictureToWindow(benchmark::State& state) {
    Bitmap bitmap;
    for (auto _ : state) {
        const Bitmap decoded =
            DecodePicture(kDefaultPicture, kDefaultPictureSize, kWindowWidth, kWindowHeight);
        bitmap = ScaleBitmap(decoded, kWindowWidth, kWindowHeight);
        benchmark::DoNotOptimize(bitmap.pixels.data());
    }
    ReportBitmap(state, bitmap);
}
BENCHMARK(BM_DefaultPictureToWindow)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace tq
