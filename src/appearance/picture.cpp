#include "appearance/picture.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <csetjmp>
#include <cstdio>  // jpeglib.h uses FILE and size_t without including them
#include <cstring>
#include <limits>
#include <memory>
#include <new>

#include <gif_lib.h>
#include <jerror.h>
#include <jpeglib.h>

namespace tq {

// Decoders write B, G, R, A bytes straight into the 0xAARRGGBB pixels.
static_assert(__BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__, "pixel layout assumes little-endian");

namespace {

constexpr uint32_t kOpaqueBlack = 0xFF000000u;

uint32_t Opaque(uint32_t red, uint32_t green, uint32_t blue) {
    return kOpaqueBlack | red << 16 | green << 8 | blue;
}

bool HasPrefix(const uint8_t* data, size_t size, const char* prefix) {
    const size_t length = std::strlen(prefix);
    return data != nullptr && size >= length && std::memcmp(data, prefix, length) == 0;
}

// Sizes the bitmap and fills it with `fill`. A refused size or a failed allocation (a 32-bit
// process may not find 256 MiB in one piece) leaves the bitmap empty and returns false.
bool Allocate(Bitmap& bitmap, int64_t width, int64_t height, uint32_t fill) {
    bitmap = Bitmap{};
    if (!PictureSizeAllowed(width, height)) return false;
    try {
        bitmap.pixels.assign(static_cast<size_t>(width * height), fill);
    } catch (const std::bad_alloc&) {
        return false;
    }
    bitmap.width = static_cast<int>(width);
    bitmap.height = static_cast<int>(height);
    return true;
}

// ---- JPEG ------------------------------------------------------------------------------

// More scans than any encoder writes (a standard progressive file has about ten); a stream
// of thousands of tiny scans would otherwise make libjpeg walk the whole image each time.
constexpr int kMaxJpegScans = 100;

struct JpegErrorManager {
    jpeg_error_mgr base;  // first, so libjpeg's pointer to it is a pointer to the whole
    std::jmp_buf jump;
};

// Replaces libjpeg's error_exit, which would end the process.
[[noreturn]] void FailJpeg(j_common_ptr info) {
    std::longjmp(reinterpret_cast<JpegErrorManager*>(info->err)->jump, 1);
}

[[noreturn]] void FailJpeg(jpeg_decompress_struct& info) {
    FailJpeg(reinterpret_cast<j_common_ptr>(&info));
}

void IgnoreJpegOutput(j_common_ptr) {}

// The warning that a scan needed more data than the file holds fails the decode: libjpeg
// would fill the rest of the picture with grey. Running into the end of the file is not
// enough by itself: the decoder reads ahead, so a file missing only its end marker warns too.
// Other corruption warnings are left to libjpeg's recovery.
void OnJpegMessage(j_common_ptr info, int level) {
    if (level < 0 && info->err->msg_code == JWRN_HIT_MARKER) FailJpeg(info);
}

void LimitJpegScans(j_common_ptr info) {
    if (info->is_decompressor &&
        reinterpret_cast<j_decompress_ptr>(info)->input_scan_number > kMaxJpegScans) {
        FailJpeg(info);
    }
}

struct JpegDecoder {
    jpeg_decompress_struct info;
    JpegErrorManager error;
    jpeg_progress_mgr progress;
};

// Picks the smallest scale n/8 whose output still covers the wanted size.
void ChooseJpegScale(jpeg_decompress_struct& info, int want_width, int want_height) {
    if (want_width <= 0 && want_height <= 0) return;
    info.scale_denom = 8;
    for (unsigned int numerator = 1; numerator <= 8; ++numerator) {
        info.scale_num = numerator;
        jpeg_calc_output_dimensions(&info);
        const bool wide_enough =
            want_width <= 0 || info.output_width >= static_cast<unsigned int>(want_width);
        const bool tall_enough =
            want_height <= 0 || info.output_height >= static_cast<unsigned int>(want_height);
        if (wide_enough && tall_enough) return;
    }
}

// libjpeg gives CMYK as stored. Adobe applications write it inverted (0 is full ink), which
// is what nearly every CMYK JPEG is; without their marker the values are taken as plain ink.
void ConvertCmykToBgra(Bitmap& bitmap, bool inverted) {
    for (uint32_t& pixel : bitmap.pixels) {
        const auto* ink = reinterpret_cast<const uint8_t*>(&pixel);
        uint32_t channel[4];
        for (int i = 0; i < 4; ++i) channel[i] = inverted ? ink[i] : 255u - ink[i];
        const uint32_t key = channel[3];
        pixel = Opaque((channel[0] * key + 127) / 255, (channel[1] * key + 127) / 255,
                       (channel[2] * key + 127) / 255);
    }
}

// Every libjpeg failure lands back in this frame through longjmp, so it holds nothing that
// needs destroying: the decoder state and the bitmap belong to the caller, and the bitmap is
// discarded when this returns false.
bool RunJpegDecoder(JpegDecoder& decoder, const uint8_t* data, size_t size, int want_width,
                    int want_height, Bitmap& bitmap) {
    jpeg_decompress_struct& info = decoder.info;
    info.err = jpeg_std_error(&decoder.error.base);
    decoder.error.base.error_exit = FailJpeg;
    decoder.error.base.output_message = IgnoreJpegOutput;
    decoder.error.base.emit_message = OnJpegMessage;
    if (setjmp(decoder.error.jump)) {
        jpeg_destroy_decompress(&info);
        return false;
    }
    jpeg_create_decompress(&info);
    decoder.progress.progress_monitor = LimitJpegScans;
    info.progress = &decoder.progress;
    jpeg_mem_src(&info, data, static_cast<unsigned long>(size));
    jpeg_read_header(&info, TRUE);
    if (!PictureSizeAllowed(info.image_width, info.image_height)) FailJpeg(info);

    const bool cmyk = info.jpeg_color_space == JCS_CMYK || info.jpeg_color_space == JCS_YCCK;
    info.out_color_space = cmyk ? JCS_CMYK : JCS_EXT_BGRA;
    ChooseJpegScale(info, want_width, want_height);
    jpeg_start_decompress(&info);
    if (info.output_components != 4 ||
        !Allocate(bitmap, info.output_width, info.output_height, kOpaqueBlack)) {
        FailJpeg(info);
    }
    while (info.output_scanline < info.output_height) {
        JSAMPROW row = reinterpret_cast<JSAMPROW>(
            bitmap.pixels.data() + static_cast<size_t>(info.output_scanline) * bitmap.width);
        if (jpeg_read_scanlines(&info, &row, 1) != 1) FailJpeg(info);
    }
    if (cmyk) ConvertCmykToBgra(bitmap, info.saw_Adobe_marker);
    // No jpeg_finish_decompress: every row is in, and a file cut off just before its end
    // marker still shows the whole picture.
    jpeg_destroy_decompress(&info);
    return true;
}

// ---- GIF -------------------------------------------------------------------------------

struct GifMemoryReader {
    const uint8_t* data;
    size_t size;
    size_t position;
};

int ReadGifBytes(GifFileType* gif, GifByteType* buffer, int length) {
    auto* reader = static_cast<GifMemoryReader*>(gif->UserData);
    if (length <= 0) return 0;
    const size_t count = std::min(static_cast<size_t>(length), reader->size - reader->position);
    std::memcpy(buffer, reader->data + reader->position, count);
    reader->position += count;
    return static_cast<int>(count);
}

struct GifCloser {
    void operator()(GifFileType* gif) const {
        int error = 0;
        DGifCloseFile(gif, &error);
    }
};
using GifFile = std::unique_ptr<GifFileType, GifCloser>;

uint32_t GifColour(const GifColorType& colour) {
    return Opaque(colour.Red, colour.Green, colour.Blue);
}

// Reads the image whose descriptor is next in the stream and draws it on a screen-sized
// bitmap of the background colour.
Bitmap DecodeGifImage(GifFileType* gif, uint32_t background, int transparent) {
    if (DGifGetImageDesc(gif) == GIF_ERROR) return {};
    const GifImageDesc& frame = gif->Image;
    const ColorMapObject* map = frame.ColorMap != nullptr ? frame.ColorMap : gif->SColorMap;
    if (map == nullptr || !PictureSizeAllowed(frame.Width, frame.Height)) return {};
    std::array<uint32_t, 256> colours{};
    const int colour_count = std::min(map->ColorCount, 256);
    for (int i = 0; i < colour_count; ++i) colours[i] = GifColour(map->Colors[i]);

    Bitmap bitmap;
    if (!Allocate(bitmap, gif->SWidth, gif->SHeight, background)) return {};
    std::vector<GifPixelType> line(static_cast<size_t>(frame.Width));

    // Interlaced images deliver rows in four passes: every 8th from 0, every 8th from 4,
    // every 4th from 2, every 2nd from 1.
    static constexpr int kInterlaceStart[] = {0, 4, 2, 1};
    static constexpr int kInterlaceStep[] = {8, 8, 4, 2};
    const int passes = frame.Interlace ? 4 : 1;
    for (int pass = 0; pass < passes; ++pass) {
        const int start = frame.Interlace ? kInterlaceStart[pass] : 0;
        const int step = frame.Interlace ? kInterlaceStep[pass] : 1;
        for (int row = start; row < frame.Height; row += step) {
            if (DGifGetLine(gif, line.data(), frame.Width) == GIF_ERROR) return {};
            const int y = frame.Top + row;
            for (int x = 0; x < frame.Width; ++x) {
                const int index = line[x];
                if (index == transparent) continue;
                if (index >= colour_count) return {};
                const int screen_x = frame.Left + x;
                if (y < bitmap.height && screen_x < bitmap.width) {
                    bitmap.pixels[static_cast<size_t>(y) * bitmap.width + screen_x] =
                        colours[index];
                }
            }
        }
    }
    return bitmap;
}

// ---- BMP -------------------------------------------------------------------------------

uint16_t ReadU16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | p[1] << 8); }

