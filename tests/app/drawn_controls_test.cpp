// The drawn controls: the rounded box's geometry and painting, image scaling and aspect drawing,
// the version compare, the image button's looks and the plain views.
#include <gtest/gtest.h>

#include <QImage>
#include <QPainter>
#include <QSignalSpy>
#include <QTest>
#include <QVBoxLayout>

#include "APButton.h"
#include "APView.h"
#include "CommonDefine.h"
#include "IIImageList.h"
#include "IIRoundedBox.h"
#include "IIWindowBackgroundView.h"
#include "ImageAdditions.h"
#include "ProcessInfoBackports.h"

namespace {

QImage Render(QWidget *widget, QColor fill = Qt::magenta) {
    QImage image(widget->size(), QImage::Format_RGB32);
    image.fill(fill);
    widget->render(&image, QPoint(), QRegion(), QWidget::DrawChildren);
    return image;
}

TEST(RoundedBox, GeometryOfABoxWithATitleTabOrAFullBar) {
    struct Case {
        double titleWidth;
        bool fullBar, drawsTitle;
        double titleRectWidth;
        bool tab;
        double titleRight;  // right edge of the title area's bounds
    };
    const Case cases[] = {
        {30, false, true, 44, true, 54},     // min(34, 88) + 10; a tab since 98 - 44 >= 20
        {30, true, true, 44, false, 99.5},   // a full bar when asked for
        {30, false, false, 44, false, 99.5}, // or when the title is not drawn
        {80, false, true, 94, false, 99.5},  // or when the title leaves less than 20 to spare
        {200, false, true, 98, false, 99.5}, // a title wider than the box is cut to the box
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.titleWidth);
        const RoundedBoxGeometry g = ComputeRoundedBoxGeometry(QSizeF(100, 40), 2,
                                                               QSizeF(c.titleWidth, 14),
                                                               c.fullBar, c.drawsTitle);
        EXPECT_EQ(g.borderRect, QRectF(1.5, 1.5, 98, 38));
        EXPECT_EQ(g.titleRect, QRectF(6, 40 - 14 - 4, c.titleRectWidth, 14));
        EXPECT_EQ(g.titleIsTab, c.tab);
        const QRectF area = g.titlePath.boundingRect();
        EXPECT_EQ(area.left(), 1);
        EXPECT_NEAR(area.right(), c.titleRight, 1e-9);
        EXPECT_EQ(area.bottom(), 39);  // y up: the top of the border's integer rectangle
        // The band leaves as much room below the title as above it: 39 - 36 = 3 below 22.
        EXPECT_EQ(area.top(), 19);
        EXPECT_EQ(g.borderPath.boundingRect(), QRectF(1, 1, 98, 38));
    }
}

TEST(RoundedBox, PaintsTheTitleAreaTheBorderAndAGradientFromTopToBottom) {
    QWidget window;
    window.resize(120, 60);
    IIRoundedBox box(&window);
    box.resize(120, 60);
    box.setTitle("Ab");
    const QRgb border = box.borderColor().rgb();
    struct Case {
        float borderWidth;
        bool fullBar;
        bool rimIsBorder;       // the bottom rim is stroked
        bool rightTopIsBorder;  // the title area reaches the right end of the top
    };
    const Case cases[] = {{2, false, true, false}, {0, false, false, false}, {2, true, true, true}};
    for (const Case &c : cases) {
        SCOPED_TRACE(testing::Message() << c.borderWidth << " " << c.fullBar);
        box.setBorderWidth(c.borderWidth);
        box.setDrawsFullTitleBar(c.fullBar);
        const QImage image = Render(&box);
        // Left of the title text, inside the title area: filled even without a border.
        EXPECT_EQ(image.pixel(4, 6), border);
        EXPECT_EQ(image.pixel(60, 58) == border, c.rimIsBorder);
        EXPECT_EQ(image.pixel(110, 6) == border, c.rightTopIsBorder);
        // The gradient: white 0.92 at the top down to 0.82 at the bottom.
        const int upper = qGray(image.pixel(60, 26)), lower = qGray(image.pixel(60, 54));
        EXPECT_GT(upper, lower);
        EXPECT_NEAR(lower, 0.82 * 255, 5);
        EXPECT_EQ(box.titlePathRect().right() > 110, c.fullBar);
    }
    box.setDrawsGradientBackground(false);
    box.setBackgroundColor(QColor(10, 200, 30));
    EXPECT_EQ(Render(&box).pixel(60, 40), qRgb(10, 200, 30));
    box.setSelected(true);
    EXPECT_EQ(Render(&box).pixel(4, 6), QApplication::palette().color(QPalette::Highlight).rgb());
}

