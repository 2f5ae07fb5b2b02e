// The colour gradient: evaluation in its three modes, fills painted into images, archiving and
// the list operations.
#include <gtest/gtest.h>

#include <QBuffer>
#include <QImage>
#include <QPainter>
#include <cmath>
#include <stdexcept>

#include "CTGradient.h"

namespace {

void ExpectColour(const GradientColor &c, double r, double g, double b, double a,
                  double tolerance = 1e-6) {
    EXPECT_NEAR(c[0], r, tolerance);
    EXPECT_NEAR(c[1], g, tolerance);
    EXPECT_NEAR(c[2], b, tolerance);
    EXPECT_NEAR(c[3], a, tolerance);
}

double Hue(const GradientColor &c) {
    float hsv[3] = {float(c[0]), float(c[1]), float(c[2])};
    ConvertRGBToHSV(hsv);
    return hsv[0];
}

TEST(Gradient, EqualPositionsMakeAHardEdgeWhereTheFirstStopWins) {
    const CTGradient aqua = CTGradient::aquaSelectedGradient();
    ExpectColour(aqua.evaluate(0.5f), 0.42, 0.68, 0.90, 1, 0);
    // Just past the edge the colour comes from the second stop at 0.5 towards the last stop.
    const double t = (0.5001f - 0.5f) / 0.5f;
    ExpectColour(aqua.evaluate(0.5001f), 0.64 - 0.08 * t, 0.80 - 0.10 * t, 0.94 - 0.04 * t, 1);
    EXPECT_NEAR(aqua.evaluate(0.5001f)[0], 0.64, 1e-4);
}

TEST(Gradient, PositionsBeyondTheEndsGiveTheEndColoursInEveryMode) {
    const CTGradient gradients[] = {CTGradient::aquaSelectedGradient(),
                                    CTGradient::sourceListSelectedGradient(),
                                    CTGradient::rainbowGradient()};
    for (const CTGradient &gradient : gradients) {
        SCOPED_TRACE(gradient.blendingMode());
        const CTGradientElement &first = gradient.stops().front(), &last = gradient.stops().back();
        for (float x : {-3.0f, 0.0f})
            ExpectColour(gradient.evaluate(x), first.red, first.green, first.blue, first.alpha,
                         1e-6);
        for (float x : {1.0f, 7.0f})
            ExpectColour(gradient.evaluate(x), last.red, last.green, last.blue, last.alpha, 1e-6);
    }
    ExpectColour(CTGradient().evaluate(0.3f), 1, 1, 1, 1, 0);  // empty: opaque white
}

TEST(Gradient, RainbowRisesThroughTheHuesAtFullSaturation) {
    const CTGradient rainbow = CTGradient::rainbowGradient();
    EXPECT_NEAR(Hue(rainbow.evaluate(0)), 0, 1e-4);
    EXPECT_NEAR(Hue(rainbow.evaluate(1)), 272.4, 1e-3);
    // Hue 136.2, turned back into RGB through the reduction modulo 359: a green, not a grey.
    ExpectColour(rainbow.evaluate(0.5f), 0, 1, 0.27, 1, 1e-5);
    // Hue down goes the other way round the circle from red to violet, through magenta.
    const GradientColor down = rainbow.gradientWithBlendingMode(2).evaluate(0.5f);
    EXPECT_NEAR(down[0], 1, 1e-5);
    EXPECT_NEAR(down[1], 0, 1e-5);
    EXPECT_GT(down[2], 0.5);
}

TEST(Gradient, HsvConversionReducesTheHueModulo359AndBlackensNegativeHues) {
    float wrapped[3] = {359.5f, 1, 1};  // 0.5 degrees after the reduction: red with a hint of green
    ConvertHSVToRGB(wrapped);
    EXPECT_FLOAT_EQ(wrapped[0], 1);
    EXPECT_NEAR(wrapped[1], 0.5 / 60, 1e-5);
    EXPECT_FLOAT_EQ(wrapped[2], 0);
    // So a hue-down rainbow, whose red start is lifted to 360 degrees, starts at 1 degree.
    const GradientColor start =
        CTGradient::rainbowGradient().gradientWithBlendingMode(2).evaluate(0);
    EXPECT_NEAR(start[1], 1.0 / 60, 1e-6);
    float negative[3] = {-10, 1, 1};
    ConvertHSVToRGB(negative);
    EXPECT_EQ(negative[0] + negative[1] + negative[2], 0);
    float grey[3] = {0.4f, 0.4f, 0.4f};
    ConvertRGBToHSV(grey);
    EXPECT_TRUE(std::isnan(grey[0]));
    EXPECT_EQ(grey[1], 0);
}

TEST(Gradient, HueModesBetweenAGreyAndARedKeepTheRedHue) {
    for (int mode : {1, 2}) {
        SCOPED_TRACE(mode);
        const CTGradient greyToRed =
            CTGradient::gradientWithBeginningColor(QColor::fromRgbF(0.5, 0.5, 0.5), Qt::red)
                .gradientWithBlendingMode(mode);
        for (float x : {0.25f, 0.5f, 0.75f}) {
            const GradientColor c = greyToRed.evaluate(x);
            EXPECT_NEAR(Hue(c), 0, 1e-4) << x;
            EXPECT_NEAR(c[1], c[2], 1e-6) << x;  // green equals blue: a shade of red
        }
        // Saturation 0.5 and value 0.75 half way.
        ExpectColour(greyToRed.evaluate(0.5f), 0.75, 0.375, 0.375, 1, 1e-5);
    }
}

TEST(Gradient, FillsRunAlongTheirAxisAcrossTheWholeRectangle) {
    const CTGradient blackToWhite = CTGradient::gradientWithBeginningColor(Qt::black, Qt::white);
    struct Case {
        float angle;
        QPoint start, end;  // pixels next to the axis' ends
        QPoint middle;      // halfway along the axis
    };
    const Case cases[] = {
        {0, {0, 32}, {63, 32}, {32, 5}},
        {90, {32, 63}, {32, 0}, {5, 32}},    // from the bottom up
        {45, {0, 63}, {63, 0}, {0, 0}},      // bottom-left to top-right; the other corners halfway
        {270, {32, 0}, {32, 63}, {60, 32}},  // from the top down
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.angle);
        QImage image(64, 64, QImage::Format_RGB32);
        image.fill(Qt::red);
        QPainter painter(&image);
        blackToWhite.fillRect(&painter, QRectF(0, 0, 64, 64), c.angle);
        painter.end();
        EXPECT_LE(qGray(image.pixel(c.start)), 12);
        EXPECT_GE(qGray(image.pixel(c.end)), 243);
        EXPECT_NEAR(qGray(image.pixel(c.middle)), 128, 12);
        EXPECT_EQ(qRed(image.pixel(5, 5)), qGreen(image.pixel(5, 5)));  // every pixel filled
    }
    // A fill stays inside its rectangle.
    QImage image(64, 64, QImage::Format_RGB32);
    image.fill(Qt::red);
    QPainter painter(&image);
    blackToWhite.fillRect(&painter, QRectF(16, 16, 32, 32), 30);
    blackToWhite.radialFillRect(&painter, QRectF(0, 0, 10, 10));
    painter.end();
    EXPECT_EQ(image.pixel(15, 40), qRgb(255, 0, 0));
    EXPECT_EQ(image.pixel(48, 40), qRgb(255, 0, 0));
    EXPECT_LE(qGray(image.pixel(5, 5)), 30);    // radial: the first colour in the middle
    EXPECT_GE(qGray(image.pixel(0, 0)), 225);   // and the last beyond half the side
    EXPECT_EQ(image.pixel(11, 5), qRgb(255, 0, 0));
}