uint32_t ReadU32(const uint8_t* p) {
    return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 |
           static_cast<uint32_t>(p[2]) << 16 | static_cast<uint32_t>(p[3]) << 24;
}

int32_t ReadS32(const uint8_t* p) { return static_cast<int32_t>(ReadU32(p)); }

constexpr size_t kBmpFileHeaderSize = 14;
constexpr uint32_t kBmpInfoHeaderSize = 40;     // BITMAPINFOHEADER
constexpr uint32_t kBmpMasksInHeaderSize = 52;  // V2 and larger carry the masks inside
constexpr uint32_t kBiRgb = 0;
constexpr uint32_t kBiBitfields = 3;

// One colour channel of a 16- or 32-bit pixel, described by its bit mask.
class MaskChannel {
public:
    explicit MaskChannel(uint32_t mask) : mask_(mask) {
        if (mask_ == 0) return;
        while (((mask_ >> shift_) & 1u) == 0) ++shift_;
        max_ = mask_ >> shift_;
    }

    uint32_t Extract(uint32_t pixel) const {
        if (max_ == 0) return 0;
        const uint32_t value = (pixel & mask_) >> shift_;
        if (max_ == 255) return value;
        return static_cast<uint32_t>((uint64_t{value} * 255 + max_ / 2) / max_);
    }

private:
    uint32_t mask_;
    int shift_ = 0;
    uint32_t max_ = 0;
};

}  // namespace

