// Saving, printing and sharing the picture, and the unsaved-work sheets, through the real main
// window on the offscreen platform: files read back through Qt and libtiff, failed writes that
// keep the existing file, the save panel with its accessory and its overwrite question, the
// sheets before opening and before quitting, printing to a PDF file and the sharing menu.
#include <gtest/gtest.h>

#include <QApplication>
#include <QClipboard>
#include <QComboBox>
#include <QColor>
#include <QDialogButtonBox>
#include <QFile>
#include <QImageReader>
#include <QLineEdit>
#include <QMessageBox>
#include <QPainter>
#include <QPrintDialog>
#include <QPrinter>
#include <QProcess>
#include <QRadioButton>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <memory>
#include <cstdlib>
#include <sys/stat.h>
#include <tiffio.h>
#include <unistd.h>

#include "CBImageSource.h"
#include "IIEditingViewController.h"
#include "IIMainWindow.h"
#include "IIPrintView.h"
#include "IISaveViewController.h"
#include "IISharingServicePicker.h"
#include "bracket_photos.h"
#include "localized_string.h"
#include "picture_writer.h"

namespace {

QByteArray ReadAll(const QString &path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

bool WriteAll(const QString &path, const QByteArray &bytes) {
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

// A picture with a pattern no codec could guess: every pixel differs from its neighbours.
QImage Pattern(int width, int height) {
    QImage image(width, height, QImage::Format_RGB32);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            image.setPixel(x, y, qRgb((x * 7 + y * 3) & 255, (x * y + 11) & 255, (x ^ y) & 255));
    return image;
}

QImage Opaque(const QImage &image) { return image.convertToFormat(QImage::Format_RGB32); }

// Whether every channel of the 5 x 5 pixels around (x, y) is within 3 of the pixel's own.
bool IsFlat(const QImage &image, int x, int y) {
    const QRgb centre = image.pixel(x, y);
    for (int v = y - 2; v <= y + 2; ++v)
        for (int u = x - 2; u <= x + 2; ++u) {
            const QRgb c = image.pixel(u, v);
            if (std::abs(qRed(c) - qRed(centre)) > 3 || std::abs(qGreen(c) - qGreen(centre)) > 3 ||
                std::abs(qBlue(c) - qBlue(centre)) > 3)
                return false;
        }
    return true;
}

// The first value of the first quantisation table of a JPEG (16 at quality 50 for libjpeg's
// standard luminance table, 3 at quality 90); -1 when none is found.
int FirstQuantValue(const QByteArray &jpeg) {
    const qsizetype at = jpeg.indexOf(QByteArray("\xFF\xDB", 2));
    return at < 0 || at + 5 >= jpeg.size() ? -1 : static_cast<uint8_t>(jpeg[at + 5]);
}

struct TiffDirectory {
    uint32_t width = 0, height = 0;
    uint16_t compression = 0, unit = 0, samples = 0;
    float xres = 0, yres = 0;
    QImage pixels;
};

// Every directory of a TIFF, with its pixels read through libtiff's scanline reader.
std::vector<TiffDirectory> ReadTiff(const QString &path) {
    std::vector<TiffDirectory> directories;
    TIFF *tiff = TIFFOpen(path.toLocal8Bit().constData(), "r");
    if (!tiff) return directories;
    do {
        TiffDirectory d;
        TIFFGetField(tiff, TIFFTAG_IMAGEWIDTH, &d.width);
        TIFFGetField(tiff, TIFFTAG_IMAGELENGTH, &d.height);
        TIFFGetField(tiff, TIFFTAG_COMPRESSION, &d.compression);
        TIFFGetField(tiff, TIFFTAG_RESOLUTIONUNIT, &d.unit);
        TIFFGetField(tiff, TIFFTAG_XRESOLUTION, &d.xres);
        TIFFGetField(tiff, TIFFTAG_YRESOLUTION, &d.yres);
        TIFFGetField(tiff, TIFFTAG_SAMPLESPERPIXEL, &d.samples);
        if (d.samples == 3) {
            d.pixels = QImage(static_cast<int>(d.width), static_cast<int>(d.height),
                              QImage::Format_RGB888);
            for (uint32_t row = 0; row < d.height; ++row)
                TIFFReadScanline(tiff, d.pixels.scanLine(static_cast<int>(row)), row, 0);
        }
        directories.push_back(d);
    } while (TIFFReadDirectory(tiff));
    TIFFClose(tiff);
    return directories;
}

// The first page's media box in points, or an empty size when the file has none.
QSizeF PageSizeInPdf(const QByteArray &pdf) {
    const QRegularExpressionMatch box =
        QRegularExpression("/MediaBox \\[([^\\]]*)\\]").match(QString::fromLatin1(pdf));
    if (!box.hasMatch()) return QSizeF();
    const QStringList sides = box.captured(1).simplified().split(' ');
    if (sides.size() != 4) return QSizeF();
    return QSizeF(sides[2].toDouble(), sides[3].toDouble());
}

// The rectangle the first image drawn on a PDF page covers, in the page's points (y up): the
// page's content stream is inflated and its q, Q and cm operators followed up to the image.
QRectF ImagePlacementInPdf(const QByteArray &pdf) {
    qsizetype at = 0;
    while ((at = pdf.indexOf("stream\n", at)) >= 0) {
        const qsizetype begin = at + 7, end = pdf.indexOf("endstream", begin);
        at = begin;
        if (end < 0) break;
        const qsizetype object = pdf.lastIndexOf(" obj", begin);
        if (pdf.mid(object, begin - object).contains("/Image")) continue;
        // qUncompress takes zlib data behind a big-endian size hint; it grows past the hint.
        QByteArray packed("\x00\x01\x00\x00", 4);
        packed += pdf.mid(begin, end - begin);
        const QByteArray content = qUncompress(packed);
        if (!content.contains(" Do")) continue;
        std::vector<QTransform> stack{QTransform()};
        std::vector<double> operands;
        for (const QByteArray &token : content.simplified().split(' ')) {
            bool number = false;
            const double value = token.toDouble(&number);
            if (number) {
                operands.push_back(value);
                continue;
            }
            if (token == "q") stack.push_back(stack.back());
            if (token == "Q" && stack.size() > 1) stack.pop_back();
            if (token == "cm" && operands.size() >= 6) {
                const double *m = &operands[operands.size() - 6];
                stack.back() = QTransform(m[0], m[1], m[2], m[3], m[4], m[5]) * stack.back();
            }
            if (token == "Do") return stack.back().mapRect(QRectF(0, 0, 1, 1));
            operands.clear();
        }
    }
    return {};
}

// A save file whose writes fail once the given number of bytes has been written.
class FailingSaveFile : public QSaveFile {
public:
    FailingSaveFile(const QString &path, qint64 limit) : QSaveFile(path), limit_(limit) {}

protected:
    qint64 writeData(const char *data, qint64 size) override {
        if (written_ + size > limit_) {
            setErrorString(QStringLiteral("disk full"));
            return -1;
        }
        written_ += size;
        return QSaveFile::writeData(data, size);
    }

private:
    qint64 written_ = 0, limit_;
};

class WriterTest : public ::testing::Test {
protected:
    void TearDown() override { SetSaveFileFactory({}); }
    QString Path(const QString &name) const { return dir.filePath(name); }
    QTemporaryDir dir;
};

TEST_F(WriterTest, EachTypeReadsBackWithItsSizeResolutionAndOptions) {
    const QImage picture = Pattern(203, 61);
    struct Case {
        const char *name, *uti;
        IISaveOptions options;
    };
    const Case cases[] = {
        {"p.png", "public.png", {}},
        {"q50.jpg", "public.jpeg", {0.5, std::nullopt}},
        {"q90.jpg", "public.jpeg", {0.9, std::nullopt}},
        {"none.tiff", "public.tiff", {std::nullopt, 1}},
        {"lzw.tiff", "public.tiff", {std::nullopt, 5}},
        {"packbits.tiff", "public.tiff", {std::nullopt, 32773}},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        const QString path = Path(c.name);
        ASSERT_TRUE(IIEditingViewController::save(picture, nullptr, QUrl::fromLocalFile(path),
                                                  c.uti, c.options));
        if (QString(c.uti) == "public.tiff") {
            const auto dirs = ReadTiff(path);
            ASSERT_EQ(dirs.size(), 1u);
            EXPECT_EQ(dirs[0].compression, *c.options.tiffCompression);
            EXPECT_EQ(dirs[0].unit, RESUNIT_INCH);
            EXPECT_FLOAT_EQ(dirs[0].xres, 72.0f);
            EXPECT_FLOAT_EQ(dirs[0].yres, 72.0f);
            EXPECT_EQ(dirs[0].samples, 3);
            EXPECT_EQ(Opaque(dirs[0].pixels), picture);
            continue;
        }
        QImageReader reader(path);
        const QImage back = reader.read();
        ASSERT_FALSE(back.isNull());
        EXPECT_EQ(back.size(), picture.size());
        // 72 dpi: the JPEG reader turns the JFIF density into 2834 dots per metre.
        EXPECT_EQ(qRound(back.dotsPerMeterX() * 0.0254), 72);
        EXPECT_EQ(qRound(back.dotsPerMeterY() * 0.0254), 72);
        if (QString(c.uti) == "public.png") {
            EXPECT_EQ(back.dotsPerMeterX(), kSavedPictureDotsPerMeter);
            EXPECT_FALSE(back.hasAlphaChannel());
            EXPECT_EQ(Opaque(back), picture);
        }
    }
    EXPECT_EQ(FirstQuantValue(ReadAll(Path("q50.jpg"))), 16);
    EXPECT_EQ(FirstQuantValue(ReadAll(Path("q90.jpg"))), 3);
    // The JFIF density is stated in dots per inch.
    const QByteArray jpeg = ReadAll(Path("q50.jpg"));
    const qsizetype jfif = jpeg.indexOf("JFIF");
    ASSERT_GT(jfif, 0);
    EXPECT_EQ(jpeg[jfif + 7], 1);
    EXPECT_EQ((uint8_t(jpeg[jfif + 8]) << 8) | uint8_t(jpeg[jfif + 9]), 72);
}

TEST_F(WriterTest, TheTiffPairHoldsTwoDirectoriesAt300Dpi) {
    const QImage first = Pattern(40, 30), second = Pattern(17, 9);
    const QString path = Path("pair.tif");
    ASSERT_TRUE(IIEditingViewController::saveTIFF(first, &second, QUrl::fromLocalFile(path),
                                                  IISaveOptions{std::nullopt, 5}));
    const auto dirs = ReadTiff(path);
    ASSERT_EQ(dirs.size(), 2u);
    EXPECT_EQ(Opaque(dirs[0].pixels), first);
    EXPECT_EQ(Opaque(dirs[1].pixels), second);
    for (const TiffDirectory &d : dirs) {
        EXPECT_FLOAT_EQ(d.xres, 300.0f);
        EXPECT_FLOAT_EQ(d.yres, 300.0f);
        EXPECT_EQ(d.compression, 5);
    }
    ASSERT_TRUE(IIEditingViewController::saveTIFF(first, nullptr, QUrl::fromLocalFile(path), {}));
    EXPECT_EQ(ReadTiff(path).size(), 1u);
}

TEST_F(WriterTest, NothingToWriteAnswersNo) {
    EXPECT_FALSE(IIEditingViewController::save(QImage(), nullptr,
                                               QUrl::fromLocalFile(Path("a.png")), "public.png", {}));
    EXPECT_FALSE(IIEditingViewController::saveTIFF(QImage(), nullptr,
                                                   QUrl::fromLocalFile(Path("a.tif")), {}));
    EXPECT_FALSE(IIEditingViewController::save(Pattern(4, 4), nullptr,
                                               QUrl::fromLocalFile(Path("a.gif")), "public.gif", {}));
    EXPECT_FALSE(IIEditingViewController::save(Pattern(4, 4), nullptr,
                                               QUrl("http://example.invalid/a.png"), "public.png", {}));
    EXPECT_FALSE(QFileInfo::exists(Path("a.png")));
    EXPECT_TRUE(IIEditingViewController::resultImage(QImage()).isNull());
}

TEST_F(WriterTest, AFailedWriteLeavesTheExistingFileAsItWas) {
    const QByteArray old("the file the user had before");
    const QImage picture = Pattern(300, 200);
    const bool root = geteuid() == 0;
    enum Kind { kHalfWay, kNotAFolder, kReadOnlyFolder, kReadOnlyFile };
    for (const char *uti : {"public.png", "public.jpeg", "public.tiff"}) {
        for (Kind kind : {kHalfWay, kNotAFolder, kReadOnlyFolder, kReadOnlyFile}) {
            SCOPED_TRACE(testing::Message() << uti << " case " << kind);
            QTemporaryDir folder;
            QString path = folder.filePath("picture");
            ASSERT_TRUE(WriteAll(path, old));
            if (kind == kHalfWay) {
                SetSaveFileFactory([](const QString &p) {
                    return std::make_unique<FailingSaveFile>(p, 1000);
                });
            } else if (kind == kNotAFolder) {
                path = folder.filePath("picture/inside.png");
            } else if (kind == kReadOnlyFolder) {
                QFile::setPermissions(folder.path(), QFileDevice::ReadOwner | QFileDevice::ExeOwner);
            } else {
                QFile::setPermissions(path, QFileDevice::ReadOwner);
            }
            const bool saved = IIEditingViewController::save(
                picture, nullptr, QUrl::fromLocalFile(path), uti, IISaveOptions{0.9, 5});
            SetSaveFileFactory({});
            QFile::setPermissions(folder.path(), QFileDevice::ReadOwner | QFileDevice::WriteOwner |
                                                     QFileDevice::ExeOwner);
            // Permissions do not hold the superuser back: those two cases can only be checked
            // as an ordinary user.
            if (root && (kind == kReadOnlyFolder || kind == kReadOnlyFile)) continue;
            EXPECT_FALSE(saved);
            EXPECT_EQ(ReadAll(folder.filePath("picture")), old);
            EXPECT_EQ(QDir(folder.path()).entryList(QDir::Files | QDir::Hidden).size(), 1);
        }
    }
}

TEST(SaveAccessory, TypesTabsQualityAndCompression) {
    IISaveViewController accessory;
    EXPECT_EQ(accessory.saveTab(), 0);
    EXPECT_EQ(accessory.saveType(), "public.png");
    ASSERT_EQ(IISaveViewController::saveTypes().size(), 3);
    EXPECT_EQ(IISaveViewController::saveTypes()[1].uti, "public.jpeg");
    EXPECT_EQ(IISaveViewController::saveTypes()[2].localized, "TIFF");
    for (const IISaveType &type : IISaveViewController::saveTypes())
        EXPECT_TRUE(IISaveViewController::writableTypes().contains(type.uti));
    int changes = 0;
    QObject::connect(&accessory, &IISaveViewController::saveTabChanged, [&] { ++changes; });
    const std::pair<const char *, int> tabs[] = {
        {"public.tiff", 2}, {"public.jpeg", 1}, {"public.png", 0}, {"public.gif", 0}};
    for (const auto &[uti, tab] : tabs) {
        accessory.setSaveType(uti);
        EXPECT_EQ(accessory.saveTab(), tab) << uti;
        EXPECT_EQ(accessory.pages()->currentIndex(), tab) << uti;
    }
    EXPECT_EQ(changes, 3);
    for (const auto &[set, read] :
         std::vector<std::pair<int, int>>{{1, 1}, {5, 5}, {32773, 32773}, {7, 1}, {0, 1}, {-5, 1}}) {
        accessory.setSaveCompression(set);
        EXPECT_EQ(accessory.saveCompression(), read) << set;
    }
    accessory.setSaveType("public.jpeg");
    accessory.qualitySlider()->setValue(50);
    EXPECT_DOUBLE_EQ(accessory.saveQuality().toDouble(), 0.5);
    EXPECT_EQ(accessory.writeOptions().lossyCompressionQuality, 0.5);
    EXPECT_FALSE(accessory.writeOptions().tiffCompression);
    accessory.setSaveType("public.tiff");
    accessory.compressionPopup()->setCurrentIndex(2);
    EXPECT_EQ(accessory.writeOptions().tiffCompression, 32773);
    accessory.setSaveType("public.png");
    EXPECT_FALSE(accessory.writeOptions().lossyCompressionQuality);
    EXPECT_FALSE(accessory.writeOptions().tiffCompression);
}

TEST(SaveAccessory, NamesGetTheTypesExtension) {
    const std::tuple<const char *, const char *, const char *> cases[] = {
        {"shot", "public.png", "shot.png"},        {"shot.png", "public.png", "shot.png"},
        {"shot.PNG", "public.png", "shot.PNG"},    {"shot.png", "public.jpeg", "shot.jpg"},
        {"shot.jpeg", "public.jpeg", "shot.jpeg"}, {"shot.tif", "public.tiff", "shot.tif"},
        {"shot.jpg", "public.tiff", "shot.tiff"},  {"my.shot", "public.png", "my.shot.png"},
    };
    for (const auto &[name, uti, expected] : cases)
        EXPECT_EQ(NameWithTypeExtension(name, uti), expected) << name << " " << uti;
}

TEST(PrintPage, MarginsViewSizeAndFit) {
    const QMarginsF margins =
        IIPrintView::pageMargins(QSizeF(612, 792), QRectF(18, 18, 576, 756));
    EXPECT_EQ(margins, QMarginsF(18, 18, 18, 18));
    // Uneven strips give the larger one on both sides; bounds beyond the paper give 0.
    EXPECT_EQ(IIPrintView::pageMargins(QSizeF(612, 792), QRectF(10, 30, 580, 700)),
              QMarginsF(22, 62, 22, 62));
    EXPECT_EQ(IIPrintView::pageMargins(QSizeF(100, 100), QRectF(-5, -5, 110, 110)),
              QMarginsF(0, 0, 0, 0));
    // A small picture is enlarged to the frame's width and centred the other way.
    const QTransform fit = IIPrintView::fitTransform(QRectF(0, 0, 576, 756), QSizeF(200, 100));
    EXPECT_FLOAT_EQ(fit.m11(), 2.88f);
    EXPECT_FLOAT_EQ(fit.m22(), 2.88f);
    EXPECT_NEAR(fit.dx(), 0.0, 1e-4);
    EXPECT_FLOAT_EQ(fit.dy(), 234.0f);
    // A tall one fits the height.
    const QTransform tall = IIPrintView::fitTransform(QRectF(0, 0, 576, 756), QSizeF(100, 400));
    EXPECT_FLOAT_EQ(tall.m11(), 1.89f);
    EXPECT_FLOAT_EQ(tall.dx(), static_cast<float>((576 - 189.0) / 2));
    EXPECT_NEAR(tall.dy(), 0.0, 1e-4);
    // Without a picture nothing is drawn.
    QImage page(50, 50, QImage::Format_RGB32);
    page.fill(Qt::white);
    QPainter painter(&page);
    IIPrintView(QRectF(0, 0, 50, 50), QImage()).drawRect(painter);
    painter.end();
    EXPECT_EQ(page.pixel(25, 25), qRgb(255, 255, 255));
}

// ---- The window.

class SaveWorkflowTest : public ::testing::Test {
protected:
    void SetUp() override {
        editor = new IIEditingViewController;
        window = std::make_unique<IIMainWindow>(editor);
        window->resize(900, 600);
        window->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(window.get()));
        // A dialog left open fails its test instead of hanging the program.
        watchdog.setSingleShot(true);
        watchdog.setInterval(60000);
        QObject::connect(&watchdog, &QTimer::timeout, [] {
            ADD_FAILURE() << "a dialog was not answered";
            while (QWidget *modal = QApplication::activeModalWidget()) modal->close();
        });
        watchdog.start();
    }

    void TearDown() override {
        SetSaveFileFactory({});
        IISharingServicePicker::setServiceList({});
        for (QWidget *widget : QApplication::topLevelWidgets())
            if (auto *dialog = qobject_cast<QDialog *>(widget); dialog && dialog->isVisible())
                dialog->reject();
        QTest::qWait(1);
    }

    // Merges a synthetic bracket: the picture is shown and unsaved.
    void ShowPicture(int width = 160, int height = 120) {
        QList<QUrl> urls;
        for (const QString &path : fixtures::WriteBracket(dir.filePath("bracket"), width, height))
            urls << QUrl::fromLocalFile(path);
        editor->openURLs(urls);
        ASSERT_TRUE(editor->hasImage());
        ASSERT_TRUE(editor->isDirty());
    }

    IISavePanel *WaitForSavePanel() {
        EXPECT_TRUE(QTest::qWaitFor([this] {
            return editor->savePanel() && editor->savePanel()->isVisible();
        }));
        return editor->savePanel();
    }

    // Types the name and presses the panel's Save button.
    void ConfirmSavePanel(IISavePanel *panel, const QString &name) {
        panel->setDirectory(dir.path());
        panel->setNameFieldStringValue(name);
        auto *box = panel->findChild<QDialogButtonBox *>("buttonBox");
        ASSERT_TRUE(box);
        QTest::mouseClick(box->button(QDialogButtonBox::Save), Qt::LeftButton);
    }

    void CancelSavePanel(IISavePanel *panel) {
        auto *box = panel->findChild<QDialogButtonBox *>("buttonBox");
        QTest::mouseClick(box->button(QDialogButtonBox::Cancel), Qt::LeftButton);
    }

    // The warning sheet on show: its message, then it is ended with the code.
    QString AnswerSheet(int code) {
        IIWarningMessageController *sheet = editor->warningMessageController();
        if (!sheet || !sheet->dialog()->isVisible()) return {};
        const QString text = sheet->warningMessage;
        if (code == 1) sheet->ok();
        if (code == 0) sheet->cancel();
        if (code == -1) sheet->other();
        QTest::qWait(1);
        return text;
    }

    QTemporaryDir dir;
    IIEditingViewController *editor = nullptr;
    std::unique_ptr<IIMainWindow> window;
    QTimer watchdog;
};

TEST_F(SaveWorkflowTest, SaveAsThroughThePanelInEachTypeClearsTheMark) {
    ShowPicture();
    const QImage shown = Opaque(editor->imageView()->image());
    struct Case {
        const char *typed, *uti, *file;
        int quality, compression;
    };
    const Case cases[] = {{"one", "public.png", "one.png", 0, 0},
                          {"two.png", "public.jpeg", "two.jpg", 50, 0},
                          {"three", "public.tiff", "three.tiff", 0, 5}};
    for (const Case &c : cases) {
        SCOPED_TRACE(c.typed);
        ASSERT_TRUE(window->saveMeunItem()->isEnabled());
        window->saveMeunItem()->trigger();
        IISavePanel *panel = WaitForSavePanel();
        ASSERT_TRUE(panel);
        // The accessory always opens on PNG, 0.9 and no compression, whatever was chosen before.
        IISaveViewController *accessory = panel->accessoryView();
        ASSERT_TRUE(accessory);
        EXPECT_TRUE(accessory->isVisible());
        EXPECT_EQ(accessory->saveType(), "public.png");
        EXPECT_FLOAT_EQ(accessory->saveQuality().toFloat(), 0.9f);
        EXPECT_EQ(accessory->saveCompression(), 1);
        EXPECT_EQ(panel->defaultSuffix(), "png");
        EXPECT_TRUE(panel->nameFieldStringValue().isEmpty());
        accessory->typePopup()->setCurrentIndex(accessory->typePopup()->findData(c.uti));
        EXPECT_EQ(panel->defaultSuffix(), IISaveViewController::extensionsOfType(c.uti).first());
        EXPECT_TRUE(panel->nameFilters().first().contains(
            "*." + IISaveViewController::extensionsOfType(c.uti).first()));
        if (c.quality) accessory->qualitySlider()->setValue(c.quality);
        if (c.compression)
            accessory->compressionPopup()->setCurrentIndex(
                accessory->compressionPopup()->findData(c.compression));
        editor->imageView();  // the picture stays on show
        ASSERT_TRUE(editor->isDirty());
        ConfirmSavePanel(panel, c.typed);
        ASSERT_TRUE(QTest::qWaitFor([&] { return !editor->savePanel(); }));
        EXPECT_FALSE(editor->isDirty());
        EXPECT_FALSE(editor->warningMessageController());
        const QString path = dir.filePath(c.file);
        ASSERT_TRUE(QFileInfo::exists(path)) << c.file;
        if (QString(c.uti) == "public.tiff") {
            const auto dirs = ReadTiff(path);
            ASSERT_EQ(dirs.size(), 1u);
            EXPECT_EQ(dirs[0].compression, 5);
            EXPECT_EQ(Opaque(dirs[0].pixels), shown);
        } else if (QString(c.uti) == "public.jpeg") {
            EXPECT_EQ(FirstQuantValue(ReadAll(path)), 16);
            EXPECT_EQ(QImage(path).size(), shown.size());
        } else {
            EXPECT_EQ(Opaque(QImage(path)), shown);
        }
        // The next change marks the picture unsaved again.
        editor->effectSettingsChanged(0, 0, 0);
        ASSERT_TRUE(QTest::qWaitFor([&] { return editor->isDirty(); }));
    }
}

TEST_F(SaveWorkflowTest, ReplacingAFileIsAskedAboutTheNameWithItsExtension) {
    ShowPicture();
    const QByteArray old("old picture");
    ASSERT_TRUE(WriteAll(dir.filePath("shot.jpg"), old));
    for (const auto button : {QMessageBox::No, QMessageBox::Yes}) {
        editor->saveAs();
        IISavePanel *panel = WaitForSavePanel();
        ASSERT_TRUE(panel);
        panel->accessoryView()->setSaveType("public.jpeg");
        QString question;
        QTimer::singleShot(0, [&] {
            for (QWidget *widget : QApplication::topLevelWidgets()) {
                auto *box = qobject_cast<QMessageBox *>(widget);
                if (!box || !box->isVisible()) continue;
                question = box->text();
                box->button(button)->click();
            }
        });
        // Typed without an extension: the question is about shot.jpg.
        ConfirmSavePanel(panel, "shot");
        EXPECT_TRUE(question.contains("shot.jpg")) << question.toStdString();
        if (button == QMessageBox::No) {
            EXPECT_TRUE(panel->isVisible());
            EXPECT_EQ(ReadAll(dir.filePath("shot.jpg")), old);
            CancelSavePanel(panel);
            ASSERT_TRUE(QTest::qWaitFor([&] { return !editor->savePanel(); }));
            EXPECT_TRUE(editor->isDirty());
            EXPECT_EQ(ReadAll(dir.filePath("shot.jpg")), old);
        } else {
            ASSERT_TRUE(QTest::qWaitFor([&] { return !editor->savePanel(); }));
            EXPECT_NE(ReadAll(dir.filePath("shot.jpg")), old);
            EXPECT_FALSE(editor->isDirty());
        }
    }
    EXPECT_FALSE(QFileInfo::exists(dir.filePath("shot")));
}

TEST_F(SaveWorkflowTest, AFailedSaveShowsTheSheetAndKeepsTheFileAndTheMark) {
    ShowPicture();
    const QByteArray old("old picture");
    ASSERT_TRUE(WriteAll(dir.filePath("kept.png"), old));
    SetSaveFileFactory([](const QString &path) {
        return std::make_unique<FailingSaveFile>(path, 100);
    });
    QTimer::singleShot(0, [] {
        for (QWidget *widget : QApplication::topLevelWidgets())
            if (auto *box = qobject_cast<QMessageBox *>(widget); box && box->isVisible())
                box->button(QMessageBox::Yes)->click();
    });
    editor->saveAs();
    ConfirmSavePanel(WaitForSavePanel(), "kept.png");
    ASSERT_TRUE(QTest::qWaitFor([&] { return !editor->savePanel(); }));
    EXPECT_EQ(AnswerSheet(1), LocalizedString("IDS_SAVE_FAILED"));
    EXPECT_TRUE(editor->isDirty());
    EXPECT_EQ(ReadAll(dir.filePath("kept.png")), old);
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden).size(), 1);
}