TEST(Gradient, ArchiveRoundTripKeepsStopsAndModeAndRefusesDamage) {
    const CTGradient gradient = CTGradient::gradientWithBeginningColor(
                                    QColor::fromRgbF(0.1, 0.2, 0.3, 0.4), Qt::white)
                                    .addColorStop(QColor::fromRgbF(0.9, 0.5, 0.0), 0.3f)
                                    .gradientWithBlendingMode(GradientBlendHueDown);
    QByteArray bytes;
    {
        QDataStream out(&bytes, QIODevice::WriteOnly);
        gradient.encode(out);
    }
    QDataStream in(bytes);
    const std::optional<CTGradient> back = CTGradient::decode(in);
    ASSERT_TRUE(back);
    EXPECT_EQ(back->blendingMode(), GradientBlendHueDown);
    ASSERT_EQ(back->stopCount(), 3u);
    for (std::size_t i = 0; i < 3; ++i) {
        const CTGradientElement &a = gradient.stops()[i], &b = back->stops()[i];
        EXPECT_EQ(b.red, float(a.red));
        EXPECT_EQ(b.green, float(a.green));
        EXPECT_EQ(b.blue, float(a.blue));
        EXPECT_EQ(b.alpha, float(a.alpha));
        EXPECT_EQ(b.position, a.position);
    }
    QDataStream truncated(bytes.left(bytes.size() / 2));
    EXPECT_FALSE(CTGradient::decode(truncated));
    QDataStream empty(QByteArray{});
    EXPECT_FALSE(CTGradient::decode(empty));
}

