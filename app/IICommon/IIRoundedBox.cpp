#include "IIRoundedBox.h"

#include <QApplication>
#include <QFontMetricsF>
#include <QPainter>
#include <QTransform>
#include <algorithm>
#include <cmath>

#include "CTGradient.h"

namespace {

constexpr double kCornerRadius = 4;

QColor White(float level) { return QColor::fromRgbF(level, level, level, 1.0f); }

double Length(const QPointF &v) { return std::hypot(v.x(), v.y()); }

double IntegerPart(double v) { return std::trunc(v); }

// The smallest rectangle with integer edges that holds rect.
QRectF IntegralRect(const QRectF &rect) {
    if (rect.width() <= 0 || rect.height() <= 0) return {};
    const double left = std::floor(rect.left()), bottom = std::floor(rect.top());
    return QRectF(left, bottom, std::ceil(rect.right()) - left, std::ceil(rect.bottom()) - bottom);
}

// y-up geometry into the widget's y-down coordinates.
QTransform Flip(double height) { return QTransform(1, 0, 0, -1, 0, height); }

}  // namespace

void AppendArcFromPoint(QPainterPath *path, const QPointF &corner, const QPointF &toward,
                        double radius) {
    const QPointF from = path->currentPosition();
    const QPointF v1 = from - corner, v2 = toward - corner;
    const double l1 = Length(v1), l2 = Length(v2);
    if (l1 == 0 || l2 == 0 || radius <= 0) {
        path->lineTo(corner);
        return;
    }
    const QPointF u1 = v1 / l1, u2 = v2 / l2;
    const double between = std::acos(std::clamp(u1.x() * u2.x() + u1.y() * u2.y(), -1.0, 1.0));
    if (between < 1e-9 || between > M_PI - 1e-9) {
        path->lineTo(corner);
        return;
    }
    // Tangent points on both lines, joined by a cubic that follows the circle closely.
    const double reach = radius / std::tan(between / 2);
    const QPointF a = corner + u1 * reach, b = corner + u2 * reach;
    const double handle = 4.0 / 3.0 * std::tan((M_PI - between) / 4) * radius;
    path->lineTo(a);
    path->cubicTo(a - u1 * handle, b - u2 * handle, b);
}

QPainterPath TitlePathWithinRect(const QRectF &box, double cornerRadius, const QRectF &title,
                                 bool drawsFullTitleBar, bool drawsTitle, bool *isTab) {
    // y-up: a rectangle's top() is its bottom edge and bottom() its top edge.
    const double left = IntegerPart(box.left());
    const double top = IntegerPart(box.bottom());
    // The band leaves as much room below the title as there is above it.
    const double bandBottom = IntegerPart(title.top() - (top - title.bottom()));
    const bool tab = box.width() - title.width() >= 20 && !drawsFullTitleBar && drawsTitle;
    if (isTab) *isTab = tab;
    QPainterPath path(QPointF(left, bandBottom));
    if (tab) {
        const double right = IntegerPart(left + title.width() + 2 * (title.left() - box.left()));
        AppendArcFromPoint(&path, QPointF(right, bandBottom), QPointF(right, top), cornerRadius);
        path.lineTo(right, top);
    } else {
        path.lineTo(box.right(), bandBottom);
        AppendArcFromPoint(&path, QPointF(box.right(), top), QPointF(box.center().x(), top),
                           cornerRadius);
    }
    AppendArcFromPoint(&path, QPointF(left, top), QPointF(left, bandBottom), cornerRadius);
    path.closeSubpath();
    return path;
}

RoundedBoxGeometry ComputeRoundedBoxGeometry(const QSizeF &bounds, float borderWidth,
                                             const QSizeF &titleSize, bool drawsFullTitleBar,
                                             bool drawsTitle) {
    RoundedBoxGeometry g;
    const double half = borderWidth / 2.0;
    g.borderRect = IntegralRect(QRectF(0, 0, bounds.width(), bounds.height())
                                    .adjusted(half, half, -half, -half))
                       .translated(0.5, 0.5);
    const double minX = IntegerPart(g.borderRect.left()), maxX = IntegerPart(g.borderRect.right());
    const double minY = IntegerPart(g.borderRect.top()), maxY = IntegerPart(g.borderRect.bottom());
    const double midX = IntegerPart(g.borderRect.center().x());
    const double midY = IntegerPart(g.borderRect.center().y());
    QPainterPath &border = g.borderPath;
    border.moveTo(midX, minY);
    AppendArcFromPoint(&border, QPointF(maxX, minY), QPointF(maxX, midY), kCornerRadius);
    AppendArcFromPoint(&border, QPointF(maxX, maxY), QPointF(midX, maxY), kCornerRadius);
    AppendArcFromPoint(&border, QPointF(minX, maxY), QPointF(minX, midY), kCornerRadius);
    AppendArcFromPoint(&border, QPointF(minX, minY), QPointF(midX, minY), kCornerRadius);
    border.closeSubpath();

    const float pad = borderWidth + 4;
    const double width =
        std::min(titleSize.width() + 2.0 * borderWidth, bounds.width() - 2.0 * pad) + 10;
    g.titleRect = QRectF(pad, bounds.height() - titleSize.height() - 2.0 * borderWidth, width,
                         titleSize.height());
    g.titlePath = TitlePathWithinRect(g.borderRect, kCornerRadius, g.titleRect, drawsFullTitleBar,
                                      drawsTitle, &g.titleIsTab);
    return g;
}