TEST_F(SaveWorkflowTest, ACancelledPanelChangesNothing) {
    ShowPicture();
    editor->saveAs();
    IISavePanel *panel = WaitForSavePanel();
    panel->setDirectory(dir.path());
    panel->setNameFieldStringValue("never");
    CancelSavePanel(panel);
    ASSERT_TRUE(QTest::qWaitFor([&] { return !editor->savePanel(); }));
    EXPECT_TRUE(editor->isDirty());
    EXPECT_FALSE(editor->warningMessageController());
    EXPECT_TRUE(QDir(dir.path()).entryList(QDir::Files).isEmpty());
}

TEST_F(SaveWorkflowTest, TheSheetBeforeOpeningPhotos) {
    ShowPicture();
    // Cancel: nothing.
    window->importTilesMeunItem()->trigger();
    EXPECT_EQ(AnswerSheet(0), LocalizedString("IDS_SAVE_WARNING"));
    EXPECT_FALSE(editor->openController()->panel() && editor->openController()->panel()->isVisible());
    EXPECT_FALSE(editor->savePanel());

    // Save: the picture is written, no open panel follows and the picture stays unsaved.
    window->importTilesMeunItem()->trigger();
    IIWarningMessageController *sheet = editor->warningMessageController();
    ASSERT_TRUE(sheet);
    EXPECT_EQ(sheet->okMessage, LocalizedString("IDS_SAVE"));
    EXPECT_EQ(sheet->cancelMessage, LocalizedString("IDS_CANCEL"));
    EXPECT_EQ(sheet->extendMessage, LocalizedString("IDS_DONT_SAVE"));
    EXPECT_EQ(sheet->promptMessage, LocalizedString("IDS_SAVE_PROMPT"));
    // A second request raises the sheet on show instead of stacking another.
    window->importTilesMeunItem()->trigger();
    EXPECT_EQ(editor->warningMessageController(), sheet);
    EXPECT_EQ(window->terminate(), 0);
    EXPECT_EQ(editor->warningMessageController(), sheet);
    AnswerSheet(1);
    ConfirmSavePanel(WaitForSavePanel(), "before-open");
    ASSERT_TRUE(QTest::qWaitFor([&] { return !editor->savePanel(); }));
    EXPECT_TRUE(QFileInfo::exists(dir.filePath("before-open.png")));
    EXPECT_TRUE(editor->isDirty());
    QTest::qWait(20);
    EXPECT_FALSE(editor->openController()->panel() && editor->openController()->panel()->isVisible());

    // Don't Save: the open panel.
    window->importTilesMeunItem()->trigger();
    AnswerSheet(-1);
    ASSERT_TRUE(QTest::qWaitFor([&] {
        return editor->openController()->panel() && editor->openController()->panel()->isVisible();
    }));
    editor->openController()->panel()->reject();
}