// A picture whose left and right quarters are red and blue and whose middle half is green.
QImage Bands(int width, int height) {
    QImage image(width, height, QImage::Format_RGB32);
    QPainter painter(&image);
    painter.fillRect(0, 0, width, height, Qt::green);
    painter.fillRect(0, 0, width / 4, height, Qt::red);
    painter.fillRect(width * 3 / 4, 0, width / 4, height, Qt::blue);
    return image;
}

TEST(ImageAdditions, ScalingProportionallyShrinksButNeverEnlarges) {
    const QImage image = Bands(400, 200);
    const QImage small = ImageByScalingProportionallyToSize(image, QSizeF(100, 100));
    EXPECT_EQ(small.size(), QSize(100, 50));
    EXPECT_EQ(QColor(small.pixel(50, 25)), QColor(Qt::green));
    const QImage same = ImageByScalingProportionallyToSize(image, QSizeF(800, 800));
    EXPECT_EQ(same.size(), QSize(400, 200));
    EXPECT_EQ(same.cacheKey(), image.cacheKey());
    EXPECT_TRUE(ImageByScalingProportionallyToSize(QImage(), QSizeF(10, 10)).isNull());
    // A sliver keeps at least a pixel each way.
    EXPECT_EQ(ImageByScalingProportionallyToSize(QImage(20000, 200, QImage::Format_RGB32),
                                                 QSizeF(100, 100)).size(),
              QSize(100, 1));
    const QImage clear(40, 40, QImage::Format_ARGB32_Premultiplied);
    QImage onRed = clear;
    onRed.fill(Qt::transparent);
    EXPECT_EQ(QColor(ImageByScalingProportionallyToSize(onRed, QSizeF(10, 10), QColor(Qt::red))
                         .pixel(5, 5)),
              QColor(Qt::red));
}

TEST(ImageAdditions, AspectMethodsCropOrFitAsAsked) {
    struct Case {
        QSizeF image;
        int method;
        QRectF source, destination;
    };
    const QRectF square(0, 0, 100, 100);
    const Case cases[] = {
        {{400, 200}, 3, {0, 0, 400, 200}, {0, 25, 100, 50}},
        {{400, 200}, 0, {100, 0, 200, 200}, square},
        {{400, 200}, 1, {0, 0, 200, 200}, square},    // excess width: keep the left edge
        {{400, 200}, 2, {200, 0, 200, 200}, square},  // keep the right edge
        {{200, 400}, 0, {0, 100, 200, 200}, square},
        {{200, 400}, 1, {0, 0, 200, 200}, square},    // excess height: keep the top
        {{200, 400}, 2, {0, 200, 200, 200}, square},  // keep the bottom
        {{200, 400}, 3, {0, 0, 200, 400}, {25, 0, 50, 100}},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(testing::Message() << c.image.width() << "x" << c.image.height() << " "
                                        << c.method);
        const AspectDrawing d = ComputeAspectDrawing(c.image, square, c.method);
        EXPECT_EQ(d.source, c.source);
        EXPECT_EQ(d.destination, c.destination);
    }
    EXPECT_TRUE(ComputeAspectDrawing({400, 200}, square, 4).isEmpty());
    EXPECT_TRUE(ComputeAspectDrawing({400, 200}, square, -1).isEmpty());
    EXPECT_TRUE(ComputeAspectDrawing({0, 200}, square, 0).isEmpty());

    // Drawn: the middle crop shows only the green half; the fit leaves bands above and below.
    const QImage cropped = ImageCroppedToFitSize(Bands(400, 200), QSizeF(100, 100));
    for (QPoint p : {QPoint(1, 1), QPoint(98, 98), QPoint(50, 50)})
        EXPECT_EQ(QColor(cropped.pixel(p)), QColor(Qt::green));
    const QImage fitted = ImageScaledToFitSize(Bands(400, 200), QSizeF(100, 100));
    EXPECT_EQ(qAlpha(fitted.pixel(50, 10)), 0);
    EXPECT_EQ(QColor(fitted.pixel(5, 50)), QColor(Qt::red));
    EXPECT_EQ(qAlpha(fitted.pixel(50, 90)), 0);
}

