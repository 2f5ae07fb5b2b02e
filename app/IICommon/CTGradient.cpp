#include "CTGradient.h"

#include <QLinearGradient>
#include <QPainter>
#include <QRadialGradient>
#include <QVariantMap>
#include <algorithm>
#include <cmath>
#include <limits>
#include <stdexcept>

namespace {

constexpr int kSampleCount = 256;

// The stops around x: the last stop whose successor is not below x, and that successor (or the
// stop itself at the end of the list).
void FindSegment(const std::vector<CTGradientElement> &stops, float x, std::size_t *lower,
                 std::size_t *upper) {
    std::size_t i = 0;
    while (i + 1 < stops.size() && x > stops[i + 1].position) ++i;
    *lower = i;
    *upper = i + 1 < stops.size() ? i + 1 : i;
}

// Chooses an end value or interpolates between two stops' values, as every mode does.
template <typename T>
void Interpolate(float x, float p0, float p1, const T *c0, const T *c1, T *out) {
    if (x <= p0) {
        std::copy(c0, c0 + 4, out);
    } else if (x >= p1) {
        std::copy(c1, c1 + 4, out);
    } else {
        const float t = (x - p0) / (p1 - p0);
        for (int i = 0; i < 4; ++i) out[i] = c0[i] + (c1[i] - c0[i]) * t;
    }
}

GradientColor EvaluateHue(const std::vector<CTGradientElement> &stops, float x, bool up) {
    if (stops.empty()) return {1, 1, 1, 1};
    std::size_t lower = 0, upper = 0;
    FindSegment(stops, x, &lower, &upper);
    const CTGradientElement &a = stops[lower], &b = stops[upper];
    float c0[4] = {float(a.red), float(a.green), float(a.blue), float(a.alpha)};
    float c1[4] = {float(b.red), float(b.green), float(b.blue), float(b.alpha)};
    ConvertRGBToHSV(c0);
    ConvertRGBToHSV(c1);
    ReconcileHues(&c0[0], &c1[0]);
    if (up && c0[0] > c1[0]) c1[0] += 360;
    if (!up && c1[0] > c0[0]) c0[0] += 360;
    float hsva[4];
    Interpolate(x, a.position, b.position, c0, c1, hsva);
    ConvertHSVToRGB(hsva);
    return {hsva[0], hsva[1], hsva[2], hsva[3]};
}

CTGradientElement Element(double r, double g, double b, double a, float position) {
    return {r, g, b, a, position};
}

CTGradient FromStops(std::initializer_list<CTGradientElement> stops, int mode = 0) {
    CTGradient gradient;
    for (const CTGradientElement &stop : stops) gradient.addElement(stop);
    gradient.setGradientBlendingMode(mode);
    return gradient;
}

CTGradient Greys(std::initializer_list<std::pair<double, float>> greys) {
    CTGradient gradient;
    for (const auto &[g, position] : greys) gradient.addElement(Element(g, g, g, 1, position));
    return gradient;
}

CTGradientElement ElementOfColor(const QColor &color, float position) {
    float r = 0, g = 0, b = 0, a = 0;
    color.toRgb().getRgbF(&r, &g, &b, &a);
    return Element(r, g, b, a, position);
}

QColor ColorOf(const GradientColor &c) {
    return QColor::fromRgbF(float(c[0]), float(c[1]), float(c[2]), float(c[3]));
}

CTGradientElement MissingElement() {
    return Element(0, 0, 0, 0, std::numeric_limits<float>::quiet_NaN());
}

const char kModeKey[] = "CTGradientBlendingMode";
const char kCountKey[] = "CTGradientElementCount";
const char kValuesKey[] = "CTGradientElementValues";

}  // namespace

void ConvertRGBToHSV(float *c) {
    const float r = c[0], g = c[1], b = c[2];
    const float max = std::max({r, g, b}), min = std::min({r, g, b});
    float hue = 0;
    if (max == min)
        hue = std::numeric_limits<float>::quiet_NaN();
    else if (max == r)
        hue = (g - b) * 60 / (max - min) + (g < b ? 360 : 0);
    else if (max == g)
        hue = (b - r) * 60 / (max - min) + 120;
    else
        hue = (r - g) * 60 / (max - min) + 240;
    c[0] = hue;
    c[1] = max == 0 ? 0 : 1 - min / max;
    c[2] = max;
}