TEST_F(SaveWorkflowTest, QuittingWithUnsavedWork) {
    ShowPicture();
    // Cancel keeps the application running with its window.
    EXPECT_FALSE(window->close());
    EXPECT_EQ(AnswerSheet(0), LocalizedString("IDS_SAVE_WARNING"));
    EXPECT_TRUE(window->isVisible());
    EXPECT_FALSE(editor->warningMessageController());

    // Save, then a cancelled panel: still running.
    EXPECT_FALSE(window->close());
    // Asking again while the sheet is up brings the same sheet forward.
    IIWarningMessageController *sheet = editor->warningMessageController();
    EXPECT_EQ(window->terminate(), 2);
    EXPECT_EQ(editor->warningMessageController(), sheet);
    AnswerSheet(1);
    CancelSavePanel(WaitForSavePanel());
    ASSERT_TRUE(QTest::qWaitFor([&] { return !editor->savePanel(); }));
    EXPECT_TRUE(window->isVisible());

    // Save, then a failed write: the failure sheet and still running.
    SetSaveFileFactory([](const QString &path) {
        return std::make_unique<FailingSaveFile>(path, 10);
    });
    EXPECT_FALSE(window->close());
    AnswerSheet(1);
    ConfirmSavePanel(WaitForSavePanel(), "failing");
    ASSERT_TRUE(QTest::qWaitFor([&] { return !editor->savePanel(); }));
    EXPECT_EQ(AnswerSheet(1), LocalizedString("IDS_SAVE_FAILED"));
    EXPECT_TRUE(window->isVisible());
    EXPECT_TRUE(editor->isDirty());
    SetSaveFileFactory({});

    // Don't Save quits.
    EXPECT_FALSE(window->close());
    AnswerSheet(-1);
    EXPECT_FALSE(window->isVisible());
}

