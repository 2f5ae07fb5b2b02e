// The application's photo loader judges a JPEG by its markers before the image reader or a
// decoder sees it, by the rules the merge program reads with; and names a photo that is missing
// or may not be read as such.
#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <grp.h>
#include <sys/resource.h>
#include <unistd.h>

#include <string>

#include "../merge/crafted_jpeg.h"
#include "CBImageSource.h"
#include "jpeg_checks.h"
#include "jpeg_layout.h"
#include "photo_file.h"
#include "photo_metadata.h"

namespace {

using crafted::Bytes;

const QString kZeroRun = QString::fromStdString(
    tonefold::JpegDataRefusal(tonefold::JpegDataFault::kZeroRun));
const QString kTooLong = QString::fromStdString(
    tonefold::JpegDataRefusal(tonefold::JpegDataFault::kTooLong));
const QString kTooManyMarkers =
    QString::fromStdString(tonefold::CheckJpegMarkerCount(tonefold::kMaxJpegMarkers + 1));

long PeakResidentKilobytes() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;
}

class PhotoBoundsTest : public ::testing::Test {
protected:
    QTemporaryDir dir;

    QString Write(const QString &name, const Bytes &bytes) {
        const QString path = dir.filePath(name);
        QFile file(path);
        EXPECT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        file.write(reinterpret_cast<const char *>(bytes.data()), static_cast<qint64>(bytes.size()));
        return path;
    }

    // Whether the photo loads; its reason in *reason, and whether its properties were read.
    static bool Load(const QString &path, QString *reason, bool *initialised = nullptr) {
        CBImageSource source;
        const bool read = source.initWithPhoto(path);
        if (initialised) *initialised = read;
        const bool opened = read && source.open();
        *reason = source.failureReason();
        return opened;
    }
};

// Headers followed by a hole up to 3 GiB. A header without a scan is refused before the image
// reader, which would read on through the hole for its size; a scan's data of gigabytes is a
// run of zeros, refused before it is read.
TEST_F(PhotoBoundsTest, HugeSparseJpegsAreRefusedFromTheirMarkers) {
    const Bytes jpeg = crafted::GreyJpeg(160, 120);
    const Bytes end = {0xFF, 0xD9};
    struct Case {
        const char *name;
        Bytes head, tail;
        QString reason;
    };
    const Case cases[] = {
        {"a header, a hole, an end marker", crafted::ThroughFirstScanHeader(jpeg), end, kZeroRun},
        {"a header without a scan, a hole", crafted::BeforeFirstScan(jpeg), {},
         QString::fromLatin1(kReasonUnreadable)},
        {"a header claiming 10000 x 10000, a hole, an end marker",
         crafted::WithFrameSize(crafted::ThroughFirstScanHeader(jpeg), 10000, 10000), end,
         kZeroRun},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        const QString path = dir.filePath("sparse.jpg");
        ASSERT_TRUE(crafted::WriteSparseFile(path.toStdString(), c.head, off_t{3} << 30, c.tail));
        const long before = PeakResidentKilobytes();
        QString reason;
        EXPECT_FALSE(Load(path, &reason));
        EXPECT_EQ(reason, c.reason);
        EXPECT_LT(PeakResidentKilobytes() - before, 64 * 1024) << "read the hole";
        QFile::remove(path);
    }
}

// The same bounds as the merge program's: data past them refused before it is read, data short
// of them left to the decoder; a flat picture, whose data is one run of zeros, is inside them.
TEST_F(PhotoBoundsTest, EntropyDataIsBoundedByWhatItsFrameCouldNeed) {
    const Bytes header = crafted::ThroughFirstScanHeader(crafted::GreyJpeg(160, 120));
    const Bytes end = {0xFF, 0xD9};
    const auto filled = [&](size_t count, uint8_t value) {
        return crafted::Joined(crafted::Joined(header, Bytes(count, value)), end);
    };
    struct Case {
        const char *name;
        Bytes file;
        QString reason;  // empty: refused by the decoder for another reason
    };
    const Case cases[] = {
        {"2 MiB of data for 160 x 120", filled(size_t{2} << 20, 0x55), kTooLong},
        {"1000 KiB of data for 160 x 120", filled(size_t{1000} << 10, 0x55), {}},
        {"80 KiB of zeros", filled(size_t{80} << 10, 0x00), kZeroRun},
        {"60 KiB of zeros", filled(size_t{60} << 10, 0x00), {}},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        QString reason;
        bool initialised = false;
        EXPECT_FALSE(Load(Write("filled.jpg", c.file), &reason, &initialised));
        EXPECT_TRUE(initialised) << "the header alone is sound";
        if (!c.reason.isEmpty()) {
            EXPECT_EQ(reason, c.reason);
        } else {
            EXPECT_NE(reason, kTooLong);
            EXPECT_NE(reason, kZeroRun);
        }
    }
    PhotoFile flat;
    QString reason;
    ASSERT_TRUE(flat.open(Write("flat.jpg", crafted::GreyJpeg(4800, 4000, {}, true, true)),
                          QByteArray("\xFF\xD8", 2), &reason));
    const JpegLayout layout = WalkJpeg(flat, tonefold::kMaxJpegScans);
    EXPECT_EQ(layout.dataFault, tonefold::JpegDataFault::kNone);
    EXPECT_EQ(layout.bytes, flat.size());
}

