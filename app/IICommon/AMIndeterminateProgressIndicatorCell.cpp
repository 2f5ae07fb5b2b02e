#include "AMIndeterminateProgressIndicatorCell.h"

#include <QPainter>
#include <QPen>
#include <cmath>
#include <stdexcept>

namespace {

constexpr float kDegrees = 3.14159265358979f / 180.0f;

}  // namespace

SpinnerGeometry ComputeSpinnerGeometry(const QRectF &frame, double phase, bool spinning,
                                       bool displayedWhenStopped, bool flipped) {
    SpinnerGeometry g;
    g.visible = spinning || displayedWhenStopped;
    if (!g.visible) return g;
    const float f = flipped ? 1.0f : -1.0f;
    const float s = static_cast<float>(std::min(frame.width(), frame.height()));
    g.size = s;
    g.centre = QPointF(frame.x() + s / 2, frame.y() + frame.height() / 2);
    g.innerRadius = s >= 32 ? s * 0.23f : s * 0.27f;
    g.outerRadius = s >= 32 ? s * 0.38f : s * 0.48f;
    g.lineWidth = 0.08f * s;
    // The head spoke starts at the top and moves clockwise a twelfth of a turn per step.
    const long step = std::lround(phase * 12);
    float angle = (spinning ? static_cast<float>(step * 30 + 270) : 270.0f) * f;
    for (int n = 0; n < 12; ++n) {
        const float c = std::cos(angle * kDegrees), sn = std::sin(angle * kDegrees);
        SpinnerSpoke &spoke = g.spokes[n];
        spoke.from = g.centre + QPointF(g.innerRadius * c, g.innerRadius * sn);
        spoke.to = g.centre + QPointF(g.outerRadius * c, g.outerRadius * sn);
        spoke.alpha = 1.0f - 0.25f * std::sqrt(static_cast<float>(n));
        angle -= f * 30.0f;
    }
    return g;
}

AMIndeterminateProgressIndicatorCell::AMIndeterminateProgressIndicatorCell()
    : color_(Qt::white) {}

void AMIndeterminateProgressIndicatorCell::setDoubleValue(double value) {
    doubleValue_ = std::clamp(value, 0.0, 1.0);
}

void AMIndeterminateProgressIndicatorCell::setObjectValue(const QVariant &value) {
    setSpinning(value.canConvert<bool>() ? value.toBool() : false);
}

void AMIndeterminateProgressIndicatorCell::setColor(const QColor &color) {
    if (color == color_) return;
    if (color.alphaF() <= 0.999f) throw std::logic_error("color must be opaque");
    color_ = color;
    float r = 0, g = 0, b = 0;
    color.getRgbF(&r, &g, &b);
    red_ = r;
    green_ = g;
    blue_ = b;
}

void AMIndeterminateProgressIndicatorCell::drawWithFrame(QPainter *painter, const QRectF &frame,
                                                         bool flipped) const {
    drawInteriorWithFrame(painter, frame, flipped);
}

void AMIndeterminateProgressIndicatorCell::drawInteriorWithFrame(QPainter *painter,
                                                                 const QRectF &frame,
                                                                 bool flipped) const {
    const SpinnerGeometry g =
        ComputeSpinnerGeometry(frame, doubleValue_, spinning_, displayedWhenStopped_, flipped);
    if (!g.visible) return;
    painter->save();
    painter->setRenderHint(QPainter::Antialiasing);
    for (const SpinnerSpoke &spoke : g.spokes) {
        QPen pen(QColor::fromRgbF(red_, green_, blue_, spoke.alpha));
        pen.setWidthF(g.lineWidth);
        pen.setCapStyle(Qt::RoundCap);
        painter->setPen(pen);
        painter->drawLine(spoke.from, spoke.to);
    }
    painter->restore();
}

IndicatorControl::IndicatorControl(QWidget *parent) : QWidget(parent) {
    setAttribute(Qt::WA_TranslucentBackground);
}

IndicatorControl::~IndicatorControl() = default;

void IndicatorControl::setCell(std::unique_ptr<AMIndeterminateProgressIndicatorCell> cell) {
    cell_ = std::move(cell);
    update();
}

void IndicatorControl::paintEvent(QPaintEvent *) {
    if (!cell_) return;
    QPainter painter(this);
    cell_->drawWithFrame(&painter, QRectF(rect()));
}