bool PictureSizeAllowed(int64_t width, int64_t height) {
    return width >= 1 && height >= 1 && width <= kMaxPictureSide && height <= kMaxPictureSide &&
           width * height <= kMaxPicturePixels;
}

Bitmap DecodePicture(const uint8_t* data, size_t size, int want_width, int want_height) {
    try {
        if (HasPrefix(data, size, "\xFF\xD8"))
            return DecodeJpeg(data, size, want_width, want_height);
        if (HasPrefix(data, size, "GIF87a") || HasPrefix(data, size, "GIF89a")) {
            return DecodeGif(data, size);
        }
        if (HasPrefix(data, size, "BM")) return DecodeBmp(data, size);
    } catch (const std::bad_alloc&) {
        // A picture this process finds no memory for is shown as no picture at all.
    }
    return {};
}

Bitmap DecodeJpeg(const uint8_t* data, size_t size, int want_width, int want_height) {
    if (!HasPrefix(data, size, "\xFF\xD8") || size > std::numeric_limits<unsigned long>::max()) {
        return {};
    }
    JpegDecoder decoder{};
    Bitmap bitmap;
    if (!RunJpegDecoder(decoder, data, size, want_width, want_height, bitmap)) return {};
    return bitmap;
}

Bitmap DecodeGif(const uint8_t* data, size_t size) {
    if (!HasPrefix(data, size, "GIF87a") && !HasPrefix(data, size, "GIF89a")) return {};
    GifMemoryReader reader{data, size, 0};
    int error = 0;
    GifFile gif(DGifOpen(&reader, ReadGifBytes, &error));
    if (!gif || !PictureSizeAllowed(gif->SWidth, gif->SHeight)) return {};

    uint32_t background = kOpaqueBlack;
    if (gif->SColorMap != nullptr && gif->SBackGroundColor >= 0 &&
        gif->SBackGroundColor < gif->SColorMap->ColorCount) {
        background = GifColour(gif->SColorMap->Colors[gif->SBackGroundColor]);
    }
    // A graphic control extension before the image may name its transparent index.
    int transparent = NO_TRANSPARENT_COLOR;
    for (;;) {
        GifRecordType record;
        if (DGifGetRecordType(gif.get(), &record) == GIF_ERROR) return {};
        if (record == IMAGE_DESC_RECORD_TYPE)
            return DecodeGifImage(gif.get(), background, transparent);
        if (record != EXTENSION_RECORD_TYPE) return {};  // the trailer, before any image

        int code = 0;
        GifByteType* block = nullptr;
        if (DGifGetExtension(gif.get(), &code, &block) == GIF_ERROR) return {};
        GraphicsControlBlock control;
        if (code == GRAPHICS_EXT_FUNC_CODE && block != nullptr &&
            DGifExtensionToGCB(block[0], block + 1, &control) == GIF_OK) {
            transparent = control.TransparentColor;
        }
        while (block != nullptr) {
            if (DGifGetExtensionNext(gif.get(), &block) == GIF_ERROR) return {};
        }
    }
}

