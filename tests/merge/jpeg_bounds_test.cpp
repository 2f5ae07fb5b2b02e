// The merge program's JPEG reading is bounded by the file's markers before any decoder runs:
// markers before the first scan, entropy-coded data no longer than its frame could need and
// without long runs of zeros; and progressive files that never send some coefficients.
#include <gtest/gtest.h>

#include <string>

#include "exif_orientation.h"
#include "merge/crafted_jpeg.h"
#include "merge/photo_support.h"
#include "photo_io.h"

namespace {

using crafted::Bytes;

constexpr const char *kZeroRun = "is damaged (its image data holds a long run of zero bytes)";
constexpr const char *kTooLong = "is damaged (its image data is far longer than its picture needs)";
constexpr const char *kTruncated = "is truncated (its image data ends early)";

std::string Refusal(const Bytes &jpeg) {
    tonefold::YuyvImage image;
    std::string reason;
    return tonefold::DecodePhoto(jpeg.data(), jpeg.size(), &image, &reason) ? "" : reason;
}

// Reads the file in a child process: the reason it was refused for (empty when it was read)
// and the child's peak resident memory in megabytes.
std::string ReadInChild(const std::string &path, double *peakMegabytes) {
    return crafted::InChild(
        [&path] {
            tonefold::YuyvImage image;
            std::string reason;
            return tonefold::ReadPhotoFile(path, &image, &reason) ? std::string() : reason;
        },
        peakMegabytes);
}

// Headers followed by a hole up to 3 GiB, each refused from its markers without the hole being
// mapped in: a scan's data of gigabytes after the header of a small picture, or of a picture
// over the size limit, is a run of zeros no encoder makes.
TEST(JpegBounds, HugeSparseFilesAreRefusedInLittleMemory) {
    photo_support::ScratchDir dir;
    const Bytes jpeg = crafted::GreyJpeg(160, 120);
    const Bytes end = {0xFF, 0xD9};
    struct Case {
        const char *name;
        Bytes head, tail;
        const char *reason;
    };
    const Case cases[] = {
        {"a header, a hole, an end marker", crafted::ThroughFirstScanHeader(jpeg), end, kZeroRun},
        {"a header without a scan, a hole", crafted::BeforeFirstScan(jpeg), {},
         "is truncated or not a complete JPEG file"},
        {"a header claiming 10000 x 10000, a hole, an end marker",
         crafted::WithFrameSize(crafted::ThroughFirstScanHeader(jpeg), 10000, 10000), end,
         kZeroRun},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        const std::string path = dir.File("sparse.jpg");
        ASSERT_TRUE(crafted::WriteSparseFile(path, c.head, off_t{3} << 30, c.tail));
        double peak = 0;
        EXPECT_EQ(ReadInChild(path, &peak), c.reason);
        EXPECT_LT(peak, 100.0) << "mapped in the hole";
        unlink(path.c_str());
    }
}

// The bounds leave sound files far inside them: a flat picture with tables made for it codes
// each block in two zero bits, its whole data one run of zeros, here past the bound that small
// pictures have. Data past the bounds is refused for them, data short of them by the decoder.
TEST(JpegBounds, EntropyDataIsBoundedByWhatItsFrameCouldNeed) {
    const Bytes flat = crafted::GreyJpeg(4800, 4000, {}, true, true);
    const Bytes header = crafted::ThroughFirstScanHeader(crafted::GreyJpeg(160, 120));
    const Bytes end = {0xFF, 0xD9};
    const auto filled = [&](size_t count, uint8_t value) {
        return crafted::Joined(crafted::Joined(header, Bytes(count, value)), end);
    };
    const tonefold::JpegMarkerScan flatScan = tonefold::ScanJpegMarkers(flat.data(), flat.size());
    EXPECT_TRUE(flatScan.hasEnd);
    EXPECT_EQ(flatScan.dataFault, tonefold::JpegDataFault::kNone);
    std::string reason;
    EXPECT_TRUE(tonefold::CheckPhotoHeader(flat.data(), flat.size(), &reason)) << reason;
    struct Case {
        const char *name;
        Bytes file;
        const char *reason;  // null: refused by the decoder for another reason
    };
    const Case cases[] = {
        {"2 MiB of data for 160 x 120", filled(size_t{2} << 20, 0x55), kTooLong},
        {"1000 KiB of data for 160 x 120", filled(size_t{1000} << 10, 0x55), nullptr},
        {"80 KiB of zeros", filled(size_t{80} << 10, 0x00), kZeroRun},
        {"60 KiB of zeros", filled(size_t{60} << 10, 0x00), nullptr},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        const std::string refusal = Refusal(c.file);
        EXPECT_FALSE(refusal.empty());
        if (c.reason) {
            EXPECT_EQ(refusal, c.reason);
        } else {
            EXPECT_NE(refusal, kTooLong);
            EXPECT_NE(refusal, kZeroRun);
        }
    }
}

// Comments before the first scan, or between the scans of a progressive file, count with the
// encoder's own markers (the frame, the tables).
TEST(JpegBounds, MarkersOfTablesAndMetadataAreLimited) {
    using crafted::GreyScan;
    const char *const over =
        "cannot be decoded (it has more than 1000 markers of tables or metadata)";
    const Bytes sequential = crafted::GreyJpeg(64, 48);
    const Bytes progressive = crafted::GreyJpeg(
        64, 48, {GreyScan(0, 0, 0, 0), GreyScan(1, 5, 0, 0), GreyScan(6, 63, 0, 0)});
    for (const int beforeScan : {0, 1, 2}) {
        SCOPED_TRACE(beforeScan);
        const Bytes &jpeg = beforeScan == 2 ? progressive : sequential;
        const int own = tonefold::ScanJpegMarkers(jpeg.data(), jpeg.size()).markers;
        ASSERT_GT(own, 2);
        EXPECT_EQ(Refusal(crafted::WithComments(jpeg, 1000 - own, beforeScan)), "");
        EXPECT_EQ(Refusal(crafted::WithComments(jpeg, 1001 - own, beforeScan)), over);
        EXPECT_EQ(Refusal(crafted::WithComments(jpeg, 60000, beforeScan)), over);
    }
}

// Fill bytes before a marker are passed over up to a limit: past it the walk stops, as at a
// segment that does not fit, rather than follow a file of nothing else through gigabytes.
TEST(JpegBounds, FillBytesBeforeAMarkerAreLimited) {
    const Bytes jpeg = crafted::GreyJpeg(64, 48);
    EXPECT_EQ(Refusal(crafted::WithFillBytes(jpeg, tonefold::kMaxJpegFillBytes)), "");
    EXPECT_EQ(Refusal(crafted::WithFillBytes(jpeg, tonefold::kMaxJpegFillBytes + 1)),
              "is truncated or not a complete JPEG file");
}

// A progressive file whose scans never send some coefficients decodes without a warning to a
// picture without them: refused as a file cut before its last refinement is. Such a file tells
// unsent coefficients from half-refined ones, which a cut file does not.
TEST(JpegBounds, ProgressiveFilesThatNeverSendSomeCoefficientsAreRefused) {
    using crafted::GreyScan;
    struct Case {
        const char *name;
        std::vector<jpeg_scan_info> script;
        const char *reason;
    };
    const Case cases[] = {
        {"DC only", {GreyScan(0, 0, 0, 0)}, kTruncated},
        {"DC and AC 1 to 5 only", {GreyScan(0, 0, 0, 0), GreyScan(1, 5, 0, 0)}, kTruncated},
        {"every coefficient", {GreyScan(0, 0, 0, 0), GreyScan(1, 5, 0, 0), GreyScan(6, 63, 0, 0)},
         ""},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(Refusal(crafted::GreyJpeg(96, 64, c.script)), c.reason);
    }
}

}  // namespace