TEST_F(SaveWorkflowTest, SavingBeforeQuittingQuitsOnceTheFileIsWritten) {
    ShowPicture();
    EXPECT_FALSE(window->close());
    AnswerSheet(1);
    ConfirmSavePanel(WaitForSavePanel(), "at-quit");
    ASSERT_TRUE(QTest::qWaitFor([&] { return !window->isVisible(); }));
    EXPECT_TRUE(QFileInfo::exists(dir.filePath("at-quit.png")));
    EXPECT_FALSE(editor->isDirty());
}

TEST_F(SaveWorkflowTest, TheSessionEndingAsksTheSameQuestion) {
    ShowPicture();
    QTimer::singleShot(0, [this] { AnswerSheet(0); });
    EXPECT_FALSE(window->askBeforeSessionEnds());
    EXPECT_TRUE(window->isVisible());
    QTimer::singleShot(0, [this] { AnswerSheet(-1); });
    EXPECT_TRUE(window->askBeforeSessionEnds());
}

TEST_F(SaveWorkflowTest, PrintingToAPdfFile) {
    ShowPicture(200, 100);
    // Without a page setup, the first print makes the print settings.
    editor->printSetup();
    ASSERT_TRUE(QTest::qWaitFor([&] { return editor->pageLayoutPanel() != nullptr; }));
    QPrinter *printer = editor->imagePrintInfo();
    ASSERT_TRUE(printer);
    printer->setPageLayout(QPageLayout(QPageSize(QPageSize::Letter), QPageLayout::Portrait,
                                       QMarginsF(18, 18, 18, 18), QPageLayout::Point));
    const QPageLayout before = printer->pageLayout();
    // A cancelled page setup keeps the layout.
    editor->pageLayoutPanel()->reject();
    ASSERT_TRUE(QTest::qWaitFor([&] { return !editor->pageLayoutPanel(); }));
    EXPECT_TRUE(printer->pageLayout().isEquivalentTo(before));
    EXPECT_EQ(printer->pageLayout().margins(QPageLayout::Point), QMarginsF(18, 18, 18, 18));

    const QString pdf = dir.filePath("page.pdf");
    printer->setOutputFormat(QPrinter::PdfFormat);
    printer->setOutputFileName(pdf);
    // A cancelled print dialog prints nothing.
    editor->print();
    ASSERT_TRUE(editor->printPanel());
    editor->printPanel()->reject();
    ASSERT_TRUE(QTest::qWaitFor([&] { return !editor->printPanel(); }));
    EXPECT_FALSE(QFileInfo::exists(pdf));

    editor->print();
    ASSERT_TRUE(editor->printView());
    EXPECT_EQ(editor->printView()->frame(), QRectF(0, 0, 576, 756));
    EXPECT_EQ(printer->docName(), QCoreApplication::applicationName());
    ASSERT_TRUE(editor->printPanel());
    editor->printPanel()->accept();
    ASSERT_TRUE(QTest::qWaitFor([&] { return !editor->printPanel(); }));
    const QByteArray bytes = ReadAll(pdf);
    ASSERT_TRUE(bytes.startsWith("%PDF"));
    const QSizeF pageBox = PageSizeInPdf(bytes);
    EXPECT_NEAR(pageBox.width(), 612, 0.01);
    EXPECT_NEAR(pageBox.height(), 792, 0.01);
    EXPECT_TRUE(bytes.contains("/Subtype /Image"));

    // Where the page puts the picture, in points from the bottom-left corner: 200 x 100 fitted
    // to 576 wide is 288 high, centred on the page.
    const QRectF placed = ImagePlacementInPdf(bytes);
    EXPECT_NEAR(placed.left(), 18, 0.01);
    EXPECT_NEAR(placed.right(), 594, 0.01);
    EXPECT_NEAR(placed.top(), 252, 0.01);
    EXPECT_NEAR(placed.bottom(), 540, 0.01);

    // The page rendered, where a renderer is installed.
    const QString renderer = QStandardPaths::findExecutable("pdftoppm");
    if (renderer.isEmpty()) return;
    ASSERT_EQ(QProcess::execute(renderer, {"-r", "72", "-png", "-singlefile", pdf,
                                           dir.filePath("page")}), 0);
    const QImage page(dir.filePath("page.png"));
    ASSERT_EQ(page.size(), QSize(612, 792));
    EXPECT_EQ(page.pixel(300, 200), qRgb(255, 255, 255));
    EXPECT_EQ(page.pixel(300, 600), qRgb(255, 255, 255));
    EXPECT_EQ(page.pixel(10, 400), qRgb(255, 255, 255));
    // Each picture pixel covers 2.88 points from (18, 252) down the page. A 72 dpi page pixel
    // blends the picture pixels under it, so only pixels inside flat areas keep their colour:
    // those are compared, at the page pixel under their centre.
    const QImage picture = Opaque(editor->imageView()->image());
    constexpr int kTolerance = 10;
    int sky = 0, ground = 0, tinted = 0, wrong = 0;
    for (int y = 2; y < picture.height() - 2; y += 3) {
        for (int x = 2; x < picture.width() - 2; x += 3) {
            if (!IsFlat(picture, x, y)) continue;
            const QRgb expected = picture.pixel(x, y);
            const QRgb shown = page.pixel(int(18 + (x + 0.5) * 2.88), int(252 + (y + 0.5) * 2.88));
            const bool near = std::abs(qRed(shown) - qRed(expected)) <= kTolerance &&
                              std::abs(qGreen(shown) - qGreen(expected)) <= kTolerance &&
                              std::abs(qBlue(shown) - qBlue(expected)) <= kTolerance;
            if (!near && wrong++ == 0)
                ADD_FAILURE() << "picture pixel " << x << "," << y << ": page "
                              << QColor(shown).name().toStdString() << ", picture "
                              << QColor(expected).name().toStdString();
            ++(y < picture.height() / 2 ? sky : ground);
            tinted += std::abs(qRed(expected) - qBlue(expected)) > 2 * kTolerance;
        }
    }
    EXPECT_EQ(wrong, 0);
    // Samples in the bright sky and on the dark ground, many with red and blue far apart: a page
    // drawn upside down, moved, or with red and blue swapped cannot pass.
    EXPECT_GE(sky, 10);
    EXPECT_GE(ground, 10);
    EXPECT_GE(tinted, 10);
}

