// A thumbnail that opens a larger preview of its picture in a popover under itself when clicked,
// and the controller of the popover's content.
#pragma once

#include <QFrame>
#include <QImage>
#include <QLabel>
#include <QObject>
#include <QPointer>
#include <QSize>

// The popover's content: a view showing `image`, made on first use.
class IIImageViewController : public QObject {
    Q_OBJECT
public:
    // The largest size the preview takes; the picture keeps its aspect within it.
    static constexpr QSize kPreviewSize{480, 360};

    explicit IIImageViewController(QObject *parent = nullptr);
    ~IIImageViewController() override;

    QImage image;
    QLabel *imageView() const { return imageView_.data(); }
    // The content view, made and filled by the first call. The caller parents it.
    QWidget *view();

protected:
    // Puts `image` into the image view.
    virtual void viewDidLoad();

private:
    QPointer<QWidget> view_;
    QPointer<QLabel> imageView_;
};

class IIPopupImageView : public QLabel {
    Q_OBJECT
public:
    explicit IIPopupImageView(QWidget *parent = nullptr);

    // The picture, drawn scaled to fit inside the view and centred.
    QImage image() const { return image_; }
    void setImage(const QImage &image);
    // The popover on show, null when none is.
    QFrame *popover() const { return popover_.data(); }

protected:
    void mousePressEvent(QMouseEvent *event) override;
    void paintEvent(QPaintEvent *event) override;

private:
    QImage image_;
    QImage shown_;  // image_ fitted to the view, kept until either changes
    QPointer<QFrame> popover_;
};
