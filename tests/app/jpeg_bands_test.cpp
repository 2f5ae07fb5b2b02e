// Banded decoding of JPEG photos against the image reader's own decoding of the same bytes.
#include <gtest/gtest.h>

#include <QBuffer>
#include <QImageReader>
#include <QImageWriter>

#include "jpeg_bands.h"
#include "support/photo_fixtures.h"

namespace {

// A picture with detail in every row and column, so that a band seam shows.
QImage Detailed(int width, int height) {
    QImage image(width, height, QImage::Format_RGB32);
    uint32_t seed = 7;
    for (int y = 0; y < height; ++y) {
        auto *row = reinterpret_cast<QRgb *>(image.scanLine(y));
        for (int x = 0; x < width; ++x) {
            seed = seed * 1664525 + 1013904223;
            row[x] = qRgb((x * 3 + y) & 255, ((seed >> 24) & 0x3F) | (y & 0xC0), (x ^ y) & 255);
        }
    }
    return image;
}

QImage ReaderDecoded(const QByteArray &jpeg) {
    QBuffer buffer;
    buffer.setData(jpeg);
    QImageReader reader(&buffer, "jpeg");
    reader.setAutoTransform(false);
    QImage image;
    if (!reader.read(&image)) return {};
    return image.convertToFormat(QImage::Format_RGB32);
}

QByteArray Encoded(const QImage &image, bool progressive) {
    QBuffer buffer;
    buffer.open(QIODevice::WriteOnly);
    QImageWriter writer(&buffer, "jpeg");
    writer.setQuality(90);
    writer.setProgressiveScanWrite(progressive);
    EXPECT_TRUE(writer.write(image));
    return buffer.data();
}

TEST(JpegBands, BandsGiveTheReadersBytes) {
    // Tall enough for several bands; odd sizes put band seams and the last block row mid-block.
    for (const QSize size : {QSize(1001, 1537), QSize(640, 2050), QSize(33, 17)}) {
        SCOPED_TRACE(QStringLiteral("%1x%2").arg(size.width()).arg(size.height()).toStdString());
        const QByteArray jpeg = Encoded(Detailed(size.width(), size.height()), false);
        QString damage;
        const QImage banded = DecodeJpegInBands(jpeg, size.width(), size.height(), &damage);
        ASSERT_FALSE(banded.isNull());
        EXPECT_EQ(damage, QString());
        EXPECT_EQ(JpegDamage(jpeg), QString());
        EXPECT_EQ(banded.format(), QImage::Format_RGB32);
        EXPECT_TRUE(banded == ReaderDecoded(jpeg));
    }
}

TEST(JpegBands, LeavesOtherPhotosToTheReaderAndTellsDamage) {
    const QImage picture = Detailed(300, 1100);
    const QByteArray jpeg = Encoded(picture, false);
    const QByteArray progressive = Encoded(picture, true);
    const QByteArray grey = Encoded(picture.convertToFormat(QImage::Format_Grayscale8), false);
    struct Case {
        const char *name;
        QByteArray file;
        int width;
        bool damaged;
    };
    const Case cases[] = {
        {"progressive", progressive, 300, false},
        {"another size", jpeg, 301, false},
        {"one channel", grey, 300, false},
        {"cut short", jpeg.left(jpeg.size() / 2), 300, true},
        {"cut in its header", jpeg.left(200), 300, true},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        QString damage;
        EXPECT_TRUE(DecodeJpegInBands(c.file, c.width, 1100, &damage).isNull());
        EXPECT_EQ(damage.isEmpty(), !c.damaged) << damage.toStdString();
        EXPECT_EQ(JpegDamage(c.file).isEmpty(), !c.damaged);
    }
    EXPECT_FALSE(JpegDamage(QByteArray("not a photo")).isEmpty());
    // Damage the bands never see, in photos they leave to the reader.
    EXPECT_EQ(JpegDamage(progressive.left(progressive.size() * 9 / 10)),
              QStringLiteral("Premature end of JPEG file"));
    EXPECT_FALSE(JpegDamage(grey.left(grey.size() / 2)).isEmpty());
}

}  // namespace