TEST_F(SaveWorkflowTest, PageSetupChoicesArePrintedToAPdfFile) {
    ShowPicture(200, 100);
    const QString pdf = dir.filePath("landscape.pdf");
    // Landscape A4 chosen through the panel's own controls, as a person would.
    editor->printSetup();
    QDialog *panel = editor->pageLayoutPanel();
    ASSERT_TRUE(panel);
    ASSERT_TRUE(QTest::qWaitForWindowExposed(panel));
    QRadioButton *landscape = nullptr;
    for (QRadioButton *button : panel->findChildren<QRadioButton *>())
        if (button->text().remove('&') == "Landscape") landscape = button;
    ASSERT_TRUE(landscape);
    QComboBox *paper = nullptr;
    for (QComboBox *box : panel->findChildren<QComboBox *>())
        if (box->findText("A4") >= 0) paper = box;
    ASSERT_TRUE(paper);
    QTest::mouseClick(landscape, Qt::LeftButton);
    paper->setCurrentIndex(paper->findText("A4"));
    panel->accept();
    ASSERT_TRUE(QTest::qWaitFor([&] { return !editor->pageLayoutPanel(); }));
    QPrinter *printer = editor->imagePrintInfo();
    ASSERT_TRUE(printer);
    EXPECT_EQ(printer->pageLayout().orientation(), QPageLayout::Landscape);
    EXPECT_EQ(printer->pageLayout().pageSize().id(), QPageSize::A4);

    // The print dialog keeps it, and the page comes out landscape A4.
    printer->setOutputFormat(QPrinter::PdfFormat);
    printer->setOutputFileName(pdf);
    editor->print();
    ASSERT_TRUE(editor->printPanel());
    editor->printPanel()->accept();
    ASSERT_TRUE(QTest::qWaitFor([&] { return !editor->printPanel(); }));
    const QByteArray bytes = ReadAll(pdf);
    ASSERT_TRUE(bytes.startsWith("%PDF"));
    const QSizeF pageBox = PageSizeInPdf(bytes);
    EXPECT_NEAR(pageBox.width(), 842, 1);
    EXPECT_NEAR(pageBox.height(), 595, 1);
    // 200 x 100 fills the printable width of the wide page.
    const QRectF placed = ImagePlacementInPdf(bytes);
    EXPECT_NEAR(placed.width(), 2 * placed.height(), 0.5);
    EXPECT_GT(placed.width(), 700);
    EXPECT_NEAR(placed.center().x(), 842 / 2.0, 1);

    // The page as a PDF reader sees it, where one is installed.
    const QString reader = QStandardPaths::findExecutable("pdfinfo");
    if (reader.isEmpty()) return;
    QProcess info;
    info.start(reader, {pdf});
    ASSERT_TRUE(info.waitForFinished(30000));
    const QString report = QString::fromLocal8Bit(info.readAllStandardOutput());
    const QRegularExpressionMatch size =
        QRegularExpression("Page size:\\s+([\\d.]+) x ([\\d.]+) pts").match(report);
    ASSERT_TRUE(size.hasMatch()) << report.toStdString();
    EXPECT_NEAR(size.captured(1).toDouble(), 842, 1) << report.toStdString();
    EXPECT_NEAR(size.captured(2).toDouble(), 595, 1) << report.toStdString();
    EXPECT_TRUE(report.contains(QRegularExpression("Page rot:\\s+0\\b"))) << report.toStdString();
}

