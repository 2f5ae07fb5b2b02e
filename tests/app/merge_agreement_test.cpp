// The application's picture is the merge program's picture: the same three photos at the same
// settings through the bridge (records, merge, the effect at its defaults) and through
// tonefold-merge give the same picture but for the decoders' chroma siting.
#include <gtest/gtest.h>

#include <QDir>
#include <QFileInfo>
#include <QImage>
#include <QTemporaryDir>
#include <cmath>
#include <sstream>

#include "CBImageSource.h"
#include "CBYUVRGB.h"
#include "IHDREngineController.h"
#include "bracket_photos.h"
#include "merge_program.h"

namespace {

struct Picture {
    std::vector<uint8_t> bgr;
    int64_t width = 0, height = 0, line = 0;
    uint8_t at(int64_t x, int64_t y, int c) const { return bgr[y * line + 3 * x + c]; }
};

// The bridge's picture at its default settings, as the application's first merge makes it.
bool AppPicture(const QStringList &paths, Picture *picture) {
    auto photos = fixtures::OpenPhotos(paths);
    if (photos.size() != 3) return false;
    QList<const CBImageSource *> list;
    for (const auto &photo : photos) list << photo.get();
    IHDREngineController bridge;
    if (!bridge.convertImages(list)) return false;
    photos.clear();
    const int result = bridge.run(
        bridge.toneLength(), bridge.brightness(), bridge.toneSaturation(),
        bridge.ghostSuppressionLevel(), [picture](FreeBuffer bgr, int64_t w, int64_t h, int64_t) {
            picture->width = w;
            picture->height = h;
            picture->line = CBYUVRGB::bgrLineBytes(w);
            if (bgr) picture->bgr.assign(bgr.get(), bgr.get() + picture->line * h);
        });
    return result == RESULT_OK && !picture->bgr.empty();
}

// PSNR over the merge program's picture (the application's may be up to three columns wider).
double Psnr(const Picture &app, const QImage &program) {
    double squares = 0;
    for (int y = 0; y < program.height(); ++y) {
        const QRgb *row = reinterpret_cast<const QRgb *>(program.constScanLine(y));
        for (int x = 0; x < program.width(); ++x) {
            const int d[3] = {app.at(x, y, 0) - qBlue(row[x]), app.at(x, y, 1) - qGreen(row[x]),
                              app.at(x, y, 2) - qRed(row[x])};
            for (int c : d) squares += double(c) * c;
        }
    }
    const double mse = squares / (3.0 * program.width() * program.height());
    return mse == 0 ? 99.0 : 10 * std::log10(255.0 * 255.0 / mse);
}

struct Bracket {
    const char *name;
    QString folder;
    QStringList files;
};

void PrintTo(const Bracket &bracket, std::ostream *out) { *out << bracket.name; }

class MergeAgreementTest : public ::testing::TestWithParam<Bracket> {};

TEST_P(MergeAgreementTest, TheApplicationsPictureIsTheMergePrograms) {
    const Bracket &b = GetParam();
    QStringList paths;
    for (const QString &file : b.files) paths << QDir(b.folder).filePath(file);
    for (const QString &path : paths)
        if (!QFileInfo(path).isFile()) GTEST_SKIP() << path.toStdString() << " is absent";

    QTemporaryDir dir;
    const QString out = dir.filePath("merged.png");
    std::vector<std::string> args{"-o", out.toStdString()};
    for (const QString &path : paths) args.push_back(path.toStdString());
    std::ostringstream said, complained;
    ASSERT_EQ(tonefold::RunMergeProgram(args, said, complained), tonefold::kExitOk)
        << complained.str();
    const QImage program = QImage(out).convertToFormat(QImage::Format_RGB32);
    ASSERT_FALSE(program.isNull());

    Picture app;
    ASSERT_TRUE(AppPicture(paths, &app));
    ASSERT_EQ(app.height, program.height());
    ASSERT_GE(app.width, program.width());
    ASSERT_LT(app.width, program.width() + 4);
    const double psnr = Psnr(app, program);
    std::printf("%s: application vs merge program %.2f dB\n", b.name, psnr);
    RecordProperty("psnr_db", std::to_string(psnr));
    EXPECT_GE(psnr, 40.0);

    if (QString(b.name) == "SeaRock") {
        // The sky, which even the darkest photo shows blue, stays blue: no pure white.
        int64_t white = 0, red = 0;
        for (int y = 50; y < 150; ++y)
            for (int x = 600; x < 800; ++x) {
                white += app.at(x, y, 0) == 255 && app.at(x, y, 1) == 255 && app.at(x, y, 2) == 255;
                red += app.at(x, y, 2);
            }
        EXPECT_EQ(white, 0);
        EXPECT_LT(red / (200 * 100), 230);
    }
}

const QString kBrackets = QStringLiteral(TONEFOLD_BRACKETS_DIR);

INSTANTIATE_TEST_SUITE_P(
    Brackets, MergeAgreementTest,
    ::testing::Values(
        Bracket{"Flowers", QStringLiteral(TONEFOLD_SAMPLES_DIR "/flowers"),
                {"Flowers1.jpg", "Flowers2.jpg", "Flowers3.jpg"}},
        Bracket{"SeaRock", kBrackets + "/SeaRock", {"SeaRock1.jpg", "SeaRock2.jpg", "SeaRock3.jpg"}},
        Bracket{"Phone12mp", kBrackets + "/phone-12mp", {"dark.jpg", "mid.jpg", "bright.jpg"}}),
    [](const ::testing::TestParamInfo<Bracket> &info) { return std::string(info.param.name); });

}  // namespace
