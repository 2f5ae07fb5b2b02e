// The spinning indicator: twelve spokes whose brightness trails the head spoke round the circle.
#pragma once

#include <QColor>
#include <QPointF>
#include <QRectF>
#include <QVariant>
#include <QWidget>
#include <array>
#include <memory>

class QPainter;

struct SpinnerSpoke {
    QPointF from, to;  // inner and outer end
    float alpha;
};

// Where the spinner's spokes go in frame, computed in single precision. flipped: y grows
// downwards (as in every Qt widget); the picture is the same either way.
struct SpinnerGeometry {
    bool visible = false;
    float size = 0;  // the shorter side of the frame
    QPointF centre;
    float innerRadius = 0, outerRadius = 0, lineWidth = 0;
    std::array<SpinnerSpoke, 12> spokes{};
};

SpinnerGeometry ComputeSpinnerGeometry(const QRectF &frame, double phase, bool spinning,
                                       bool displayedWhenStopped, bool flipped);

class AMIndeterminateProgressIndicatorCell {
public:
    AMIndeterminateProgressIndicatorCell();

    double doubleValue() const { return doubleValue_; }
    // Stores the phase clamped to 0..1.
    void setDoubleValue(double value);
    double animationDelay() const { return animationDelay_; }
    void setAnimationDelay(double delay) { animationDelay_ = delay; }
    bool isDisplayedWhenStopped() const { return displayedWhenStopped_; }
    void setDisplayedWhenStopped(bool displayed) { displayedWhenStopped_ = displayed; }
    bool isSpinning() const { return spinning_; }
    void setSpinning(bool spinning) { spinning_ = spinning; }
    // Spinning from the value's truth when it converts to a boolean, else stopped.
    void setObjectValue(const QVariant &value);

    QColor color() const { return color_; }
    // Throws std::logic_error "color must be opaque" for a colour with alpha 0.999 or less.
    void setColor(const QColor &color);
    double redComponent() const { return red_; }
    double greenComponent() const { return green_; }
    double blueComponent() const { return blue_; }

    void drawWithFrame(QPainter *painter, const QRectF &frame, bool flipped = true) const;
    void drawInteriorWithFrame(QPainter *painter, const QRectF &frame, bool flipped = true) const;

private:
    double doubleValue_ = 0;
    double animationDelay_ = 1.0 / 12.0;
    bool displayedWhenStopped_ = true;
    bool spinning_ = false;
    QColor color_;
    double red_ = 1, green_ = 1, blue_ = 1;
};

// The control that shows an indicator cell.
class IndicatorControl : public QWidget {
    Q_OBJECT
public:
    explicit IndicatorControl(QWidget *parent = nullptr);
    ~IndicatorControl() override;

    AMIndeterminateProgressIndicatorCell *cell() const { return cell_.get(); }
    void setCell(std::unique_ptr<AMIndeterminateProgressIndicatorCell> cell);

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    std::unique_ptr<AMIndeterminateProgressIndicatorCell> cell_;
};