void ConvertHSVToRGB(float *c) {
    // The hue is taken modulo 359, not 360; colours keep this long-standing reduction.
    const float h = std::fmod(c[0], 359.0f) / 60;
    const float s = c[1], v = c[2];
    const float floored = std::floor(h);
    if (!(floored >= 0)) {  // a negative (or NaN) hue
        c[0] = c[1] = c[2] = 0;
        return;
    }
    const int i = static_cast<int>(floored) % 6;
    const float f = h - static_cast<float>(i);
    const float p = v * (1 - s), q = v * (1 - s * f), t = v * (1 - s * (1 - f));
    const float rgb[6][3] = {{v, t, p}, {q, v, p}, {p, v, t}, {p, q, v}, {t, p, v}, {v, p, q}};
    std::copy(rgb[i], rgb[i] + 3, c);
}

void ReconcileHues(float *hue1, float *hue2) {
    const bool nan1 = std::isnan(*hue1), nan2 = std::isnan(*hue2);
    if (nan1 && nan2)
        *hue1 = *hue2 = 0;
    else if (nan1)
        *hue1 = *hue2;
    else if (nan2)
        *hue2 = *hue1;
}

GradientColor EvaluateGradientLinear(const std::vector<CTGradientElement> &stops, float x) {
    if (stops.empty()) return {1, 1, 1, 1};
    std::size_t lower = 0, upper = 0;
    FindSegment(stops, x, &lower, &upper);
    const CTGradientElement &a = stops[lower], &b = stops[upper];
    const double c0[4] = {a.red, a.green, a.blue, a.alpha};
    const double c1[4] = {b.red, b.green, b.blue, b.alpha};
    GradientColor out{};
    Interpolate(x, a.position, b.position, c0, c1, out.data());
    return out;
}

GradientColor EvaluateGradientHueUp(const std::vector<CTGradientElement> &stops, float x) {
    return EvaluateHue(stops, x, true);
}

GradientColor EvaluateGradientHueDown(const std::vector<CTGradientElement> &stops, float x) {
    return EvaluateHue(stops, x, false);
}

CTGradient CTGradient::gradientWithBeginningColor(const QColor &begin, const QColor &end) {
    CTGradient gradient;
    gradient.addElement(ElementOfColor(begin, 0));
    gradient.addElement(ElementOfColor(end, 1));
    return gradient;
}

CTGradient CTGradient::aquaSelectedGradient() {
    return FromStops({Element(0.58, 0.86, 0.98, 1, 0), Element(0.42, 0.68, 0.90, 1, 0.5),
                      Element(0.64, 0.80, 0.94, 1, 0.5), Element(0.56, 0.70, 0.90, 1, 1)});
}

CTGradient CTGradient::aquaNormalGradient() {
    return Greys({{0.95, 0}, {0.83, 0.5f}, {0.95, 0.5f}, {0.92, 1}});
}

CTGradient CTGradient::aquaPressedGradient() {
    return Greys({{0.80, 0}, {0.64, 0.5f}, {0.80, 0.5f}, {0.77, 1}});
}

CTGradient CTGradient::unifiedSelectedGradient() { return Greys({{0.85, 0}, {0.95, 1}}); }
CTGradient CTGradient::unifiedNormalGradient() { return Greys({{0.75, 0}, {0.90, 1}}); }
CTGradient CTGradient::unifiedPressedGradient() { return Greys({{0.60, 0}, {0.75, 1}}); }
CTGradient CTGradient::unifiedDarkGradient() { return Greys({{0.68, 0}, {0.83, 1}}); }

CTGradient CTGradient::sourceListSelectedGradient() {
    return FromStops({Element(0.06, 0.37, 0.85, 1, 0), Element(0.30, 0.60, 0.92, 1, 1)});
}

