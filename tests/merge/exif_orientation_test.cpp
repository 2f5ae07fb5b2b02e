#include <gtest/gtest.h>

#include <random>

#include "exif_orientation.h"
#include "merge/photo_support.h"

using namespace photo_support;
using tonefold::JpegMarkerScan;
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

}  // namespace