TEST_F(SaveWorkflowTest, ACancelledPageSetupKeepsTheLayout) {
    editor->printSetup();
    ASSERT_TRUE(editor->pageLayoutPanel());
    QPrinter *printer = editor->imagePrintInfo();
    const QPageLayout before = printer->pageLayout();
    for (QRadioButton *button : editor->pageLayoutPanel()->findChildren<QRadioButton *>())
        if (!button->isChecked()) QTest::mouseClick(button, Qt::LeftButton);
    editor->pageLayoutPanel()->reject();
    ASSERT_TRUE(QTest::qWaitFor([&] { return !editor->pageLayoutPanel(); }));
    EXPECT_TRUE(printer->pageLayout().isEquivalentTo(before));
}

TEST_F(SaveWorkflowTest, ShareCopiesThePictureAndListsTheServices) {
    // Without a picture, Share and Print do nothing.
    editor->shareAction();
    EXPECT_FALSE(editor->sharingServicePicker());
    editor->print();
    EXPECT_FALSE(editor->printPanel());
    EXPECT_FALSE(editor->shareButn()->isEnabled());
    EXPECT_TRUE(editor->displayImage().isNull());

    ShowPicture();
    QStringList opened;
    IISharingServicePicker::setServiceList([&] {
        QList<IISharingService> services = IISharingServicePicker::defaultServices();
        services << IISharingService{"Recorder",
                                     [&](const QImage &picture, const IISharingService::LateFailure &) {
                                         opened << IISharingServicePicker::writeTemporaryPNG(picture);
                                         return true;
                                     },
                                     QString()};
        return services;
    });
    QTest::mouseClick(editor->shareButn(), Qt::LeftButton);
    IISharingServicePicker *picker = editor->sharingServicePicker();
    ASSERT_TRUE(picker);
    EXPECT_TRUE(picker->isVisible());
    QStringList titles;
    for (QAction *action : picker->actions()) titles << action->text();
    EXPECT_EQ(titles.first(), LocalizedString("IDS_SHARE_COPY"));
    EXPECT_TRUE(titles.contains(LocalizedString("IDS_SHARE_OPEN")));
    EXPECT_EQ(titles.contains(LocalizedString("IDS_SHARE_EMAIL")),
              !QStandardPaths::findExecutable("xdg-email").isEmpty());
    // Above the button.
    EXPECT_LE(picker->geometry().bottom(),
              editor->shareButn()->mapToGlobal(QPoint(0, 0)).y());
    QGuiApplication::clipboard()->clear();
    picker->actions().first()->trigger();
    const QImage copied = QGuiApplication::clipboard()->image();
    EXPECT_EQ(Opaque(copied), Opaque(editor->imageView()->image()));
    EXPECT_EQ(Opaque(window->displayImage()), Opaque(editor->imageView()->image()));

    QTest::mouseClick(editor->shareButn(), Qt::LeftButton);
    ASSERT_TRUE(editor->sharingServicePicker());
    editor->sharingServicePicker()->actions().last()->trigger();
    ASSERT_EQ(opened.size(), 1);
    EXPECT_EQ(Opaque(QImage(opened.first())), Opaque(editor->imageView()->image()));
    EXPECT_TRUE(editor->isDirty());
}