Bitmap DecodeBmp(const uint8_t* data, size_t size) {
    if (!HasPrefix(data, size, "BM") || size < kBmpFileHeaderSize + kBmpInfoHeaderSize) return {};
    const uint32_t pixel_offset = ReadU32(data + 10);
    const uint8_t* info = data + kBmpFileHeaderSize;
    const uint32_t header_size = ReadU32(info);
    if (header_size < kBmpInfoHeaderSize || header_size > size - kBmpFileHeaderSize) return {};

    const int64_t width = ReadS32(info + 4);
    const int64_t stored_height = ReadS32(info + 8);
    const bool top_down = stored_height < 0;
    const int64_t height = top_down ? -stored_height : stored_height;
    const int bits = ReadU16(info + 14);
    const uint32_t compression = ReadU32(info + 16);
    const uint32_t colours_used = ReadU32(info + 32);
    if (!PictureSizeAllowed(width, height)) return {};

    // Masks of 16- and 32-bit pixels: red, green, blue.
    uint32_t masks[3] = {0, 0, 0};
    size_t palette_offset = kBmpFileHeaderSize + header_size;
    if (compression == kBiBitfields) {
        if (bits != 16 && bits != 32) return {};
        const uint8_t* stored_masks = info + kBmpInfoHeaderSize;
        if (header_size < kBmpMasksInHeaderSize) {
            // A plain BITMAPINFOHEADER is followed by the three masks.
            if (size - palette_offset < 12) return {};
            stored_masks = data + palette_offset;
            palette_offset += 12;
        }
        for (int i = 0; i < 3; ++i) masks[i] = ReadU32(stored_masks + 4 * i);
    } else if (compression == kBiRgb) {
        if (bits == 16) {
            masks[0] = 0x7C00, masks[1] = 0x03E0, masks[2] = 0x001F;
        } else if (bits == 32) {
            masks[0] = 0xFF0000, masks[1] = 0x00FF00, masks[2] = 0x0000FF;
        } else if (bits != 1 && bits != 4 && bits != 8 && bits != 24) {
            return {};
        }
    } else {
        return {};
    }

    std::array<uint32_t, 256> palette{};
    size_t palette_size = 0;
    if (bits <= 8) {
        // Zero means the full palette; entries past 2^bits could never be used.
        const size_t full = size_t{1} << bits;
        palette_size = colours_used == 0 ? full : std::min<size_t>(colours_used, full);
        if ((size - palette_offset) / 4 < palette_size) return {};
        for (size_t i = 0; i < palette_size; ++i) {
            const uint8_t* entry = data + palette_offset + 4 * i;  // blue, green, red, unused
            palette[i] = Opaque(entry[2], entry[1], entry[0]);
        }
    }

    // The pixels follow the headers and palette. Rows are padded to 4 bytes; the last row
    // may lack its padding.
    const int64_t row_bytes = (width * bits + 7) / 8;
    const int64_t stride = (width * bits + 31) / 32 * 4;
    const int64_t needed = stride * (height - 1) + row_bytes;
    if (pixel_offset < palette_offset + 4 * palette_size || pixel_offset > size ||
        static_cast<int64_t>(size - pixel_offset) < needed) {
        return {};
    }

    Bitmap bitmap;
    if (!Allocate(bitmap, width, height, kOpaqueBlack)) return {};
    const MaskChannel red(masks[0]), green(masks[1]), blue(masks[2]);
    for (int y = 0; y < bitmap.height; ++y) {
        const int64_t stored_row = top_down ? y : bitmap.height - 1 - y;
        const uint8_t* row = data + pixel_offset + stored_row * stride;
        uint32_t* out = bitmap.pixels.data() + static_cast<size_t>(y) * bitmap.width;
        for (int x = 0; x < bitmap.width; ++x) {
            switch (bits) {
                case 1:
                case 4:
                case 8: {
                    const int bit = x * bits;
                    const size_t index =
                        (row[bit / 8] >> (8 - bits - bit % 8)) & ((1u << bits) - 1);
                    if (index >= palette_size) return {};
                    out[x] = palette[index];
                    break;
                }
                case 16:
                case 32: {
                    const uint32_t value = bits == 16 ? ReadU16(row + 2 * x) : ReadU32(row + 4 * x);
                    out[x] = Opaque(red.Extract(value), green.Extract(value), blue.Extract(value));
                    break;
                }
                default:  // 24
                    out[x] = Opaque(row[3 * x + 2], row[3 * x + 1], row[3 * x]);
                    break;
            }
        }
    }
    return bitmap;
}

