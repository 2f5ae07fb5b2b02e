// A colour gradient: an ordered list of colour stops, a blending mode (straight RGB, or through
// HSV with the hue rising or falling), and axial or radial fills of rectangles. Operations that
// change a gradient return a new gradient and leave the receiver as it was.
#pragma once

#include <QColor>
#include <QDataStream>
#include <QGradientStops>
#include <QRectF>
#include <QString>
#include <array>
#include <cstddef>
#include <optional>
#include <vector>

class QPainter;

// One stop: RGBA components in 0..1 and the position along the gradient.
struct CTGradientElement {
    double red = 0, green = 0, blue = 0, alpha = 0;
    float position = 0;
};

enum CTGradientBlendingMode {
    GradientBlendLinear = 0,
    GradientBlendHueUp = 1,
    GradientBlendHueDown = 2,
};

// RGBA result of an evaluation.
using GradientColor = std::array<double, 4>;

// HSV conversions in place on three floats. RGBToHSV gives a NaN hue for a grey (max = min);
// HSVToRGB reduces the hue modulo 359 and gives black for a negative hue.
void ConvertRGBToHSV(float *components);
void ConvertHSVToRGB(float *components);
// Gives a NaN hue the other hue, and two NaN hues 0.
void ReconcileHues(float *hue1, float *hue2);

// Evaluations of a stop list (sorted by position) at x; an empty list is opaque white.
GradientColor EvaluateGradientLinear(const std::vector<CTGradientElement> &stops, float x);
GradientColor EvaluateGradientHueUp(const std::vector<CTGradientElement> &stops, float x);
GradientColor EvaluateGradientHueDown(const std::vector<CTGradientElement> &stops, float x);

class CTGradient {
public:
    // An empty gradient in the linear mode (it evaluates and draws as opaque white).
    CTGradient() = default;

    static CTGradient gradientWithBeginningColor(const QColor &begin, const QColor &end);

    static CTGradient aquaSelectedGradient();
    static CTGradient aquaNormalGradient();
    static CTGradient aquaPressedGradient();
    static CTGradient unifiedSelectedGradient();
    static CTGradient unifiedNormalGradient();
    static CTGradient unifiedPressedGradient();
    static CTGradient unifiedDarkGradient();
    static CTGradient sourceListSelectedGradient();
    static CTGradient sourceListUnselectedGradient();
    static CTGradient rainbowGradient();
    static CTGradient hydrogenSpectrumGradient();

    // Copies with one change.
    CTGradient gradientWithAlphaComponent(float alpha) const;  // the copy is in the linear mode
    CTGradient gradientWithBlendingMode(int mode) const;
    CTGradient addColorStop(const QColor &color, float position) const;
    // Throw std::out_of_range with the messages "-[CTGradient removeColorStopAtIndex:]: index
    // (%i) beyond bounds" and "-[CTGradient removeColorStopAtPosition:]: no such colorStop at
    // position (%f)".
    CTGradient removeColorStopAtIndex(std::size_t index) const;
    CTGradient removeColorStopAtPosition(float position) const;

    int blendingMode() const { return blendingMode_; }
    std::size_t stopCount() const { return stops_.size(); }
    const std::vector<CTGradientElement> &stops() const { return stops_; }
    // Throws std::out_of_range for an index beyond the list.
    QColor colorStopAtIndex(std::size_t index) const;
    // The evaluation of the current mode at position.
    GradientColor evaluate(float position) const;
    QColor colorAtPosition(float position) const;

    // Fills. The angle is in degrees, counter-clockwise on screen from the rectangle's
    // left-to-right axis: at 90 the first colour is at the bottom and the last at the top. The axis spans the
    // rectangle's extent along that direction.
    void fillRect(QPainter *painter, const QRectF &rect, float angle) const;
    // Rings from radius 1 around the centre out to half the longer side, padded at both ends.
    void radialFillRect(QPainter *painter, const QRectF &rect) const;
    void drawSwatchInRect(QPainter *painter, const QRectF &rect) const;
    // The axis fillRect uses, in the rectangle's (y-down) coordinates.
    static void axialEnds(const QRectF &rect, float angle, QPointF *start, QPointF *end);
    // The colours of the current mode sampled at 256 positions, for Qt's gradients.
    QGradientStops sampledStops() const;

    // Archive: the blending mode under "CTGradientBlendingMode", the count under
    // "CTGradientElementCount", and five single-precision values per stop (red, green, blue,
    // alpha, position) in list order.
    void encode(QDataStream &stream) const;
    // Nothing when the stream is damaged or holds fewer values than its count asks for.
    static std::optional<CTGradient> decode(QDataStream &stream);

    // List operations. addElement inserts after every stop at the same position or before;
    // the removals answer the removed stop, or a stop of zeros with a NaN position when none
    // matches. setGradientBlendingMode changes this gradient.
    void addElement(const CTGradientElement &element);
    CTGradientElement removeElementAtIndex(std::size_t index);
    CTGradientElement removeElementAtPosition(float position);
    const CTGradientElement *elementAtIndex(std::size_t index) const;
    void setGradientBlendingMode(int mode) { blendingMode_ = mode; }

private:
    std::vector<CTGradientElement> stops_;
    int blendingMode_ = GradientBlendLinear;
};
