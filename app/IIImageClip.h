// The clip around the picture view: it shows the point of the view kept in `center` at its
// middle, pans when dragged, and reports double clicks, pinches and wheel turns to its delegate.
#pragma once

#include <QPointF>
#include <QPointer>
#include <QWidget>
#include <chrono>
#include <functional>
#include <optional>

class IIImageClip;

// What the clip reports; every method does nothing unless overridden.
class IIImageClipDelegate {
public:
    virtual ~IIImageClipDelegate() = default;
    virtual void imageClipDoubleClick(IIImageClip *) {}
    // delta: wheel notches, positive away from the user.
    virtual void imageClipScrollWheel(IIImageClip *, double /*delta*/) {}
    // value: the change of magnification, 0.5 for half as large again.
    virtual void imageClipMagnify(IIImageClip *, double /*value*/) {}
};

class IIImageClip : public QWidget {
    Q_OBJECT
public:
    using Clock = std::function<std::chrono::steady_clock::time_point()>;
    // Wheel events this soon after the last one handled are dropped, so one turn zooms once.
    static constexpr std::chrono::milliseconds kScrollPause{300};

    explicit IIImageClip(QWidget *parent = nullptr);

    QWidget *document() const { return document_.data(); }
    // Makes view the clip's only child (earlier children are deleted) and places it.
    void setDocument(QWidget *view);

    // The shown point of the document in thousandths of its width and height from its top-left
    // corner: (500, 500) is its middle.
    QPointF center() const { return center_; }
    // Where the last drag began: the centre then, and the mouse in window coordinates.
    QPointF dragCenter() const { return dragCenter_; }
    QPointF dragStart() const { return dragStart_; }
    void setCenter(const QPointF &center) { center_ = center; }
    // Back to the document's middle.
    void centerImage();
    // The centre in the document's pixels; (0, 0) without a document.
    QPointF normalizedCenter() const;
    // Moves the document so that the centre lies at the middle of the clip.
    void updateDocument();
    // Moves the centre by dx, dy document pixels, kept on the document.
    void panX(int dx, int dy);

    IIImageClipDelegate *clipDelegate() const { return delegate_; }
    void setClipDelegate(IIImageClipDelegate *delegate) { delegate_ = delegate; }
    // The clock the wheel pause is measured with; steady_clock by default.
    void setClock(Clock clock) { clock_ = std::move(clock); }
    // When the last wheel event was handled; nothing before the first.
    std::optional<std::chrono::steady_clock::time_point> lastScroll() const { return lastScroll_; }

signals:
    // The clip was moved or resized.
    void frameChanged();

protected:
    bool event(QEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;
    void moveEvent(QMoveEvent *event) override;
    void paintEvent(QPaintEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void mouseDoubleClickEvent(QMouseEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;
    void wheelEvent(QWheelEvent *event) override;

private:
    void magnify(double value);
    QPointF clampedCenter(QPointF center) const;

    QPointer<QWidget> document_;
    QPointF center_{500, 500};
    QPointF dragCenter_, dragStart_;
    bool dragging_ = false;
    std::optional<std::chrono::steady_clock::time_point> lastScroll_;
    Clock clock_;
    IIImageClipDelegate *delegate_ = nullptr;
};
