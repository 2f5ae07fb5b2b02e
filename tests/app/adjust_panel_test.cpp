// The adjustment panel driven like a user would, and the histogram drawn into a picture.
#include <gtest/gtest.h>

#include <QPainter>
#include <QSignalSpy>
#include <QTest>

#include "IHDREngineController.h"
#include "IIAdjustViewController.h"
#include "localized_string.h"

namespace {

// ---- Histogram drawing

constexpr int kViewW = 256, kViewH = 100;
const QRgb kGround = qRgb(40, 40, 40);

QImage Draw(const IIHistogramData *data) {
    QImage picture(kViewW, kViewH, QImage::Format_RGB32);
    picture.fill(kGround);
    QPainter painter(&picture);
    IIHistogramView::drawHistogram(painter, kViewW, kViewH, data);
    return picture;
}

QImage DrawBin(int bin, int64_t r, int64_t g, int64_t b, int64_t max) {
    IIHistogramData data;
    data.rData[bin] = r;
    data.gData[bin] = g;
    data.bData[bin] = b;
    data.max = max;
    return Draw(&data);
}

TEST(IIHistogramView, EqualCountsDrawOneWhiteColumnFromTheBottom) {
    // Scale 100 / 100 * 16: a count of 5 stands 80 pixels tall.
    const QImage picture = DrawBin(100, 5, 5, 5, 100);
    for (int y = 0; y < kViewH; ++y) {
        EXPECT_EQ(picture.pixel(100, y), y >= 20 ? qRgb(255, 255, 255) : kGround) << y;
        EXPECT_EQ(picture.pixel(99, y), kGround) << y;
        EXPECT_EQ(picture.pixel(101, y), kGround) << y;
    }
}

TEST(IIHistogramView, UnequalCountsStackTheStrongestOverTheirMixtures) {
    struct Case {
        int64_t r, g, b, max;
        QRgb top, middle, bottom;
        int topFrom, middleFrom, bottomFrom;  // first row of each part
    };
    const QRgb red = qRgb(255, 0, 0), yellow = qRgb(255, 255, 0), white = qRgb(255, 255, 255);
    const Case cases[] = {
        // Red strongest, 160 px past the top edge, down to the yellow mixture; no white.
        {10, 5, 0, 100, red, yellow, white, 0, 20, 100},
        // Scale 1: green 30 px, green and blue (cyan) 20, all three 10.
        {10, 30, 20, 1600, qRgb(0, 255, 0), qRgb(0, 255, 255), white, 70, 80, 90},
        // Red is the middle count itself, so the middle mixes it with green: yellow, not green.
        {5, 10, 1, 1600, qRgb(0, 255, 0), yellow, white, 90, 95, 99},
    };
    for (const Case &c : cases) {
        const QImage picture = DrawBin(7, c.r, c.g, c.b, c.max);
        for (int y = 0; y < kViewH; ++y) {
            const QRgb expected = y >= c.bottomFrom   ? c.bottom
                                  : y >= c.middleFrom ? c.middle
                                  : y >= c.topFrom    ? c.top
                                                      : kGround;
            EXPECT_EQ(picture.pixel(7, y), expected) << "r " << c.r << " row " << y;
        }
    }
}

TEST(IIHistogramView, DrawsNothingWithoutDataOrCounts) {
    QImage blank(kViewW, kViewH, QImage::Format_RGB32);
    blank.fill(kGround);
    EXPECT_EQ(Draw(nullptr), blank);
    EXPECT_EQ(DrawBin(3, 10, 5, 0, 0), blank);
    EXPECT_EQ(DrawBin(3, 10, 5, 0, -1), blank);
}

// ---- The panel

struct EngineReport {
    qint64 toneLength, toneSaturation, brightness;
    int ghost;
};

class AdjustPanelTest : public ::testing::Test {
protected:
    IHDREngineController bridge;
    IIAdjustViewController panel{&bridge};
    QSignalSpy engineSpy{&panel, &IIAdjustViewController::engineSettingsChanged};
    QSignalSpy effectSpy{&panel, &IIAdjustViewController::effectSettingsChanged};

