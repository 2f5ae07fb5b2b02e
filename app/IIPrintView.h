// The printed page: the picture fitted into the view's frame both ways, enlarged when it is
// smaller, and centred. The frame is the printable part of the paper, in points.
#pragma once

#include <QImage>
#include <QMarginsF>
#include <QRectF>
#include <QSizeF>
#include <QWidget>

class QPainter;
class QPrinter;

class IIPrintView : public QWidget {
    Q_OBJECT
public:
    // A view of the frame's size holding its own copy of the picture.
    IIPrintView(const QRectF &frame, const QImage &image, QWidget *parent = nullptr);

    const QImage &image() const { return image_; }
    QRectF frame() const { return frame_; }
    // The print job's name: the application's.
    static QString printJobTitle();
    // Draws the picture into the frame on painter, whose units are points; nothing without a
    // picture.
    void drawRect(QPainter &painter) const;
    // The transform that maps the picture's pixels into the frame: scale s, the smaller of the
    // two ratios, and the offset that centres it.
    static QTransform fitTransform(const QRectF &frame, const QSizeF &imageSize);

    // Prints the view as one page on printer, the frame placed inside the page's margins; false
    // when the printer cannot be painted on.
    bool printOn(QPrinter &printer, const QMarginsF &margins) const;

    // Equal margins left and right, top and bottom: the larger of the unprintable strips on the
    // two sides of each direction (never negative), from the paper and its imageable bounds.
    static QMarginsF pageMargins(const QSizeF &paper, const QRectF &imageable);

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    QRectF frame_;
    QImage image_;
};