TEST(Gradient, RemovalsWorkOnCopiesAndRefuseMissingStops) {
    const CTGradient aqua = CTGradient::aquaNormalGradient();  // 0, 0.5, 0.5, 1
    try {
        aqua.removeColorStopAtIndex(4);
        ADD_FAILURE() << "no exception";
    } catch (const std::out_of_range &e) {
        EXPECT_STREQ(e.what(), "-[CTGradient removeColorStopAtIndex:]: index (4) beyond bounds");
    }
    try {
        aqua.removeColorStopAtPosition(0.3f);
        ADD_FAILURE() << "no exception";
    } catch (const std::out_of_range &e) {
        EXPECT_STREQ(e.what(),
                     "-[CTGradient removeColorStopAtPosition:]: no such colorStop at position "
                     "(0.300000)");
    }
    EXPECT_THROW(aqua.colorStopAtIndex(4), std::out_of_range);
    const CTGradient withoutLast = aqua.removeColorStopAtPosition(1);
    ASSERT_EQ(withoutLast.stopCount(), 3u);
    EXPECT_EQ(aqua.stopCount(), 4u);
    // The first stop at a shared position is the one removed.
    const CTGradient withoutEdge = aqua.removeColorStopAtPosition(0.5f);
    EXPECT_NEAR(withoutEdge.stops()[1].red, 0.95, 1e-12);
    EXPECT_NEAR(aqua.removeColorStopAtIndex(0).stops()[0].red, 0.83, 1e-12);
    CTGradient list;
    EXPECT_TRUE(std::isnan(list.removeElementAtIndex(0).position));
    EXPECT_TRUE(std::isnan(list.removeElementAtPosition(0).position));
}

TEST(Gradient, AStopAtAnExistingPositionGoesAfterTheStopsThere) {
    const CTGradient aqua = CTGradient::aquaSelectedGradient();
    const CTGradient added = aqua.addColorStop(Qt::red, 0.5f).addColorStop(Qt::blue, 0.0f);
    ASSERT_EQ(added.stopCount(), 6u);
    EXPECT_EQ(aqua.stopCount(), 4u);
    const std::vector<float> positions = {0, 0, 0.5f, 0.5f, 0.5f, 1};
    for (std::size_t i = 0; i < positions.size(); ++i)
        EXPECT_EQ(added.stops()[i].position, positions[i]);
    EXPECT_EQ(added.colorStopAtIndex(1), QColor(Qt::blue));
    EXPECT_EQ(added.colorStopAtIndex(4), QColor(Qt::red));
    // The first stop still wins at 0.5; the copy with a new alpha is linear.
    ExpectColour(added.evaluate(0.5f), 0.42, 0.68, 0.90, 1, 0);
    const CTGradient faded = CTGradient::rainbowGradient().gradientWithAlphaComponent(0.25f);
    EXPECT_EQ(faded.blendingMode(), GradientBlendLinear);
    EXPECT_EQ(faded.stops()[1].alpha, 0.25);
}

TEST(Gradient, HydrogenSpectrumHasTwelveStopsBrightAtItsLines) {
    const CTGradient spectrum = CTGradient::hydrogenSpectrumGradient();
    EXPECT_EQ(spectrum.stopCount(), 12u);
    EXPECT_EQ(spectrum.blendingMode(), GradientBlendHueUp);
    for (float line : {0.145f, 0.71f, 0.885f, 0.965f}) {
        const GradientColor c = spectrum.evaluate(line);
        EXPECT_NEAR(std::max({c[0], c[1], c[2]}), 1, 1e-5) << line;
    }
    const GradientColor dark = spectrum.evaluate(0.4f);
    EXPECT_LT(std::max({dark[0], dark[1], dark[2]}), 0.01);
}

}  // namespace