// Without a launcher, or with an e-mail launcher that finds no mail program, the user is told.
TEST_F(SaveWorkflowTest, ShareFailuresShowAnAlert) {
    ShowPicture();
    // The desktop's launchers as this test makes them: a folder on PATH with only an e-mail
    // launcher, which ends as the real one does when it finds no mail program, or succeeds.
    QTemporaryDir bin;
    const QString email = bin.filePath("xdg-email");
    const auto writeLauncher = [&](int exitCode) {
        QFile script(email);
        ASSERT_TRUE(script.open(QIODevice::WriteOnly | QIODevice::Truncate));
        script.write(QStringLiteral("#!/bin/sh\necho \"$@\" > '%1.args'\nexit %2\n")
                         .arg(email)
                         .arg(exitCode)
                         .toLocal8Bit());
        script.close();
        script.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    };
    const QByteArray path = qgetenv("PATH");
    qputenv("PATH", QFile::encodeName(bin.path()));
    const auto choose = [&](const char *key) {
        QTest::mouseClick(editor->shareButn(), Qt::LeftButton);
        IISharingServicePicker *picker = editor->sharingServicePicker();
        if (!picker) return false;
        for (QAction *action : picker->actions()) {
            if (action->text() != LocalizedString(key)) continue;
            action->trigger();
            picker->hide();
            return true;
        }
        picker->hide();
        return false;
    };

    struct Case {
        const char *entry;
        int launcherExit;
        const char *alert;  // null: none
    } const cases[] = {
        {"IDS_SHARE_OPEN", 0, "IDS_SHARE_OPEN_FAILED"},
        {"IDS_SHARE_EMAIL", 3, "IDS_SHARE_EMAIL_FAILED"},
        {"IDS_SHARE_EMAIL", 0, nullptr},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(std::string(c.entry) + " " + std::to_string(c.launcherExit));
        writeLauncher(c.launcherExit);
        QFile::remove(email + ".args");
        ASSERT_TRUE(choose(c.entry));
        if (c.alert) {
            EXPECT_TRUE(QTest::qWaitFor([&] { return editor->warningMessageController(); }));
            EXPECT_EQ(AnswerSheet(1), LocalizedString(c.alert));
        } else {
            EXPECT_TRUE(QTest::qWaitFor([&] { return QFileInfo::exists(email + ".args"); }));
            QTest::qWait(300);
            EXPECT_FALSE(editor->warningMessageController());
        }
        if (QByteArray(c.entry) == "IDS_SHARE_EMAIL") {
            // The launcher was handed the picture.
            QFile args(email + ".args");
            ASSERT_TRUE(args.open(QIODevice::ReadOnly));
            EXPECT_TRUE(args.readAll().startsWith("--attach /"));
        }
    }
    qputenv("PATH", path);
}

// ---- Files the user may not write, owners, and links to files of another type.

constexpr uid_t kNobody = 65534;

// Runs its scope as the user nobody when the test runs as root, since root may write any file
// and the refusal is for users who may not; the saved ids bring root back when the scope ends.
// Any other user runs the scope as themselves.
class AsUserWhoIsNotRoot {
public:
    AsUserWhoIsNotRoot() {
        if (geteuid() != 0) return;
        switched_ = true;
        ok_ = setresgid(kNobody, kNobody, 0) == 0 && setresuid(kNobody, kNobody, 0) == 0;
    }
    ~AsUserWhoIsNotRoot() {
        if (!switched_) return;
        EXPECT_EQ(setresuid(0, 0, 0), 0);
        EXPECT_EQ(setresgid(0, 0, 0), 0);
    }
    AsUserWhoIsNotRoot(const AsUserWhoIsNotRoot &) = delete;
    AsUserWhoIsNotRoot &operator=(const AsUserWhoIsNotRoot &) = delete;
    bool ok() const { return ok_; }

private:
    bool switched_ = false;
    bool ok_ = true;
};

// Gives the file or folder to nobody when the test runs as root: the user's own.
void GiveToUser(const QString &path) {
    if (geteuid() == 0) {
        ASSERT_EQ(lchown(QFile::encodeName(path).constData(), kNobody, kNobody), 0);
    }
}

