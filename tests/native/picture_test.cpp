// Behaviour of picture decoding and resampling: the built-in picture and icon, JPEG (with
// scaled decoding), BMP of every bit depth, the first frame of a GIF, resampling to the
// window's size, and malformed or oversized input, which must give an empty bitmap.
#include "appearance/picture.h"

#include <cstdint>
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>
#include <vector>

#include <gif_lib.h>
#include <jpeglib.h>
#include <gtest/gtest.h>

#include "resources/resources.h"

namespace tq {
namespace {

using Bytes = std::vector<uint8_t>;
using Pixels = std::vector<uint32_t>;

void PutU16(Bytes& out, uint32_t value) {
    out.push_back(value & 0xFF);
    out.push_back((value >> 8) & 0xFF);
}

void PutU32(Bytes& out, uint32_t value) {
    PutU16(out, value & 0xFFFF);
    PutU16(out, value >> 16);
}

Bitmap Decode(const Bytes& bytes, int want_width = 0, int want_height = 0) {
    return DecodePicture(bytes.data(), bytes.size(), want_width, want_height);
}

// ---- Small encoders for test pictures ---------------------------------------------------

// A BMP as the test describes it. Rows are given in file order, without their padding.
struct BmpLayout {
    int32_t width = 0;
    int32_t height = 0;  // negative: top-down
    uint16_t bits = 24;
    uint32_t compression = 0;       // 0 BI_RGB, 3 BI_BITFIELDS
    uint32_t header_size = 40;      // 40, or 108 (V4) / 124 (V5)
    std::vector<uint32_t> masks;    // red, green, blue
    std::vector<uint32_t> palette;  // 0xRRGGBB
    uint32_t colours_used = 0;
    std::vector<Bytes> rows;
};

BmpLayout Bmp(int32_t width, int32_t height, uint16_t bits, uint32_t compression = 0,
              uint32_t header_size = 40) {
    BmpLayout layout;
    layout.width = width;
    layout.height = height;
    layout.bits = bits;
    layout.compression = compression;
    layout.header_size = header_size;
    return layout;
}

Bytes MakeBmp(const BmpLayout& layout) {
    Bytes header;
    PutU32(header, layout.header_size);
    PutU32(header, static_cast<uint32_t>(layout.width));
    PutU32(header, static_cast<uint32_t>(layout.height));
    PutU16(header, 1);
    PutU16(header, layout.bits);
    PutU32(header, layout.compression);
    for (int i = 0; i < 3; ++i) PutU32(header, 0);  // image size, resolution
    PutU32(header, layout.colours_used);
    PutU32(header, 0);
    const bool masks_inside = layout.header_size > 40;
    if (masks_inside) {
        for (size_t i = 0; i < 3; ++i)
            PutU32(header, i < layout.masks.size() ? layout.masks[i] : 0);
    }
    header.resize(layout.header_size, 0);
    if (!masks_inside) {
        for (uint32_t mask : layout.masks) PutU32(header, mask);
    }
    for (uint32_t colour : layout.palette) PutU32(header, colour);  // B, G, R, 0 in the file

    Bytes file = {'B', 'M'};
    Bytes pixels;
    for (const Bytes& row : layout.rows) {
        pixels.insert(pixels.end(), row.begin(), row.end());
        while (pixels.size() % 4 != 0) pixels.push_back(0);
    }
    PutU32(file, static_cast<uint32_t>(14 + header.size() + pixels.size()));
    PutU32(file, 0);
    PutU32(file, static_cast<uint32_t>(14 + header.size()));
    file.insert(file.end(), header.begin(), header.end());
    file.insert(file.end(), pixels.begin(), pixels.end());
    return file;
}

// A JPEG of a picture whose every row is `row` (1, 3 or 4 samples per pixel). Baseline, or
// with a positive ac_band a progressive file of three components: one DC scan, then one scan
// per ac_band coefficients of each component.
Bytes MakeJpeg(int width, int height, J_COLOR_SPACE colour_space, const Bytes& row,
               int quality = 100, int ac_band = 0) {
    jpeg_compress_struct info;
    jpeg_error_mgr error;
    info.err = jpeg_std_error(&error);
    jpeg_create_compress(&info);
    unsigned char* buffer = nullptr;
    unsigned long size = 0;
    jpeg_mem_dest(&info, &buffer, &size);
    info.image_width = width;
    info.image_height = height;
    info.input_components = colour_space == JCS_CMYK ? 4 : colour_space == JCS_GRAYSCALE ? 1 : 3;
    info.in_color_space = colour_space;
    jpeg_set_defaults(&info);
    jpeg_set_quality(&info, quality, TRUE);
    std::vector<jpeg_scan_info> scans;
    if (ac_band > 0) {
        scans.push_back({3, {0, 1, 2}, 0, 0, 0, 0});
        for (int component = 0; component < 3; ++component) {
            for (int first = 1; first < 64; first += ac_band) {
                scans.push_back({1, {component}, first, std::min(first + ac_band - 1, 63), 0, 0});
            }
        }
        info.scan_info = scans.data();
        info.num_scans = static_cast<int>(scans.size());
    }
    jpeg_start_compress(&info, TRUE);
    JSAMPROW samples = const_cast<JSAMPROW>(row.data());
    while (info.next_scanline < info.image_height) jpeg_write_scanlines(&info, &samples, 1);
    jpeg_finish_compress(&info);
    jpeg_destroy_compress(&info);
    Bytes bytes(buffer, buffer + size);
    std::free(buffer);
    return bytes;
}

Bytes RepeatPixel(int width, Bytes pixel) {
    Bytes row;
    for (int i = 0; i < width; ++i) row.insert(row.end(), pixel.begin(), pixel.end());
    return row;
}

// Offset of the start-of-frame segment's height field.
size_t FindFrameSize(const Bytes& jpeg) {
    for (size_t i = 2; i + 9 < jpeg.size(); ++i) {
        if (jpeg[i] == 0xFF && (jpeg[i + 1] == 0xC0 || jpeg[i + 1] == 0xC2)) return i + 5;
    }
    return 0;
}

Bytes WithJpegSize(Bytes jpeg, int width, int height) {
    const size_t at = FindFrameSize(jpeg);
    jpeg[at] = height >> 8, jpeg[at + 1] = height & 0xFF;
    jpeg[at + 2] = width >> 8, jpeg[at + 3] = width & 0xFF;
    return jpeg;
}

struct GifFrame {
    int left = 0, top = 0, width = 0, height = 0;
    bool interlace = false;
    int transparent = NO_TRANSPARENT_COLOR;
    std::vector<Bytes> rows;  // in the order they are stored (pass order when interlaced)
};

GifFrame Frame(int left, int top, int width, int height) {
    GifFrame frame;
    frame.left = left, frame.top = top, frame.width = width, frame.height = height;
    return frame;
}

int WriteGifBytes(GifFileType* gif, const GifByteType* data, int length) {
    auto* out = static_cast<Bytes*>(gif->UserData);
    out->insert(out->end(), data, data + length);
    return length;
}

// A GIF89a with a four-colour global table (black, red, green, blue) and the given frames.
Bytes MakeGif(int screen_width, int screen_height, int background,
              const std::vector<GifFrame>& frames) {
    Bytes out;
    int error = 0;
    GifFileType* gif = EGifOpen(&out, WriteGifBytes, &error);
    EGifSetGifVersion(gif, true);
    const GifColorType colours[] = {{0, 0, 0}, {255, 0, 0}, {0, 255, 0}, {0, 0, 255}};
    ColorMapObject* map = GifMakeMapObject(4, colours);
    EGifPutScreenDesc(gif, screen_width, screen_height, 2, background, map);
    for (const GifFrame& frame : frames) {
        GraphicsControlBlock control{};
        control.TransparentColor = frame.transparent;
        GifByteType extension[4];
        const size_t length = EGifGCBToExtension(&control, extension);
        EGifPutExtension(gif, GRAPHICS_EXT_FUNC_CODE, static_cast<int>(length), extension);
        EGifPutImageDesc(gif, frame.left, frame.top, frame.width, frame.height, frame.interlace,
                         nullptr);
        for (Bytes row : frame.rows) EGifPutLine(gif, row.data(), frame.width);
    }
    EGifCloseFile(gif, &error);
    GifFreeMapObject(map);
    return out;
}

constexpr uint32_t kBlack = 0xFF000000, kRed = 0xFFFF0000, kGreen = 0xFF00FF00, kBlue = 0xFF0000FF,
                   kWhite = 0xFFFFFFFF;

// Channel distance, for lossy JPEG.
bool Near(uint32_t a, uint32_t b, int tolerance = 3) {
    for (int shift = 0; shift < 32; shift += 8) {
        if (std::abs(static_cast<int>((a >> shift) & 0xFF) -
                     static_cast<int>((b >> shift) & 0xFF)) > tolerance) {
            return false;
        }
    }
    return true;
}

// ---- Built-in picture and icon -----------------------------------------------------------

TEST(PictureBuiltInTest, DefaultPictureDecodesAt522By193) {
    const Bitmap picture = DecodePicture(kDefaultPicture, kDefaultPictureSize);
    EXPECT_EQ(picture.width, 522);
    EXPECT_EQ(picture.height, 193);
    EXPECT_EQ(picture.pixels.size(), 522u * 193u);
    EXPECT_EQ(picture.pixels[0] >> 24, 0xFFu);
}

TEST(PictureBuiltInTest, DefaultPictureIsBaselineJfif101At96DpiWithThreeEightBitComponents) {
    const uint8_t* p = kDefaultPicture;
    ASSERT_EQ(kDefaultPictureSize, 35408u);
    ASSERT_EQ(std::memcmp(p, "\xFF\xD8\xFF\xE0", 4), 0);
    EXPECT_EQ(std::memcmp(p + 6, "JFIF\0", 5), 0);
    EXPECT_EQ(p[11], 1);  // major version
    EXPECT_EQ(p[12], 1);  // minor version: 1.01
    EXPECT_EQ(p[13], 1);  // density in dots per inch
    EXPECT_EQ(p[14] << 8 | p[15], 96);
    EXPECT_EQ(p[16] << 8 | p[17], 96);

    // Walk the segments up to the start of scan; the frame must be SOF0 (baseline).
    int frame_marker = 0;
    size_t at = 2;
    while (at + 4 <= kDefaultPictureSize && p[at] == 0xFF && p[at + 1] != 0xDA) {
        const int marker = p[at + 1];
        if (marker >= 0xC0 && marker <= 0xCF && marker != 0xC4 && marker != 0xC8 &&
            marker != 0xCC) {
            frame_marker = marker;
            EXPECT_EQ(p[at + 4], 8);                     // bits per sample
            EXPECT_EQ(p[at + 5] << 8 | p[at + 6], 193);  // height
            EXPECT_EQ(p[at + 7] << 8 | p[at + 8], 522);  // width
            EXPECT_EQ(p[at + 9], 3);                     // components
        }
        at += 2 + (p[at + 2] << 8 | p[at + 3]);
    }
    EXPECT_EQ(frame_marker, 0xC0);
    EXPECT_EQ(p[at + 1], 0xDA);
}

TEST(PictureBuiltInTest, ProgramIconHoldsFive32BitImagesFrom128To16) {
    const uint8_t* p = kProgramIcon;
    ASSERT_EQ(kProgramIconSize, 99678u);
    EXPECT_EQ(p[2] | p[3] << 8, 1);  // icon, not cursor
    ASSERT_EQ(p[4] | p[5] << 8, 5);
    const int sizes[] = {128, 64, 48, 32, 16};
    for (int i = 0; i < 5; ++i) {
        const uint8_t* entry = p + 6 + 16 * i;
        EXPECT_EQ(entry[0], sizes[i]);
        EXPECT_EQ(entry[1], sizes[i]);
        EXPECT_EQ(entry[6] | entry[7] << 8, 32);
        const uint32_t offset = entry[12] | entry[13] << 8 | entry[14] << 16 | entry[15] << 24;
        const uint8_t* header = p + offset;
        EXPECT_EQ(header[0], 40);                             // BITMAPINFOHEADER, not PNG
        EXPECT_EQ(header[8] | header[9] << 8, 2 * sizes[i]);  // colour image and mask
        EXPECT_EQ(header[14], 32);
    }
}

// ---- Format recognition and unusable input -----------------------------------------------

TEST(PictureFormatTest, UnrecognisedOrEmptyInputGivesEmptyBitmap) {
    EXPECT_TRUE(DecodePicture(nullptr, 0).empty());
    EXPECT_TRUE(Decode({}).empty());
    EXPECT_TRUE(Decode({0xFF}).empty());
    EXPECT_TRUE(Decode({'G', 'I', 'F', '8', '9'}).empty());
    EXPECT_TRUE(Decode({0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'}).empty());
    EXPECT_TRUE(Decode({0xFF, 0xD8}).empty());
    EXPECT_TRUE(Decode({'G', 'I', 'F', '8', '9', 'a'}).empty());
    EXPECT_TRUE(Decode({'B', 'M'}).empty());
}

TEST(PictureFormatTest, RandomBytesAfterEachSignatureGiveEmptyBitmap) {
    std::mt19937 random(7);
    for (const Bytes& signature :
         {Bytes{0xFF, 0xD8}, Bytes{'G', 'I', 'F', '8', '7', 'a'}, Bytes{'B', 'M'}, Bytes{}}) {
        for (int trial = 0; trial < 50; ++trial) {
            Bytes bytes = signature;
            for (int i = 0; i < 300; ++i) bytes.push_back(random() & 0xFF);
            EXPECT_TRUE(Decode(bytes).empty());
        }
    }
}

TEST(PictureFormatTest, SniffsEachFormatWhateverTheFileWasCalled) {
    const Bytes jpeg = MakeJpeg(8, 8, JCS_RGB, RepeatPixel(8, {0, 0, 255}));
    const Bytes gif = MakeGif(1, 1, 0, {{0, 0, 1, 1, false, NO_TRANSPARENT_COLOR, {{2}}}});
    const Bytes bmp = MakeBmp({1, 1, 24, 0, 40, {}, {}, 0, {{0, 0, 255}}});
    EXPECT_TRUE(Near(Decode(jpeg).pixels.at(0), kBlue));
    EXPECT_EQ(Decode(gif).pixels, Pixels{kGreen});
    EXPECT_EQ(Decode(bmp).pixels, Pixels{kRed});
}

// ---- JPEG --------------------------------------------------------------------------------

TEST(JpegTest, DecodesColourGreyAndCmykPictures) {
    const Bitmap colour = Decode(MakeJpeg(16, 16, JCS_RGB, RepeatPixel(16, {255, 0, 0})));
    ASSERT_EQ(colour.width, 16);
    EXPECT_TRUE(Near(colour.pixels[100], kRed));

    const Bitmap grey = Decode(MakeJpeg(16, 16, JCS_GRAYSCALE, RepeatPixel(16, {0x80})));
    ASSERT_EQ(grey.height, 16);
    EXPECT_TRUE(Near(grey.pixels[100], 0xFF808080));

    // libjpeg writes an Adobe marker with CMYK, whose values are inverted: 255 is no ink,
    // so cyan and yellow ink with no black make green.
    const Bitmap cmyk = Decode(MakeJpeg(16, 16, JCS_CMYK, RepeatPixel(16, {0, 255, 0, 255})));
    ASSERT_EQ(cmyk.width, 16);
    EXPECT_TRUE(Near(cmyk.pixels[100], kGreen));
}

TEST(JpegTest, ProgressivePicturesDecodeButEndlessScansAreRefused) {
    const Bytes row = RepeatPixel(32, {200, 100, 50});
    const Bitmap progressive = Decode(MakeJpeg(32, 16, JCS_RGB, row, 100, 8));  // 25 scans
    ASSERT_EQ(progressive.width, 32);
    EXPECT_TRUE(Near(progressive.pixels[300], 0xFFC86432));
    EXPECT_TRUE(Decode(MakeJpeg(32, 16, JCS_RGB, row, 100, 1)).empty());  // 190 scans
}

TEST(JpegTest, BigPhotoForTheWindowIsDecodedAtOneEighth) {
    const Bytes photo = MakeJpeg(6000, 4000, JCS_RGB, RepeatPixel(6000, {40, 80, 120}), 50);
    const Bitmap scaled = Decode(photo, 530, 200);
    EXPECT_EQ(scaled.width, 750);
    EXPECT_EQ(scaled.height, 500);
    EXPECT_TRUE(Near(scaled.pixels[1234], 0xFF285078, 4));
}

TEST(JpegTest, WantedSizePicksTheSmallestScaleThatCoversIt) {
    const Bytes picture = MakeJpeg(800, 400, JCS_RGB, RepeatPixel(800, {0, 0, 0}), 50);
    struct Case {
        int want_width, want_height, width, height;
    } cases[] = {
        {100, 50, 100, 50},      // exactly 1/8
        {101, 50, 200, 100},     // just over 1/8: 2/8
        {250, 0, 300, 150},      // width only: 3/8
        {0, 390, 800, 400},      // height only: 8/8
        {530, 200, 600, 300},    // the default window: 6/8
        {2000, 2000, 800, 400},  // larger than the picture: full size, never enlarged
        {0, 0, 800, 400},
    };
    for (const Case& c : cases) {
        const Bitmap bitmap = Decode(picture, c.want_width, c.want_height);
        EXPECT_EQ(bitmap.width, c.width) << c.want_width << "x" << c.want_height;
        EXPECT_EQ(bitmap.height, c.height) << c.want_width << "x" << c.want_height;
    }
}

TEST(JpegTest, TruncatedImageDataGivesEmptyButMissingEndMarkerStillDecodes) {
    const Bytes whole = MakeJpeg(64, 64, JCS_RGB, RepeatPixel(64, {10, 200, 30}), 90);
    ASSERT_FALSE(Decode(whole).empty());
    EXPECT_TRUE(Decode(Bytes(whole.begin(), whole.begin() + whole.size() / 2)).empty());
    EXPECT_TRUE(Decode(Bytes(whole.begin(), whole.begin() + 20)).empty());
    EXPECT_TRUE(Decode(Bytes(whole.begin(), whole.end() - 3)).empty());  // last entropy bytes
    const Bitmap without_end = Decode(Bytes(whole.begin(), whole.end() - 2));
    EXPECT_EQ(without_end.width, 64);
    EXPECT_TRUE(Near(without_end.pixels[4095], 0xFF0AC81E, 4));
}

TEST(JpegTest, HeaderSizesOverTheLimitsAreRefusedBeforeDecoding) {
    const Bytes small = MakeJpeg(16, 16, JCS_RGB, RepeatPixel(16, {1, 2, 3}));
    ASSERT_NE(FindFrameSize(small), 0u);
    EXPECT_TRUE(Decode(WithJpegSize(small, 30000, 30000)).empty());
    EXPECT_TRUE(Decode(WithJpegSize(small, 16385, 16)).empty());
    EXPECT_TRUE(Decode(WithJpegSize(small, 16384, 16384)).empty());  // 256 Mpixels
    EXPECT_TRUE(Decode(WithJpegSize(small, 65535, 65535)).empty());  // bytes overflow 32 bits
    EXPECT_TRUE(Decode(WithJpegSize(small, 0, 16)).empty());
    EXPECT_TRUE(Decode(WithJpegSize(small, 30000, 30000), 530, 200).empty());
    // Within the limits the same header is accepted: the data then runs short.
    EXPECT_FALSE(Decode(WithJpegSize(small, 16, 16)).empty());
}

// ---- BMP ---------------------------------------------------------------------------------

TEST(BmpTest, PalettedPicturesOfOneFourAndEightBits) {
    BmpLayout one = Bmp(10, 2, 1);
    one.palette = {0x000000, 0xFFFFFF};
    one.rows = {{0b10000000, 0b01000000},   // bottom row: white at x = 0 and x = 9
                {0b01010101, 0b00000000}};  // top row: white at odd x below 8
    const Bitmap bitmap1 = Decode(MakeBmp(one));
    ASSERT_EQ(bitmap1.width, 10);
    const uint32_t B = kBlack, W = kWhite;
    EXPECT_EQ(bitmap1.pixels, (Pixels{B, W, B, W, B, W, B, W, B, B,  // top
                                      W, B, B, B, B, B, B, B, B, W}));

    BmpLayout four = Bmp(3, 1, 4);
    four.palette = {0x000000, 0xFF0000, 0x00FF00, 0x0000FF};
    four.colours_used = 4;
    four.rows = {{0x12, 0x30}};
    EXPECT_EQ(Decode(MakeBmp(four)).pixels, (Pixels{kRed, kGreen, kBlue}));

    BmpLayout eight = Bmp(2, 1, 8);
    eight.palette = std::vector<uint32_t>(256, 0x123456);
    eight.palette[200] = 0x0000FF;
    eight.rows = {{200, 7}};
    EXPECT_EQ(Decode(MakeBmp(eight)).pixels, (Pixels{kBlue, 0xFF123456}));
}

TEST(BmpTest, SixteenBitsIs555UnlessBitfieldsSayOtherwise) {
    BmpLayout rgb555 = Bmp(2, 1, 16);
    rgb555.rows = {{0x00, 0x7C, 0xE0, 0x03}};  // 0x7C00 red, 0x03E0 green
    EXPECT_EQ(Decode(MakeBmp(rgb555)).pixels, (Pixels{kRed, kGreen}));

    BmpLayout rgb565 = Bmp(3, 1, 16, 3);
    rgb565.masks = {0xF800, 0x07E0, 0x001F};
    rgb565.rows = {{0x00, 0xF8, 0xE0, 0x07, 0x10, 0x84}};  // red, green, 0x8410 mid grey
    EXPECT_EQ(Decode(MakeBmp(rgb565)).pixels, (Pixels{kRed, kGreen, 0xFF848284}));
}

TEST(BmpTest, TwentyFourAndThirtyTwoBitsWithAndWithoutBitfields) {
    BmpLayout rgb24 = Bmp(2, 1, 24);
    rgb24.rows = {{0x01, 0x02, 0x03, 0xFF, 0x80, 0x00}};  // stored blue, green, red
    EXPECT_EQ(Decode(MakeBmp(rgb24)).pixels, (Pixels{0xFF030201, 0xFF0080FF}));

    // The fourth byte of 32-bit BI_RGB is unused: the result is opaque either way.
    BmpLayout rgb32 = Bmp(2, 1, 32);
    rgb32.rows = {{0x01, 0x02, 0x03, 0x00, 0x10, 0x20, 0x30, 0x77}};
    EXPECT_EQ(Decode(MakeBmp(rgb32)).pixels, (Pixels{0xFF030201, 0xFF302010}));

    BmpLayout fields32 = Bmp(1, 1, 32, 3);
    fields32.masks = {0x000000FF, 0x0000FF00, 0x00FF0000};  // red in the lowest byte
    fields32.rows = {{0x11, 0x22, 0x33, 0x00}};
    EXPECT_EQ(Decode(MakeBmp(fields32)).pixels, (Pixels{0xFF112233}));
}

TEST(BmpTest, V4AndV5HeadersCarryTheirMasksInside) {
    for (uint32_t header_size : {108u, 124u}) {
        BmpLayout layout = Bmp(2, 1, 32, 3, header_size);
        layout.masks = {0xFF000000, 0x00FF0000, 0x0000FF00};
        layout.rows = {{0x00, 0x33, 0x22, 0x11, 0x00, 0x00, 0x00, 0xFF}};
        EXPECT_EQ(Decode(MakeBmp(layout)).pixels, (Pixels{0xFF112233, kRed})) << header_size;
    }
    BmpLayout v5_palette = Bmp(1, 1, 8, 0, 124);
    v5_palette.palette = {0x00FF00};
    v5_palette.colours_used = 1;
    v5_palette.rows = {{0}};
    EXPECT_EQ(Decode(MakeBmp(v5_palette)).pixels, Pixels{kGreen});
}

TEST(BmpTest, BottomUpAndTopDownRowsLandTheSameWayUp) {
    BmpLayout bottom_up = Bmp(1, 2, 24);
    bottom_up.rows = {{0xFF, 0, 0}, {0, 0, 0xFF}};  // blue stored first: the bottom row
    EXPECT_EQ(Decode(MakeBmp(bottom_up)).pixels, (Pixels{kRed, kBlue}));

    BmpLayout top_down = Bmp(1, -2, 24);
    top_down.rows = {{0xFF, 0, 0}, {0, 0, 0xFF}};  // blue stored first: the top row
    EXPECT_EQ(Decode(MakeBmp(top_down)).pixels, (Pixels{kBlue, kRed}));
}

TEST(BmpTest, PaletteIndexBeyondThePaletteMakesThePictureInvalid) {
    BmpLayout layout = Bmp(2, 1, 8);
    layout.palette = {0xFF0000, 0x00FF00};
    layout.colours_used = 2;
    layout.rows = {{1, 1}};
    EXPECT_EQ(Decode(MakeBmp(layout)).pixels, (Pixels{kGreen, kGreen}));
    layout.rows = {{1, 2}};
    EXPECT_TRUE(Decode(MakeBmp(layout)).empty());
}

TEST(BmpTest, ZeroNegativeAndOversizedDimensionsAreRefused) {
    struct Case {
        int32_t width, height;
    } cases[] = {{0, 1},
                 {1, 0},
                 {-1, 1},
                 {-2147483647 - 1, 1},
                 {1, -2147483647 - 1},
                 {30000, 30000},
                 {16385, 1},
                 {1, 16385},
                 {16384, 16384},
                 {0x40000001, 1},  // 4 bytes a pixel overflow 32 bits
                 {65536, 65536}};
    for (const Case& c : cases) {
        BmpLayout layout = Bmp(c.width, c.height, 32);
        layout.rows = {Bytes(64, 0)};
        EXPECT_TRUE(Decode(MakeBmp(layout)).empty()) << c.width << "x" << c.height;
    }
}

TEST(BmpTest, TruncatedOrUnsupportedFilesAreRefused) {
    BmpLayout layout = Bmp(4, 4, 24);
    layout.rows = std::vector<Bytes>(4, Bytes(12, 0x40));
    const Bytes whole = MakeBmp(layout);
    ASSERT_FALSE(Decode(whole).empty());
    EXPECT_TRUE(Decode(Bytes(whole.begin(), whole.end() - 1)).empty());
    EXPECT_TRUE(Decode(Bytes(whole.begin(), whole.begin() + 30)).empty());
    EXPECT_TRUE(Decode(Bytes(whole.begin(), whole.begin() + 54)).empty());

    // Run-length compression, 24-bit bitfields and odd bit depths are not decoded.
    for (auto [bits, compression] : {std::pair{8, 1}, {4, 2}, {24, 3}, {2, 0}, {0, 0}, {64, 0}}) {
        BmpLayout other =
            Bmp(1, 1, static_cast<uint16_t>(bits), static_cast<uint32_t>(compression));
        other.masks = compression == 3 ? std::vector<uint32_t>{0xFF0000, 0xFF00, 0xFF}
                                       : std::vector<uint32_t>{};
        other.palette = {0, 0};
        other.rows = {Bytes(8, 0)};
        EXPECT_TRUE(Decode(MakeBmp(other)).empty()) << bits << " bits, compression " << compression;
    }

    // Pixel data said to start inside the headers.
    Bytes overlapping = whole;
    overlapping[10] = 40;
    EXPECT_TRUE(Decode(overlapping).empty());

    // A header that claims to be larger than the file.
    Bytes bogus_header = whole;
    bogus_header[14] = 0xFF, bogus_header[15] = 0xFF;
    EXPECT_TRUE(Decode(bogus_header).empty());
}

// ---- GIF ---------------------------------------------------------------------------------

TEST(GifTest, FirstFrameIsShownAndLaterFramesAreIgnored) {
    GifFrame first = Frame(0, 0, 3, 2);
    first.rows = {{1, 2, 3}, {3, 2, 1}};
    GifFrame second = Frame(0, 0, 3, 2);
    second.rows = {{0, 0, 0}, {0, 0, 0}};
    const Bitmap bitmap = Decode(MakeGif(3, 2, 0, {first, second}));
    ASSERT_EQ(bitmap.width, 3);
    ASSERT_EQ(bitmap.height, 2);
    EXPECT_EQ(bitmap.pixels, (Pixels{kRed, kGreen, kBlue, kBlue, kGreen, kRed}));
}

TEST(GifTest, ScreenAroundTheFrameAndTransparentPixelsShowTheBackgroundColour) {
    GifFrame frame = Frame(1, 1, 2, 2);
    frame.transparent = 0;
    frame.rows = {{2, 0}, {0, 3}};
    const Bitmap bitmap = Decode(MakeGif(4, 3, 1, {frame}));    // background: red
    EXPECT_EQ(bitmap.pixels, (Pixels{kRed, kRed, kRed, kRed,    //
                                     kRed, kGreen, kRed, kRed,  //
                                     kRed, kRed, kBlue, kRed}));
}

TEST(GifTest, FrameReachingPastTheScreenIsClipped) {
    GifFrame frame = Frame(1, 0, 2, 2);
    frame.rows = {{2, 3}, {3, 2}};
    const Bitmap bitmap = Decode(MakeGif(2, 1, 0, {frame}));
    EXPECT_EQ(bitmap.pixels, (Pixels{kBlack, kGreen}));
}

TEST(GifTest, InterlacedRowsArePutBackInOrder) {
    // Rows 0..8 hold colours 1,2,3,1,2,3,1,2,3; interlaced files store them in the
    // order 0, 8 | 4 | 2, 6 | 1, 3, 5, 7.
    GifFrame frame = Frame(0, 0, 1, 9);
    frame.interlace = true;
    frame.rows = {{1}, {3}, {2}, {3}, {1}, {2}, {1}, {3}, {2}};
    const Bitmap bitmap = Decode(MakeGif(1, 9, 0, {frame}));
    EXPECT_EQ(bitmap.pixels,
              (Pixels{kRed, kGreen, kBlue, kRed, kGreen, kBlue, kRed, kGreen, kBlue}));
}

// One pixel, a two-colour table (black, white), LZW codes clear, <pixel>, end.
Bytes OnePixelGif(uint8_t lzw_byte) {
    // clang-format off
    return {'G', 'I', 'F', '8', '9', 'a', 1, 0, 1, 0, 0x80, 0, 0,  // screen, 2-entry table
            0, 0, 0, 0xFF, 0xFF, 0xFF,                               // black, white
            0x2C, 0, 0, 0, 0, 1, 0, 1, 0, 0,                         // image 1x1 at 0,0
            2, 2, lzw_byte, 0x01, 0,                                 // code size 2, data
            0x3B};
    // clang-format on
}

TEST(GifTest, ColourIndexBeyondTheTableMakesThePictureInvalid) {
    EXPECT_EQ(Decode(OnePixelGif(0x4C)).pixels, Pixels{kWhite});  // index 1
    EXPECT_TRUE(Decode(OnePixelGif(0x5C)).empty());               // index 3
}

TEST(GifTest, TruncatedOversizedOrImagelessFilesAreRefused) {
    GifFrame frame = Frame(0, 0, 2, 2);
    frame.rows = {{1, 2}, {3, 1}};
    const Bytes whole = MakeGif(2, 2, 0, {frame});
    ASSERT_FALSE(Decode(whole).empty());
    for (size_t cut : {size_t{10}, size_t{30}, whole.size() - 6}) {
        EXPECT_TRUE(Decode(Bytes(whole.begin(), whole.begin() + cut)).empty()) << cut;
    }
    Bytes huge = whole;
    huge[6] = 0x30, huge[7] = 0x75, huge[8] = 0x30, huge[9] = 0x75;  // 30000 x 30000 screen
    EXPECT_TRUE(Decode(huge).empty());
    Bytes zero = whole;
    zero[6] = 0, zero[7] = 0;
    EXPECT_TRUE(Decode(zero).empty());
    EXPECT_TRUE(Decode(MakeGif(2, 2, 0, {})).empty());
}

// ---- Resampling --------------------------------------------------------------------------

Bitmap Grey(int width, int height, std::vector<uint32_t> levels) {
    Bitmap bitmap{width, height, {}};
    for (uint32_t level : levels) bitmap.pixels.push_back(0xFF000000 | level * 0x010101);
    return bitmap;
}

std::vector<uint32_t> Levels(const Bitmap& bitmap) {
    std::vector<uint32_t> levels;
    for (uint32_t pixel : bitmap.pixels) levels.push_back(pixel & 0xFF);
    return levels;
}

TEST(PictureScaleTest, ShrinkingAveragesTheCoveredArea) {
    const Bitmap quad{2, 2, {0xFF102030, 0xFF203040, 0xFF304050, 0xFF405061}};
    const Bitmap one = ScaleBitmap(quad, 1, 1);
    EXPECT_EQ(one.pixels, Pixels{0xFF283848});  // 0x61 averages to 0x48.25: rounds down

    EXPECT_EQ(Levels(ScaleBitmap(Grey(4, 1, {0, 10, 100, 201}), 2, 1)),
              (std::vector<uint32_t>{5, 151}));  // 150.5 rounds up
    // Three to two: each target pixel covers one and a half source pixels.
    EXPECT_EQ(Levels(ScaleBitmap(Grey(3, 1, {0, 90, 180}), 2, 1)),
              (std::vector<uint32_t>{30, 150}));
    EXPECT_EQ(Levels(ScaleBitmap(Grey(1, 3, {0, 90, 180}), 1, 2)),
              (std::vector<uint32_t>{30, 150}));
}

TEST(PictureScaleTest, GrowingInterpolatesBetweenPixelCentres) {
    EXPECT_EQ(Levels(ScaleBitmap(Grey(2, 1, {0, 200}), 4, 1)),
              (std::vector<uint32_t>{0, 50, 150, 200}));
    EXPECT_EQ(Levels(ScaleBitmap(Grey(1, 1, {77}), 3, 2)),
              (std::vector<uint32_t>{77, 77, 77, 77, 77, 77}));
    // Shrinking one way and growing the other.
    EXPECT_EQ(Levels(ScaleBitmap(Grey(2, 2, {0, 80, 200, 40}), 1, 4)),
              (std::vector<uint32_t>{40, 60, 100, 120}));
}

TEST(PictureScaleTest, DefaultPictureStretchesToTheDefaultWindow) {
    const Bitmap picture = DecodePicture(kDefaultPicture, kDefaultPictureSize, 530, 200);
    const Bitmap window = ScaleBitmap(picture, 530, 200);
    EXPECT_EQ(window.width, 530);
    EXPECT_EQ(window.height, 200);
    EXPECT_EQ(window.pixels.size(), 530u * 200u);
    EXPECT_TRUE(Near(window.pixels[0], picture.pixels[0], 2));
    EXPECT_TRUE(Near(window.pixels.back(), picture.pixels.back(), 2));
}

TEST(PictureScaleTest, EmptyMalformedOrOversizedRequestsGiveEmptyBitmap) {
    const Bitmap grey = Grey(2, 1, {1, 2});
    EXPECT_TRUE(ScaleBitmap(Bitmap{}, 10, 10).empty());
    EXPECT_TRUE(ScaleBitmap(Bitmap{3, 3, {1, 2}}, 10, 10).empty());
    EXPECT_TRUE(ScaleBitmap(grey, 0, 10).empty());
    EXPECT_TRUE(ScaleBitmap(grey, 10, -1).empty());
    EXPECT_TRUE(ScaleBitmap(grey, 30000, 30000).empty());
    EXPECT_EQ(ScaleBitmap(grey, 2, 1).pixels, grey.pixels);
}

}  // namespace
}  // namespace tq