// ---- Resampling ------------------------------------------------------------------------

namespace {

// How one axis of the target takes its values from the source: target index i is the sum
// over t < count[i] of weight[i * taps + t] times source index first[i] + t.
struct AxisWeights {
    int taps = 0;
    std::vector<int> first;
    std::vector<int> count;
    std::vector<float> weight;
};

AxisWeights ComputeAxisWeights(int source, int target) {
    AxisWeights axis;
    axis.first.resize(target);
    axis.count.resize(target);
    const double scale = static_cast<double>(source) / target;
    if (scale > 1.0) {
        // Shrinking: each target pixel averages the source span it covers, partly covered
        // source pixels counting by the covered fraction.
        axis.taps = static_cast<int>(std::ceil(scale)) + 1;
        axis.weight.assign(static_cast<size_t>(target) * axis.taps, 0.0f);
        for (int i = 0; i < target; ++i) {
            const double begin = i * scale;
            const double end = std::min((i + 1) * scale, static_cast<double>(source));
            const int first = std::min(static_cast<int>(begin), source - 1);
            float* weight = &axis.weight[static_cast<size_t>(i) * axis.taps];
            double total = 0.0;
            int count = 0;
            for (int j = first; j < end && count < axis.taps; ++j, ++count) {
                const double covered =
                    std::min(end, j + 1.0) - std::max(begin, static_cast<double>(j));
                weight[count] = static_cast<float>(covered);
                total += covered;
            }
            for (int t = 0; t < count; ++t) weight[t] = static_cast<float>(weight[t] / total);
            axis.first[i] = first;
            axis.count[i] = count;
        }
    } else {
        // Growing (or the same size): linear interpolation between the two nearest source
        // pixel centres, holding the edge pixels beyond the outermost centres.
        axis.taps = 2;
        axis.weight.assign(static_cast<size_t>(target) * axis.taps, 0.0f);
        for (int i = 0; i < target; ++i) {
            const double centre =
                std::clamp((i + 0.5) * scale - 0.5, 0.0, static_cast<double>(source - 1));
            const int first = static_cast<int>(centre);
            const float fraction = static_cast<float>(centre - first);
            axis.first[i] = first;
            axis.count[i] = first + 1 < source ? 2 : 1;
            axis.weight[static_cast<size_t>(i) * 2] = 1.0f - fraction;
            axis.weight[static_cast<size_t>(i) * 2 + 1] = fraction;
        }
    }
    return axis;
}

uint32_t PackChannel(float value, int shift) {
    return static_cast<uint32_t>(std::clamp(value, 0.0f, 255.0f) + 0.5f) << shift;
}

}  // namespace