    EngineReport lastEngineReport() const {
        const QList<QVariant> &a = engineSpy.last();
        return {a[0].toLongLong(), a[1].toLongLong(), a[2].toLongLong(), a[3].toInt()};
    }
    QList<qint64> lastEffectReport() const {
        const QList<QVariant> &a = effectSpy.last();
        return {a[0].toLongLong(), a[1].toLongLong(), a[2].toLongLong()};
    }
};

TEST_F(AdjustPanelTest, LoadsDisabledWithTheBridgeSettingsAndDefaultEffects) {
    struct Row {
        QSlider *slider;
        QLabel *value, *caption;
        int expected;
        const char *key;
    };
    const Row rows[] = {
        {panel.toneLengthSlider(), panel.toneLengthValueField(), panel.toneLengthField(), 45,
         "IDS_TONE_LENGTH"},
        {panel.toneSaturationSlider(), panel.toneSaturationValueField(),
         panel.toneSaturationField(), 40, "IDS_TONE_SATURATION"},
        {panel.brightnessSlider(), panel.brightnessValueField(), panel.brightnessField(), 10,
         "IDS_BRIHGTNESS"},
        {panel.ghostSlider(), panel.ghostValueField(), panel.ghostField(), 6, "IDS_GHOST"},
        {panel.contrastSlider(), panel.contrastValueField(), panel.contrastField(), 0,
         "IDS_CONTRAST"},
        {panel.saturationSlider(), panel.saturationValueField(), panel.saturationField(), 0,
         "IDS_SATURATION"},
    };
    for (const Row &row : rows) {
        EXPECT_EQ(row.slider->value(), row.expected) << row.key;
        EXPECT_EQ(row.value->text(), QString::number(row.expected)) << row.key;
        EXPECT_EQ(row.caption->text(), LocalizedString(row.key));
        EXPECT_FALSE(row.slider->isEnabled()) << row.key;
        EXPECT_FALSE(row.slider->hasTracking()) << row.key;
    }
    EXPECT_FALSE(panel.artCheck()->isEnabled());
    EXPECT_FALSE(panel.artCheck()->isChecked());
    EXPECT_EQ(panel.artCheck()->text(), LocalizedString("IDS_ART"));
    EXPECT_EQ(engineSpy.count() + effectSpy.count(), 0);

    // A bridge with other settings places the merge sliders and nothing else.
    IHDREngineController other;
    other.setToneLength(70);
    other.setGhostSuppressionLevel(2);
    panel.updateEngine(&other);
    EXPECT_EQ(panel.toneLengthValueField()->text(), QStringLiteral("70"));
    EXPECT_EQ(panel.ghostSlider()->value(), 2);
    EXPECT_EQ(engineSpy.count(), 0);
}

TEST_F(AdjustPanelTest, ShowsTheOutputSize) {
    panel.updateSize(640, 480);
    EXPECT_EQ(panel.sizeField()->text(), LocalizedString("IDS_OUTPUT_SIZE") +
                                             QStringLiteral(" 640x480 ") +
                                             LocalizedString("IDS_PIX"));
}

TEST_F(AdjustPanelTest, MovingOneMergeSliderReportsAllFourValuesAndTheyReachTheBridge) {
    panel.enableControl(true);
    // A key step on the brightness slider.
    panel.brightnessSlider()->setFocus();
    QTest::keyClick(panel.brightnessSlider(), Qt::Key_Right);
    ASSERT_EQ(engineSpy.count(), 1);
    const EngineReport report = lastEngineReport();
    EXPECT_EQ(report.toneLength, 45);
    EXPECT_EQ(report.toneSaturation, 40);
    EXPECT_EQ(report.brightness, 11);
    EXPECT_EQ(report.ghost, 6);
    EXPECT_EQ(panel.brightnessValueField()->text(), QStringLiteral("11"));

    // A drag reports once, when it ends.
    QSlider *ghost = panel.ghostSlider();
    ghost->setSliderDown(true);
    ghost->setSliderPosition(8);
    ghost->setSliderPosition(9);
    EXPECT_EQ(engineSpy.count(), 1);
    ghost->setSliderDown(false);
    ASSERT_EQ(engineSpy.count(), 2);
    EXPECT_EQ(lastEngineReport().ghost, 9);
    EXPECT_EQ(panel.ghostValueField()->text(), QStringLiteral("9"));
    EXPECT_EQ(effectSpy.count(), 0);

    // The bridge's own order is length, brightness, saturation, ghost.
    const EngineReport r = lastEngineReport();
    bridge.run(r.toneLength, r.brightness, r.toneSaturation, r.ghost, nullptr);
    EXPECT_EQ(bridge.toneLength(), 45);
    EXPECT_EQ(bridge.brightness(), 11);
    EXPECT_EQ(bridge.toneSaturation(), 40);
    EXPECT_EQ(bridge.ghostSuppressionLevel(), 9);
}

TEST_F(AdjustPanelTest, AChangeMadeWithTheButtonDownIsReportedOnceWhenItIsLetGo) {
    panel.enableControl(true);
    panel.resize(panel.sizeHint());
    struct Case {
        QSlider *slider;
        QSignalSpy *spy;
        int holdMilliseconds;
        int minimumSteps;
    };
    const Case cases[] = {
        {panel.toneLengthSlider(), &engineSpy, 0, 1},       // a click: one page step
        {panel.saturationSlider(), &effectSpy, 0, 1},
        {panel.brightnessSlider(), &engineSpy, 900, 2},     // held: auto-repeat, still one report
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.slider->objectName().toStdString());
        const int before = c.slider->value(), reports = c.spy->count();
        const QPoint nearEnd(c.slider->width() - 3, c.slider->height() / 2);
        QTest::mousePress(c.slider, Qt::LeftButton, {}, nearEnd);
        if (c.holdMilliseconds) QTest::qWait(c.holdMilliseconds);
        const int moved = c.slider->value();
        EXPECT_GE(moved, before + c.minimumSteps * c.slider->pageStep());
        if (!c.holdMilliseconds) {
            EXPECT_EQ(moved, before + c.slider->pageStep());
        }
        EXPECT_EQ(c.spy->count(), reports) << "nothing while the button is down";
        QTest::mouseRelease(c.slider, Qt::LeftButton, {}, nearEnd);
        ASSERT_EQ(c.spy->count(), reports + 1);
        QTest::qWait(700);  // the auto-repeat has stopped
        EXPECT_EQ(c.slider->value(), moved);
        EXPECT_EQ(c.spy->count(), reports + 1);
    }
    EXPECT_EQ(lastEngineReport().brightness, panel.brightnessSlider()->value());
    EXPECT_EQ(lastEffectReport()[1], 20);
}