TEST(ProcessInfo, VersionsCompareMajorThenMinorThenPatch) {
    struct Case {
        OperatingSystemVersion running, wanted;
        bool atLeast;
    };
    const Case cases[] = {
        {{10, 10, 5}, {10, 9, 0}, true},   // minor 10 > 9, whatever the patch
        {{10, 10, 5}, {10, 10, 6}, false},
        {{10, 10, 5}, {10, 10, 5}, true},
        {{11, 0, 0}, {10, 99, 99}, true},
        {{0, 0, 0}, {0, 0, 1}, false},
    };
    for (const Case &c : cases) EXPECT_EQ(IsVersionAtLeast(c.running, c.wanted), c.atLeast);
    EXPECT_TRUE(ProcessInfo::isOperatingSystemAtLeastVersion({0, 0, 0}));
}

TEST(APButton, StaysPressedUntilTheNextLeftReleaseAnywhere) {
    QWidget window;
    auto *layout = new QVBoxLayout(&window);
    auto *button = new APButton("Open", &window);
    auto *elsewhere = new QWidget(&window);
    elsewhere->setMinimumSize(80, 40);
    layout->addWidget(button);
    layout->addWidget(elsewhere);
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    ASSERT_FALSE(button->normalImage().isNull());
    ASSERT_FALSE(button->pushImage().isNull());
    QSignalSpy clicks(button, &QAbstractButton::clicked);

    QTest::mouseClick(button, Qt::LeftButton);
    EXPECT_EQ(clicks.count(), 1);
    EXPECT_TRUE(button->isMouseDown());  // its own release does not end the look
    EXPECT_EQ(button->currentImage(), button->pushImage());
    EXPECT_TRUE(button->hasEventMonitor());

    QTest::mouseClick(elsewhere, Qt::RightButton);  // only a left release counts
    EXPECT_TRUE(button->isMouseDown());
    QTest::mouseClick(elsewhere, Qt::LeftButton);
    EXPECT_FALSE(button->isMouseDown());
    EXPECT_FALSE(button->hasEventMonitor());
    EXPECT_EQ(button->currentImage(), button->normalImage());

    // A second click on the button keeps it pressed again; disabled it shows its normal image.
    QTest::mouseClick(button, Qt::LeftButton);
    QTest::mouseClick(button, Qt::LeftButton);
    EXPECT_TRUE(button->isMouseDown());
    button->setEnabled(false);
    EXPECT_EQ(button->currentImage(), button->normalImage());
}

TEST(APButton, HoverLookAndTitleColours) {
    APButton button("Share");
    button.resize(160, 48);
    QFont large = button.font();
    large.setPixelSize(30);
    large.setBold(true);
    button.setFont(large);
    QEnterEvent enter(QPointF(5, 5), QPointF(5, 5), QPointF(5, 5));
    QCoreApplication::sendEvent(&button, &enter);
    EXPECT_EQ(button.currentImage(), button.rollImage());
    QEvent leave(QEvent::Leave);
    QCoreApplication::sendEvent(&button, &leave);
    EXPECT_EQ(button.currentImage(), button.normalImage());

    // The title is light on the dark image, and dimmer while disabled.
    auto brightest = [&](bool enabled) {
        button.setEnabled(enabled);
        const QImage image = Render(&button);
        int best = 0;
        for (int y = 0; y < image.height(); ++y)
            for (int x = 0; x < image.width(); ++x) best = std::max(best, qGray(image.pixel(x, y)));
        return best;
    };
    EXPECT_NEAR(brightest(true), 0.9 * 255, 3);
    EXPECT_NEAR(brightest(false), 0.5 * 255, 3);
    button.setTextColor(Qt::red);
    button.setTitle("Save");
    EXPECT_EQ(button.textColor(), QColor::fromRgbF(0.9f, 0.9f, 0.9f));
    // Without images only the title shows.
    button.setNormalImage(QImage());
    button.setEnabled(true);
    EXPECT_EQ(Render(&button).pixel(2, 2), qRgb(255, 0, 255));
}

TEST(PlainViews, FillWithTheirColours) {
    APView view;
    view.resize(20, 20);
    EXPECT_EQ(Render(&view).pixel(10, 10), qRgb(255, 0, 255));  // no colour: nothing drawn
    view.setBackgroundcolor(Qt::blue);
    EXPECT_EQ(Render(&view).pixel(10, 10), qRgb(0, 0, 255));
    IIWindowBackgroundView background;
    background.resize(20, 20);
    EXPECT_EQ(Render(&background).pixel(10, 10), CommonDefine::backgroundColor().rgb());
    EXPECT_EQ(qGray(CommonDefine::backgroundColor().rgb()), 51);

    IIImageItem item;
    item.imagePath = "/photos/2024/bracket.dark.JPG";
    EXPECT_EQ(item.imageTitle(), "bracket.dark");
    EXPECT_EQ(IIImageListCell::selectionFrame(QRectF(10, 10, 20, 20)), QRectF(6, 6, 28, 28));
}

}  // namespace