namespace {

Bitmap Scale(const Bitmap& source, int width, int height) {
    if (width == source.width && height == source.height) return source;
    Bitmap target;
    if (!Allocate(target, width, height, kOpaqueBlack)) return {};
    const AxisWeights columns = ComputeAxisWeights(source.width, width);
    const AxisWeights rows = ComputeAxisWeights(source.height, height);

    // Rows first: one line of the source's width, four float channels (B, G, R, A) per
    // pixel, collects the weighted source rows of one target row; the columns are then
    // resampled from it.
    std::vector<float> line(static_cast<size_t>(source.width) * 4);
    for (int y = 0; y < height; ++y) {
        std::fill(line.begin(), line.end(), 0.0f);
        for (int t = 0; t < rows.count[y]; ++t) {
            const float weight = rows.weight[static_cast<size_t>(y) * rows.taps + t];
            if (weight == 0.0f) continue;
            const uint32_t* in =
                source.pixels.data() + static_cast<size_t>(rows.first[y] + t) * source.width;
            float* sum = line.data();
            for (int x = 0; x < source.width; ++x, sum += 4) {
                const uint32_t pixel = in[x];
                sum[0] += weight * static_cast<float>(pixel & 0xFF);
                sum[1] += weight * static_cast<float>((pixel >> 8) & 0xFF);
                sum[2] += weight * static_cast<float>((pixel >> 16) & 0xFF);
                sum[3] += weight * static_cast<float>(pixel >> 24);
            }
        }
        uint32_t* out = target.pixels.data() + static_cast<size_t>(y) * width;
        for (int x = 0; x < width; ++x) {
            float sum[4] = {0.0f, 0.0f, 0.0f, 0.0f};
            const float* weight = &columns.weight[static_cast<size_t>(x) * columns.taps];
            const float* in = &line[static_cast<size_t>(columns.first[x]) * 4];
            for (int t = 0; t < columns.count[x]; ++t, in += 4) {
                for (int c = 0; c < 4; ++c) sum[c] += weight[t] * in[c];
            }
            out[x] = PackChannel(sum[0], 0) | PackChannel(sum[1], 8) | PackChannel(sum[2], 16) |
                     PackChannel(sum[3], 24);
        }
    }
    return target;
}

}  // namespace

Bitmap ScaleBitmap(const Bitmap& source, int width, int height) {
    if (!PictureSizeAllowed(source.width, source.height) ||
        source.pixels.size() != static_cast<size_t>(source.width) * source.height) {
        return {};
    }
    try {
        return Scale(source, width, height);
    } catch (const std::bad_alloc&) {
        return {};  // as for a decoded picture: no memory, no picture
    }
}

}  // namespace tq
