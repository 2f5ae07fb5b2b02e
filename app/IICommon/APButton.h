// An image button: one image for each of its normal, hover and pressed looks, with a light title
// over it. After a press the button keeps its pressed look until the next left-button release
// anywhere in the application.
#pragma once

#include <QColor>
#include <QFont>
#include <QImage>
#include <QPointer>
#include <QPushButton>
#include <QRectF>
#include <memory>

class QPainter;

// Draws a button's title in light text: white 0.9 while enabled, 0.5 while disabled.
class APButtonCell {
public:
    virtual ~APButtonCell() = default;

    static QColor titleColor(bool enabled);
    // Draws in frame narrowed by 10 on the left and the right.
    void drawWithFrame(QPainter *painter, const QRectF &frame, const QString &title,
                       const QFont &font, bool enabled) const;
    // Draws the title centred in frame; answers the rectangle it took.
    QRectF drawTitle(QPainter *painter, const QString &title, const QRectF &frame,
                     const QFont &font, bool enabled) const;
};

class APButton : public QPushButton {
    Q_OBJECT
public:
    explicit APButton(QWidget *parent = nullptr);
    explicit APButton(const QString &title, QWidget *parent = nullptr);
    ~APButton() override;

    bool isMouseIn() const { return isMouseIn_; }
    void setIsMouseIn(bool in) { isMouseIn_ = in; }
    bool isMouseDown() const { return isMouseDown_; }
    void setIsMouseDown(bool down) { isMouseDown_ = down; }
    // Images of the three looks; a null image draws nothing and the title still shows.
    QImage normalImage() const { return normalImage_; }
    void setNormalImage(const QImage &image) { normalImage_ = image; }
    QImage rollImage() const { return rollImage_; }
    void setRollImage(const QImage &image) { rollImage_ = image; }
    QImage pushImage() const { return pushImage_; }
    void setPushImage(const QImage &image) { pushImage_ = image; }
    // Whether a release monitor waits for the next left-button release.
    bool hasEventMonitor() const { return !eventMonitor_.isNull(); }

    // The colour of the title when the button draws it without a cell.
    QColor textColor() const { return textColor_; }
    void setTextColor(const QColor &color);
    // Sets the title and puts the text colour back to white 0.9.
    void setTitle(const QString &title);

    // The cell that draws the title; the button draws it plainly in its text colour without one.
    APButtonCell *cell() const { return cell_.get(); }
    void setCell(std::unique_ptr<APButtonCell> cell);

    // Back to the normal look.
    void restore();
    // The image the button shows now: pressed, else hover (both only while enabled), else normal.
    QImage currentImage() const;

protected:
    void enterEvent(QEnterEvent *event) override;
    void leaveEvent(QEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;
    void paintEvent(QPaintEvent *event) override;

private:
    class ReleaseMonitor;
    void monitorSawLeftRelease();
    void removeEventMonitor();

    bool isMouseIn_ = false;
    bool isMouseDown_ = false;
    // A press of this button is under way; its own release does not end the pressed look.
    bool pressInProgress_ = false;
    QImage normalImage_, rollImage_, pushImage_;
    QColor textColor_;
    std::unique_ptr<APButtonCell> cell_;
    QPointer<QObject> eventMonitor_;
};