TEST_F(WriterTest, SaveTargetProblemNamesAFileTheUserMayNotWriteAndALinkToAnotherType) {
    const QByteArray old("old");
    GiveToUser(dir.path());
    for (const char *name : {"t.png", "t3.txt", "t.JPG", "ro.png", "rw.tif"}) {
        ASSERT_TRUE(WriteAll(Path(name), old));
        GiveToUser(Path(name));
    }
    ASSERT_TRUE(QFile::setPermissions(Path("ro.png"), QFileDevice::ReadOwner |
                                                          QFileDevice::ReadGroup |
                                                          QFileDevice::ReadOther));
    struct Case {
        const char *name, *leadsTo, *uti;
        const char *target;  // the file named in a link's problem; null: no link problem
    };
    const Case cases[] = {
        {"lnk.jpg", "t.png", "public.jpeg", "t.png"},
        {"lnk3.png", "t3.txt", "public.png", "t3.txt"},
        {"dangling.tiff", "new.png", "public.tiff", "new.png"},
        {"chain.png", "lnk3.png", "public.png", "t3.txt"},
        {"agrees.jpeg", "t.JPG", "public.jpeg", nullptr},
        {"to-rw.tiff", "rw.tif", "public.tiff", nullptr},
    };
    for (const Case &c : cases) ASSERT_TRUE(QFile::link(c.leadsTo, Path(c.name)));
    AsUserWhoIsNotRoot user;
    if (!user.ok()) GTEST_SKIP() << "cannot run as a user who is not root";
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        const QString expected =
            c.target ? LocalizedString("IDS_SAVE_LINK_TYPE")
                           .arg(Path(c.name), Path(c.target),
                                QString(c.uti).mid(7).toUpper())
                     : QString();
        EXPECT_EQ(SaveTargetProblem(Path(c.name), c.uti), expected);
    }
    EXPECT_EQ(SaveTargetProblem(Path("ro.png"), "public.png"),
              LocalizedString("IDS_SAVE_NOT_WRITABLE").arg(Path("ro.png")));
    EXPECT_EQ(SaveTargetProblem(Path("new.png"), "public.png"), QString());
    // The writers refuse them too, and write nothing.
    EXPECT_FALSE(WritePicture(Pattern(40, 30), Path("lnk.jpg"), "public.jpeg", {}));
    EXPECT_FALSE(WritePicture(Pattern(40, 30), Path("ro.png"), "public.png", {}));
    EXPECT_FALSE(WriteTIFF(Pattern(40, 30), nullptr, Path("dangling.tiff"), {}, kTIFFPairDPI));
    for (const char *name : {"t.png", "t3.txt", "ro.png"}) EXPECT_EQ(ReadAll(Path(name)), old);
    EXPECT_FALSE(QFileInfo::exists(Path("new.png")));
    EXPECT_TRUE(WritePicture(Pattern(40, 30), Path("agrees.jpeg"), "public.jpeg", {}));
    EXPECT_NE(ReadAll(Path("t.JPG")), old);
}

TEST_F(WriterTest, AReplacedFileKeepsItsOwnerGroupAndMode) {
    if (geteuid() != 0) GTEST_SKIP() << "needs root to own another user's file";
    for (const char *uti : {"public.png", "public.jpeg", "public.tiff"}) {
        SCOPED_TRACE(uti);
        const QString path = Path(QStringLiteral("private.") +
                                  IISaveViewController::extensionsOfType(uti).first());
        ASSERT_TRUE(WriteAll(path, "old"));
        GiveToUser(path);
        ASSERT_TRUE(QFile::setPermissions(path, QFileDevice::ReadOwner | QFileDevice::WriteOwner));
        ASSERT_TRUE(WritePicture(Pattern(40, 30), path, uti, {}));
        struct stat info {};
        ASSERT_EQ(stat(QFile::encodeName(path).constData(), &info), 0);
        EXPECT_EQ(info.st_uid, kNobody);
        EXPECT_EQ(info.st_gid, kNobody);
        EXPECT_EQ(info.st_mode & 07777, 0600u);
        EXPECT_NE(ReadAll(path), "old");
    }
}

TEST_F(SaveWorkflowTest, ASaveTheFileRefusesIsToldInThePanelBeforeAnyReplaceQuestion) {
    ShowPicture();
    const QByteArray old("old picture");
    GiveToUser(dir.path());
    ASSERT_TRUE(WriteAll(dir.filePath("ro.png"), old));
    GiveToUser(dir.filePath("ro.png"));
    ASSERT_TRUE(QFile::setPermissions(dir.filePath("ro.png"), QFileDevice::ReadOwner));
    ASSERT_TRUE(WriteAll(dir.filePath("t.png"), old));
    ASSERT_TRUE(QFile::link("t.png", dir.filePath("lnk.jpg")));
    struct Case {
        const char *typed, *uti;
        QString detail;
    };
    const Case cases[] = {
        {"ro.png", "public.png",
         LocalizedString("IDS_SAVE_NOT_WRITABLE").arg(dir.filePath("ro.png"))},
        {"lnk.jpg", "public.jpeg",
         LocalizedString("IDS_SAVE_LINK_TYPE")
             .arg(dir.filePath("lnk.jpg"), dir.filePath("t.png"), "JPEG")},
    };
    const QStringList before = QDir(dir.path()).entryList(QDir::AllEntries | QDir::Hidden);
    AsUserWhoIsNotRoot user;
    if (!user.ok()) GTEST_SKIP() << "cannot run as a user who is not root";
    for (const Case &c : cases) {
        SCOPED_TRACE(c.typed);
        editor->saveAs();
        IISavePanel *panel = WaitForSavePanel();
        ASSERT_TRUE(panel);
        panel->accessoryView()->setSaveType(c.uti);
        // Any other box would be the question whether to replace the file: it is answered No
        // and counted, so that the test ends either way.
        int otherBoxes = 0;
        QTimer watcher;
        QObject::connect(&watcher, &QTimer::timeout, [&otherBoxes] {
            for (QWidget *widget : QApplication::topLevelWidgets())
                if (auto *box = qobject_cast<QMessageBox *>(widget);
                    box && box->isVisible() && box->objectName() != "saveRefusal") {
                    ++otherBoxes;
                    box->button(QMessageBox::No)->click();
                }
        });
        watcher.start(10);
        ConfirmSavePanel(panel, c.typed);
        // Told in the panel, which stays open for another name.
        QMessageBox *refusal = nullptr;
        ASSERT_TRUE(QTest::qWaitFor([&] {
            refusal = panel->findChild<QMessageBox *>("saveRefusal");
            return refusal && refusal->isVisible();
        }));
        watcher.stop();
        EXPECT_EQ(otherBoxes, 0);
        EXPECT_EQ(refusal->text(), LocalizedString("IDS_SAVE_FAILED"));
        EXPECT_EQ(refusal->informativeText(), c.detail);
        refusal->button(QMessageBox::Ok)->click();
        EXPECT_TRUE(panel->isVisible());
        CancelSavePanel(panel);
        ASSERT_TRUE(QTest::qWaitFor([&] { return !editor->savePanel(); }));
        EXPECT_TRUE(editor->isDirty());
    }
    EXPECT_EQ(ReadAll(dir.filePath("ro.png")), old);
    EXPECT_EQ(ReadAll(dir.filePath("t.png")), old);
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::AllEntries | QDir::Hidden), before);
    struct stat info {};
    ASSERT_EQ(stat(QFile::encodeName(dir.filePath("ro.png")).constData(), &info), 0);
    EXPECT_EQ(info.st_mode & 07777, 0400u);
}

}  // namespace