CTGradient CTGradient::sourceListUnselectedGradient() { return Greys({{0.43, 0}, {0.60, 1}}); }

CTGradient CTGradient::rainbowGradient() {
    return FromStops({Element(1, 0, 0, 1, 0), Element(0.54, 0, 1, 1, 1)}, GradientBlendHueUp);
}

CTGradient CTGradient::hydrogenSpectrumGradient() {
    struct Line {
        float hue, position, width;
    };
    const Line lines[] = {{22, 0.145f, 0.01f}, {200, 0.71f, 0.008f}, {253, 0.885f, 0.005f},
                          {275, 0.965f, 0.003f}};
    CTGradient gradient;
    for (const Line &line : lines) {
        // Each spectral line rises from black to its full colour and falls back to black.
        const float spread = 180 * line.width;
        const float shape[3][3] = {{line.hue - spread, line.position - line.width, 0.001f},
                                   {line.hue, line.position, 1},
                                   {line.hue + spread, line.position + line.width, 0.001f}};
        for (const auto &s : shape) {
            float hsv[3] = {s[0], 1, s[2]};
            ConvertHSVToRGB(hsv);
            gradient.addElement(Element(hsv[0], hsv[1], hsv[2], 1, s[1]));
        }
    }
    gradient.setGradientBlendingMode(GradientBlendHueUp);
    return gradient;
}

CTGradient CTGradient::gradientWithAlphaComponent(float alpha) const {
    CTGradient copy;
    for (CTGradientElement stop : stops_) {
        stop.alpha = alpha;
        copy.addElement(stop);
    }
    return copy;
}

CTGradient CTGradient::gradientWithBlendingMode(int mode) const {
    CTGradient copy = *this;
    copy.setGradientBlendingMode(mode);
    return copy;
}

CTGradient CTGradient::addColorStop(const QColor &color, float position) const {
    CTGradient copy = *this;
    copy.addElement(ElementOfColor(color, position));
    return copy;
}

CTGradient CTGradient::removeColorStopAtIndex(std::size_t index) const {
    CTGradient copy = *this;
    if (std::isnan(copy.removeElementAtIndex(index).position))
        throw std::out_of_range(
            QString("-[CTGradient removeColorStopAtIndex:]: index (%1) beyond bounds")
                .arg(index)
                .toStdString());
    return copy;
}

CTGradient CTGradient::removeColorStopAtPosition(float position) const {
    CTGradient copy = *this;
    if (std::isnan(copy.removeElementAtPosition(position).position))
        throw std::out_of_range(QString::asprintf("-[CTGradient removeColorStopAtPosition:]: no "
                                                  "such colorStop at position (%f)",
                                                  double(position))
                                    .toStdString());
    return copy;
}

QColor CTGradient::colorStopAtIndex(std::size_t index) const {
    const CTGradientElement *stop = elementAtIndex(index);
    if (!stop)
        throw std::out_of_range(
            QString("-[CTGradient colorStopAtIndex:]: index (%1) beyond bounds")
                .arg(index)
                .toStdString());
    return ColorOf({stop->red, stop->green, stop->blue, stop->alpha});
}

GradientColor CTGradient::evaluate(float position) const {
    switch (blendingMode_) {
    case GradientBlendHueUp: return EvaluateGradientHueUp(stops_, position);
    case GradientBlendHueDown: return EvaluateGradientHueDown(stops_, position);
    default: return EvaluateGradientLinear(stops_, position);
    }
}

QColor CTGradient::colorAtPosition(float position) const { return ColorOf(evaluate(position)); }

QGradientStops CTGradient::sampledStops() const {
    QGradientStops samples;
    samples.reserve(kSampleCount);
    for (int i = 0; i < kSampleCount; ++i) {
        const float x = static_cast<float>(i) / (kSampleCount - 1);
        samples.append({x, colorAtPosition(x)});
    }
    return samples;
}

