#include <gtest/gtest.h>

#include <random>

#include "exif_orientation.h"
#include "merge/photo_support.h"

using namespace photo_support;
using tonefold::JpegMarkerScan;
using tonefold::ReadPhotoOrientation;
using tonefold::ReadTiffOrientation;
using tonefold::ScanJpegMarkers;

namespace {

TEST(TiffOrientation, ValuesOneToEightInBothByteOrdersOthersCountAsOne) {
    for (const bool bigEndian : {false, true}) {
        for (int value = 0; value <= 10; ++value) {
            const std::vector<uint8_t> tiff = TiffWithOrientation(value, bigEndian);
            const int expected = value >= 1 && value <= 8 ? value : 1;
            EXPECT_EQ(ReadTiffOrientation(tiff.data(), tiff.size()), expected)
                << "value " << value << (bigEndian ? " big-endian" : " little-endian");
        }
    }
}

TEST(TiffOrientation, MalformedBlocksGiveOne) {
    struct Case {
        const char *name;
        size_t offset;  // byte to overwrite in a valid block with orientation 6
        uint8_t value;
    };
    const Case cases[] = {
        {"byte-order mark", 0, 'X'},
        {"magic number", 2, 43},
        {"directory offset past the end", 4, 200},
        {"no entries", 8, 0},
        {"type other than SHORT", 12, 4},
        {"count of zero", 14, 0},
        {"count of two", 14, 2},
        {"count over 0x40000000", 17, 0x40},
        {"another tag", 10, 0x13},
    };
    for (const Case &c : cases) {
        std::vector<uint8_t> tiff = TiffWithOrientation(6, false);
        tiff[c.offset] = c.value;
        EXPECT_EQ(ReadTiffOrientation(tiff.data(), tiff.size()), 1) << c.name;
    }
    EXPECT_EQ(ReadTiffOrientation(nullptr, 0), 1);
}

TEST(TiffOrientation, EveryCutOfTheBlockStaysInsideIt) {
    const std::vector<uint8_t> tiff = TiffWithOrientation(6, true);
    for (size_t size = 0; size < tiff.size(); ++size) {
        // A copy of exactly size bytes, so a read past it is an AddressSanitizer error.
        std::vector<uint8_t> cut(tiff.begin(), tiff.begin() + static_cast<ptrdiff_t>(size));
        const int orientation = ReadTiffOrientation(cut.data(), cut.size());
        EXPECT_EQ(orientation, size >= 22 ? 6 : 1) << "size " << size;
    }
}

TEST(JpegMarkers, OrientationFromTheExifSegmentAndACompleteFile) {
    const std::vector<uint8_t> jpeg = EncodePlanesAsJpeg(MakeScenePlanes(32, 24, TJSAMP_420));
    ASSERT_FALSE(jpeg.empty());
    const JpegMarkerScan plain = ScanJpegMarkers(jpeg.data(), jpeg.size());
    EXPECT_EQ(plain.orientation, 1);
    EXPECT_TRUE(plain.hasScan);
    EXPECT_TRUE(plain.hasEnd);

    // A non-EXIF APP1 segment first is skipped; the EXIF one after it counts.
    std::vector<uint8_t> tagged = WithOrientation(jpeg, 8, true);
    const std::vector<uint8_t> other = {0xFF, 0xE1, 0x00, 0x06, 'h', 't', 't', 'p'};
    tagged.insert(tagged.begin() + 2, other.begin(), other.end());
    EXPECT_EQ(ScanJpegMarkers(tagged.data(), tagged.size()).orientation, 8);
}

TEST(JpegMarkers, FileCutShortHasNoEnd) {
    const std::vector<uint8_t> jpeg =
        WithOrientation(EncodePlanesAsJpeg(MakeScenePlanes(64, 48, TJSAMP_422)), 3);
    for (const size_t cut : {jpeg.size() - 1, jpeg.size() - 2, jpeg.size() / 2}) {
        const std::vector<uint8_t> part(jpeg.begin(), jpeg.begin() + static_cast<ptrdiff_t>(cut));
        EXPECT_FALSE(ScanJpegMarkers(part.data(), part.size()).hasEnd) << "cut at " << cut;
    }
}

TEST(JpegMarkers, DamagedHeadersStayInsideTheBuffer) {
    const std::vector<uint8_t> jpeg =
        WithOrientation(EncodePlanesAsJpeg(MakeScenePlanes(32, 24, TJSAMP_444)), 6);
    std::mt19937 random(7);
    // Every prefix of the header part, and random damage of the header's bytes.
    for (size_t size = 0; size < 80; ++size) {
        std::vector<uint8_t> cut(jpeg.begin(), jpeg.begin() + static_cast<ptrdiff_t>(size));
        const JpegMarkerScan scan = ScanJpegMarkers(cut.data(), cut.size());
        EXPECT_FALSE(scan.hasEnd);
        EXPECT_GE(scan.orientation, 1);
        EXPECT_LE(scan.orientation, 8);
    }
    for (int trial = 0; trial < 500; ++trial) {
        std::vector<uint8_t> damaged(jpeg.begin(), jpeg.begin() + 60);
        for (int k = 0; k < 3; ++k)
            damaged[random() % damaged.size()] = static_cast<uint8_t>(random());
        const JpegMarkerScan scan = ScanJpegMarkers(damaged.data(), damaged.size());
        EXPECT_GE(scan.orientation, 1);
        EXPECT_LE(scan.orientation, 8);
    }
}

// Every photo reader takes its orientation from ReadPhotoOrientation or agrees with it: the
// merge program's decoder turns each photo of this table by the same reading.
std::vector<uint8_t> TiffWithCount(uint32_t count) {
    std::vector<uint8_t> tiff = TiffWithOrientation(6, false);
    for (int i = 0; i < 4; ++i) tiff[14 + i] = static_cast<uint8_t>(count >> (8 * i));
    return tiff;
}

// The chunk inserted right before the end chunk (the last 12 bytes).
std::vector<uint8_t> BeforeEnd(const std::vector<uint8_t> &png, const char type[4],
                               const std::vector<uint8_t> &data) {
    std::vector<uint8_t> out(png.begin(), png.end() - 12);
    AppendChunk(out, type, data);
    out.insert(out.end(), png.end() - 12, png.end());
    return out;
}

TEST(PhotoOrientation, OneReadingForEveryPhotoReader) {
    const int width = 40, height = 30;
    const std::vector<uint8_t> jpeg =
        EncodePlanesAsJpeg(MakeScenePlanes(width, height, TJSAMP_420));
    const std::vector<uint8_t> png =
        EncodePng(std::vector<uint8_t>(static_cast<size_t>(width) * height, 128), width, height,
                  PNG_FORMAT_GRAY);
    ASSERT_FALSE(jpeg.empty());
    ASSERT_FALSE(png.empty());
    const std::vector<uint8_t> six = TiffWithOrientation(6, true);
    std::vector<uint8_t> badMark = six;
    badMark[1] = 'I';
    std::vector<uint8_t> badSum = SpliceChunk(png, "eXIf", six);
    badSum[33 + 8 + six.size()] ^= 1;
    struct Case {
        const char *name;
        std::vector<uint8_t> file;
        int orientation;
        bool damaged = false;  // a decoder may refuse the whole photo
    };
    const Case cases[] = {
        {"JPEG tagged 6", WithOrientation(jpeg, 6, true), 6},
        {"JPEG, count 0x40000000", SpliceExif(jpeg, TiffWithCount(0x40000000)), 1},
        {"JPEG, count 2", SpliceExif(jpeg, TiffWithCount(2)), 1},
        {"JPEG without EXIF", jpeg, 1},
        {"PNG tagged 6", SpliceChunk(png, "eXIf", six), 6},
        {"PNG tagged 6 after its pixels", BeforeEnd(png, "eXIf", six), 6},
        {"PNG, count 0x40000000", SpliceChunk(png, "eXIf", TiffWithCount(0x40000000)), 1},
        {"PNG, damaged check sum", badSum, 1, true},
        {"PNG, 6 after a bad byte-order mark",
         BeforeEnd(SpliceChunk(png, "eXIf", badMark), "eXIf", six), 6, true},
        {"PNG, 6 then 1",
         BeforeEnd(SpliceChunk(png, "eXIf", six), "eXIf", TiffWithOrientation(1, false)), 6, true},
        {"PNG without EXIF", png, 1},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(ReadPhotoOrientation(c.file.data(), c.file.size()), c.orientation);
        tonefold::YuyvImage image;
        std::string reason;
        const bool decoded = tonefold::DecodePhoto(c.file.data(), c.file.size(), &image, &reason);
        if (c.damaged && !decoded) continue;
        ASSERT_TRUE(decoded) << reason;
        EXPECT_EQ(image.width, c.orientation == 6 ? height : width);
    }
    EXPECT_EQ(ReadPhotoOrientation(nullptr, 0), 1);
}

}  // namespace
