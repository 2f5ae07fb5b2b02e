// A box with rounded corners, a gradient (or plain) background, a border and a title in a tab or
// a full-width bar along its top.
#pragma once

#include <QColor>
#include <QPainterPath>
#include <QRectF>
#include <QSizeF>
#include <QString>
#include <QWidget>

// Appends to path a line from its current point towards corner and a circular arc of radius
// that turns onto the line from corner to toward (a rounded corner); a plain line to corner when
// the two lines are parallel or one has no length.
void AppendArcFromPoint(QPainterPath *path, const QPointF &corner, const QPointF &toward,
                        double radius);

// Where the box draws, in y-up coordinates with the origin at the box's bottom-left corner.
struct RoundedBoxGeometry {
    QRectF borderRect;
    QRectF titleRect;
    bool titleIsTab = false;
    QPainterPath borderPath;
    QPainterPath titlePath;
};

// The geometry of a box of size bounds whose title measures titleSize.
RoundedBoxGeometry ComputeRoundedBoxGeometry(const QSizeF &bounds, float borderWidth,
                                             const QSizeF &titleSize, bool drawsFullTitleBar,
                                             bool drawsTitle);

// The title area within box rectangle box (y-up): a tab as wide as the title when there is room
// to spare and neither a full bar is asked for nor the title hidden, else a full-width bar.
QPainterPath TitlePathWithinRect(const QRectF &box, double cornerRadius, const QRectF &title,
                                 bool drawsFullTitleBar, bool drawsTitle, bool *isTab = nullptr);

class IIRoundedBox : public QWidget {
    Q_OBJECT
public:
    explicit IIRoundedBox(QWidget *parent = nullptr);

    // Border 2 in grey, white title, gradient from white 0.92 to 0.82, background white 0.9, a
    // title tab, not selected; the title font is the small bold system font.
    void setDefaults();

    QString title() const { return title_; }
    void setTitle(const QString &title);
    bool drawsTitle() const { return drawsTitle_; }
    void setDrawsTitle(bool draws);
    float borderWidth() const { return borderWidth_; }
    void setBorderWidth(float width);
    QColor borderColor() const { return borderColor_; }
    void setBorderColor(const QColor &color);
    QColor titleColor() const { return titleColor_; }
    void setTitleColor(const QColor &color);
    QColor gradientStartColor() const { return gradientStartColor_; }
    void setGradientStartColor(const QColor &color);
    QColor gradientEndColor() const { return gradientEndColor_; }
    void setGradientEndColor(const QColor &color);
    QColor backgroundColor() const { return backgroundColor_; }
    void setBackgroundColor(const QColor &color);
    bool drawsFullTitleBar() const { return drawsFullTitleBar_; }
    void setDrawsFullTitleBar(bool full);
    bool isSelected() const { return selected_; }
    void setSelected(bool selected);
    bool drawsGradientBackground() const { return drawsGradientBackground_; }
    void setDrawsGradientBackground(bool draws);
    QFont titleFont() const { return titleFont_; }
    void setTitleFont(const QFont &font);

    // The size of the title in the title font.
    QSizeF titleSize() const;
    // The geometry of the current state and size.
    RoundedBoxGeometry geometryNow() const;
    // Bounds of the title area last drawn, in the widget's coordinates.
    QRectF titlePathRect() const { return titlePathRect_; }

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    QString title_;
    bool drawsTitle_ = true;
    float borderWidth_ = 2;
    QColor borderColor_, titleColor_, gradientStartColor_, gradientEndColor_, backgroundColor_;
    bool drawsFullTitleBar_ = false;
    bool selected_ = false;
    bool drawsGradientBackground_ = true;
    QFont titleFont_;
    QRectF titlePathRect_;
};