void CTGradient::axialEnds(const QRectF &rect, float angle, QPointF *start, QPointF *end) {
    // Angles turn counter-clockwise on screen, so the y component is negated for Qt's y-down
    // coordinates.
    if (angle == 0) {
        *start = rect.topLeft();
        *end = rect.topRight();
        return;
    }
    if (angle == 90) {
        *start = rect.bottomLeft();
        *end = rect.topLeft();
        return;
    }
    const float a = static_cast<float>(angle * M_PI / 180);
    const float c = std::cos(a), s = std::sin(a);
    const float length = static_cast<float>(rect.width()) * std::fabs(c) +
                         static_cast<float>(rect.height()) * std::fabs(s);
    const QPointF half(length / 2 * c, -length / 2 * s);
    *start = rect.center() - half;
    *end = rect.center() + half;
}

void CTGradient::fillRect(QPainter *painter, const QRectF &rect, float angle) const {
    QPointF start, end;
    axialEnds(rect, angle, &start, &end);
    QLinearGradient shading(start, end);
    shading.setStops(sampledStops());
    painter->save();
    painter->setClipRect(rect, Qt::IntersectClip);
    painter->fillRect(rect, shading);
    painter->restore();
}

void CTGradient::radialFillRect(QPainter *painter, const QRectF &rect) const {
    const float radius = static_cast<float>(std::max(rect.width(), rect.height())) / 2;
    QRadialGradient shading(rect.center(), radius, rect.center(), 1);
    shading.setSpread(QGradient::PadSpread);
    shading.setStops(sampledStops());
    painter->save();
    painter->setClipRect(rect, Qt::IntersectClip);
    painter->fillRect(rect, shading);
    painter->restore();
}

void CTGradient::drawSwatchInRect(QPainter *painter, const QRectF &rect) const {
    fillRect(painter, rect, 45);
}

void CTGradient::encode(QDataStream &stream) const {
    QVariantList values;
    for (const CTGradientElement &stop : stops_)
        for (double v : {stop.red, stop.green, stop.blue, stop.alpha, double(stop.position)})
            values.append(QVariant::fromValue(static_cast<float>(v)));
    QVariantMap record;
    record[kValuesKey] = values;
    record[kCountKey] = static_cast<qint32>(stops_.size());
    record[kModeKey] = blendingMode_;
    stream << record;
}

std::optional<CTGradient> CTGradient::decode(QDataStream &stream) {
    QVariantMap record;
    stream >> record;
    if (stream.status() != QDataStream::Ok) return std::nullopt;
    const QVariantList values = record.value(kValuesKey).toList();
    bool countOk = false;
    const qint64 count = record.value(kCountKey).toLongLong(&countOk);
    if (!countOk || count < 0 || count > values.size() / 5) return std::nullopt;
    CTGradient gradient;
    gradient.setGradientBlendingMode(record.value(kModeKey).toInt());
    for (qint64 i = 0; i < count; ++i) {
        float v[5];
        for (int k = 0; k < 5; ++k) v[k] = values[i * 5 + k].toFloat();
        gradient.addElement(Element(v[0], v[1], v[2], v[3], v[4]));
    }
    return gradient;
}

void CTGradient::addElement(const CTGradientElement &element) {
    // Before the first stop with a greater position, so equal positions keep insertion order.
    const auto place = std::upper_bound(
        stops_.begin(), stops_.end(), element.position,
        [](float position, const CTGradientElement &stop) { return position < stop.position; });
    stops_.insert(place, element);
}

CTGradientElement CTGradient::removeElementAtIndex(std::size_t index) {
    if (index >= stops_.size()) return MissingElement();
    const CTGradientElement removed = stops_[index];
    stops_.erase(stops_.begin() + static_cast<std::ptrdiff_t>(index));
    return removed;
}

CTGradientElement CTGradient::removeElementAtPosition(float position) {
    const auto found = std::find_if(stops_.begin(), stops_.end(), [&](const CTGradientElement &s) {
        return s.position == position;
    });
    if (found == stops_.end()) return MissingElement();
    const CTGradientElement removed = *found;
    stops_.erase(found);
    return removed;
}

const CTGradientElement *CTGradient::elementAtIndex(std::size_t index) const {
    return index < stops_.size() ? &stops_[index] : nullptr;
}