// Before the first scan refused before the image reader reads the header, which takes minutes
// for tens of thousands; between the scans of a progressive file, before it is decoded.
TEST_F(PhotoBoundsTest, MarkersOfTablesAndMetadataAreLimited) {
    using crafted::GreyScan;
    const Bytes sequential = crafted::GreyJpeg(64, 48);
    const Bytes progressive = crafted::GreyJpeg(
        64, 48, {GreyScan(0, 0, 0, 0), GreyScan(1, 5, 0, 0), GreyScan(6, 63, 0, 0)});
    for (const int beforeScan : {0, 1, 2}) {
        SCOPED_TRACE(beforeScan);
        const Bytes &jpeg = beforeScan == 2 ? progressive : sequential;
        PhotoFile file;
        QString reason;
        ASSERT_TRUE(file.open(Write("plain.jpg", jpeg), QByteArray("\xFF\xD8", 2), &reason));
        const int own = WalkJpeg(file, tonefold::kMaxJpegScans).markers;  // the frame, the tables
        ASSERT_GT(own, 2);
        EXPECT_TRUE(Load(Write("limit.jpg", crafted::WithComments(jpeg, 1000 - own, beforeScan)),
                         &reason))
            << reason.toStdString();
        for (const int comments : {1001 - own, 60000}) {
            SCOPED_TRACE(comments);
            bool initialised = true;
            EXPECT_FALSE(Load(Write("over.jpg", crafted::WithComments(jpeg, comments, beforeScan)),
                              &reason, &initialised));
            EXPECT_EQ(initialised, beforeScan == 2);
            EXPECT_EQ(reason, kTooManyMarkers);
        }
    }
}

// As the merge program's walk stops past the limit, so does the loader's.
TEST_F(PhotoBoundsTest, FillBytesBeforeAMarkerAreLimited) {
    const Bytes jpeg = crafted::GreyJpeg(64, 48);
    const size_t most = tonefold::kMaxJpegFillBytes;
    QString reason;
    EXPECT_TRUE(Load(Write("fill.jpg", crafted::WithFillBytes(jpeg, most)), &reason))
        << reason.toStdString();
    bool initialised = true;
    EXPECT_FALSE(
        Load(Write("fill.jpg", crafted::WithFillBytes(jpeg, most + 1)), &reason, &initialised));
    EXPECT_FALSE(initialised);
    EXPECT_EQ(reason, QString::fromLatin1(kReasonUnreadable));
}

// As the merge program refuses them: see its test of the same name.
TEST_F(PhotoBoundsTest, ProgressiveFilesThatNeverSendSomeCoefficientsAreRefused) {
    using crafted::GreyScan;
    struct Case {
        const char *name;
        std::vector<jpeg_scan_info> script;
        bool opens;
    };
    const Case cases[] = {
        {"DC only", {GreyScan(0, 0, 0, 0)}, false},
        {"DC and AC 1 to 5 only", {GreyScan(0, 0, 0, 0), GreyScan(1, 5, 0, 0)}, false},
        {"every coefficient", {GreyScan(0, 0, 0, 0), GreyScan(1, 5, 0, 0), GreyScan(6, 63, 0, 0)},
         true},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        QString reason;
        EXPECT_EQ(Load(Write("progressive.jpg", crafted::GreyJpeg(96, 64, c.script)), &reason),
                  c.opens);
        EXPECT_EQ(reason, c.opens ? QString() : QString::fromLatin1(kReasonTruncated));
    }
}

// The reason a photo's properties are refused for, read in a child process as the user nobody:
// the superuser may read any file. "cannot switch" when the child cannot become nobody.
QString ReasonAsNobody(const QString &path) {
    return QString::fromStdString(crafted::InChild([&path]() -> std::string {
        const uid_t nobody = 65534;
        if (geteuid() == 0 && (setgroups(0, nullptr) != 0 || setgid(nobody) != 0 ||
                               setuid(nobody) != 0))
            return "cannot switch";
        CBImageSource source;
        return source.initWithPhoto(path) ? std::string() : source.failureReason().toStdString();
    }));
}

TEST_F(PhotoBoundsTest, MissingAndForbiddenPhotosAreNamedSo) {
    const Bytes jpeg = crafted::GreyJpeg(64, 48);
    QString reason;
    EXPECT_FALSE(Load(dir.filePath("absent.jpg"), &reason));
    EXPECT_EQ(reason, QString::fromLatin1(kReasonMissing));
    CBImageSource gone;
    const QString path = Write("gone.jpg", jpeg);
    ASSERT_TRUE(gone.initWithPhoto(path));
    QFile::remove(path);
    EXPECT_FALSE(gone.open());
    EXPECT_EQ(gone.failureReason(), QString::fromLatin1(kReasonMissing));
    ASSERT_TRUE(QDir().mkdir(dir.filePath("folder.jpg")));
    EXPECT_FALSE(Load(dir.filePath("folder.jpg"), &reason));
    EXPECT_EQ(reason, QString::fromLatin1(kReasonNotAFile));

    // Both files in a folder that anyone may pass through: only the file's own mode differs.
    const QString readable = Write("readable.jpg", jpeg), locked = Write("locked.jpg", jpeg);
    ASSERT_TRUE(QFile::setPermissions(dir.path(), QFile::ReadOwner | QFile::WriteOwner |
                                                      QFile::ExeOwner | QFile::ExeGroup |
                                                      QFile::ExeOther));
    ASSERT_TRUE(QFile::setPermissions(readable, QFile::ReadOwner | QFile::ReadGroup |
                                                    QFile::ReadOther));
    ASSERT_TRUE(QFile::setPermissions(locked, QFileDevice::Permissions()));
    if (ReasonAsNobody(readable) == "cannot switch") GTEST_SKIP() << "cannot become nobody";
    EXPECT_EQ(ReasonAsNobody(readable), QString());
    EXPECT_EQ(ReasonAsNobody(locked), QString::fromLatin1(kReasonNoPermission));
}

}  // namespace