TEST_F(AdjustPanelTest, EffectControlsReportTheirValuesAndResetToZero) {
    panel.enableControl(true);
    panel.contrastSlider()->setFocus();
    QTest::keyClick(panel.contrastSlider(), Qt::Key_PageUp);
    ASSERT_EQ(effectSpy.count(), 1);
    EXPECT_EQ(lastEffectReport(), (QList<qint64>{20, 0, 0}));
    EXPECT_EQ(panel.contrastValueField()->text(), QStringLiteral("20"));
    QTest::mouseClick(panel.artCheck(), Qt::LeftButton, {}, QPoint(4, panel.artCheck()->height() / 2));
    ASSERT_EQ(effectSpy.count(), 2);
    EXPECT_EQ(lastEffectReport(), (QList<qint64>{20, 0, 1}));

    panel.updateDefaultEffectsUI();
    EXPECT_EQ(effectSpy.count(), 2);  // resetting is no change of the user's
    EXPECT_EQ(panel.contrastValueField()->text(), QStringLiteral("0"));
    panel.updateEffectSettings();
    EXPECT_EQ(lastEffectReport(), (QList<qint64>{0, 0, 0}));
    EXPECT_EQ(engineSpy.count(), 0);
}

TEST_F(AdjustPanelTest, ShowsTheHistogramItIsGiven) {
    auto data = std::make_shared<IIHistogramData>();
    data->rData[128] = data->gData[128] = data->bData[128] = 10;
    data->max = 10;
    panel.updateHistogramData(data);
    EXPECT_EQ(panel.histogramView()->histogramData(), data);
    const QImage shown = panel.histogramView()->grab().toImage();
    EXPECT_EQ(shown.pixel(128 * shown.width() / kViewW, shown.height() - 2), qRgb(255, 255, 255));
}

}  // namespace