IIRoundedBox::IIRoundedBox(QWidget *parent) : QWidget(parent) { setDefaults(); }

void IIRoundedBox::setDefaults() {
    drawsTitle_ = true;
    borderWidth_ = 2;
    borderColor_ = White(0.5f);
    titleColor_ = Qt::white;
    gradientStartColor_ = White(0.92f);
    gradientEndColor_ = White(0.82f);
    backgroundColor_ = White(0.90f);
    drawsFullTitleBar_ = false;
    selected_ = false;
    drawsGradientBackground_ = true;
    titleFont_ = QApplication::font();
    titleFont_.setBold(true);
    if (titleFont_.pointSizeF() > 0) titleFont_.setPointSizeF(titleFont_.pointSizeF() * 11 / 13);
    update();
}

void IIRoundedBox::setTitle(const QString &title) {
    title_ = title;
    update();
}

void IIRoundedBox::setDrawsTitle(bool draws) {
    drawsTitle_ = draws;
    update();
}

void IIRoundedBox::setBorderWidth(float width) {
    borderWidth_ = width;
    update();
}

void IIRoundedBox::setBorderColor(const QColor &color) {
    borderColor_ = color;
    update();
}

void IIRoundedBox::setTitleColor(const QColor &color) {
    titleColor_ = color;
    update();
}

void IIRoundedBox::setGradientStartColor(const QColor &color) {
    gradientStartColor_ = color.toRgb();
    if (drawsGradientBackground_) update();
}

void IIRoundedBox::setGradientEndColor(const QColor &color) {
    gradientEndColor_ = color.toRgb();
    if (drawsGradientBackground_) update();
}

void IIRoundedBox::setBackgroundColor(const QColor &color) {
    backgroundColor_ = color;
    if (!drawsGradientBackground_) update();
}

void IIRoundedBox::setDrawsFullTitleBar(bool full) {
    drawsFullTitleBar_ = full;
    update();
}

void IIRoundedBox::setSelected(bool selected) {
    selected_ = selected;
    update();
}

void IIRoundedBox::setDrawsGradientBackground(bool draws) {
    drawsGradientBackground_ = draws;
    update();
}

void IIRoundedBox::setTitleFont(const QFont &font) {
    titleFont_ = font;
    update();
}

QSizeF IIRoundedBox::titleSize() const {
    const QFontMetricsF metrics(titleFont_);
    return QSizeF(metrics.horizontalAdvance(title_), metrics.height());
}

RoundedBoxGeometry IIRoundedBox::geometryNow() const {
    return ComputeRoundedBoxGeometry(QSizeF(size()), borderWidth_, titleSize(), drawsFullTitleBar_,
                                     drawsTitle_);
}

void IIRoundedBox::paintEvent(QPaintEvent *) {
    const RoundedBoxGeometry g = geometryNow();
    const QTransform flip = Flip(height());
    const QPainterPath border = flip.map(g.borderPath);
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);

    if (drawsGradientBackground_) {
        painter.save();
        painter.setClipPath(border);
        CTGradient::gradientWithBeginningColor(gradientStartColor_, gradientEndColor_)
            .fillRect(&painter, border.boundingRect(), 270);
        painter.restore();
    } else {
        painter.fillPath(border, backgroundColor_);
    }

    const QColor colour =
        selected_ ? QApplication::palette().color(QPalette::Highlight) : borderColor_;
    const QPainterPath titleArea = flip.map(g.titlePath);
    painter.fillPath(titleArea, colour);
    titlePathRect_ = titleArea.boundingRect();
    if (borderWidth_ > 0) {
        QPen pen(colour);
        pen.setWidthF(borderWidth_);
        painter.strokePath(border, pen);
    }
    if (drawsTitle_) {
        const QRectF titleRect = flip.mapRect(g.titleRect);
        painter.setFont(titleFont_);
        painter.setPen(titleColor_);
        const QString shown = QFontMetricsF(titleFont_).elidedText(title_, Qt::ElideRight,
                                                                   titleRect.width());
        painter.drawText(titleRect, Qt::AlignCenter | Qt::TextSingleLine, shown);
    }
}
