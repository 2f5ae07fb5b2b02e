#include "APButton.h"

#include <QApplication>
#include <QMouseEvent>
#include <QPainter>

#include "CommonDefine.h"

namespace {

constexpr double kTitleInset = 10;

QColor White(float level) { return QColor::fromRgbF(level, level, level, 1.0f); }

}  // namespace

// Watches every event of the application and answers it unchanged; on a left-button release it
// hands the button back its normal look.
class APButton::ReleaseMonitor : public QObject {
public:
    explicit ReleaseMonitor(APButton *button) : QObject(button), button_(button) {}

    bool eventFilter(QObject *, QEvent *event) override {
        if (event->type() == QEvent::MouseButtonRelease &&
            static_cast<QMouseEvent *>(event)->button() == Qt::LeftButton &&
            !button_->pressInProgress_)
            button_->monitorSawLeftRelease();
        return false;
    }

private:
    APButton *button_;
};

QColor APButtonCell::titleColor(bool enabled) { return White(enabled ? 0.9f : 0.5f); }

void APButtonCell::drawWithFrame(QPainter *painter, const QRectF &frame, const QString &title,
                                 const QFont &font, bool enabled) const {
    drawTitle(painter, title, frame.adjusted(kTitleInset, 0, -kTitleInset, 0), font, enabled);
}

QRectF APButtonCell::drawTitle(QPainter *painter, const QString &title, const QRectF &frame,
                               const QFont &font, bool enabled) const {
    painter->save();
    painter->setFont(font);
    painter->setPen(titleColor(enabled));
    QRectF taken;
    painter->drawText(frame, Qt::AlignCenter | Qt::TextSingleLine, title, &taken);
    painter->restore();
    return taken;
}

APButton::APButton(QWidget *parent) : APButton(QString(), parent) {}

APButton::APButton(const QString &title, QWidget *parent)
    : QPushButton(title, parent),
      normalImage_(NamedImage(QStringLiteral("butn_Import_Normal"))),
      rollImage_(NamedImage(QStringLiteral("butn_Import_Roll"))),
      pushImage_(NamedImage(QStringLiteral("butn_Import_Push"))),
      textColor_(White(0.9f)),
      cell_(std::make_unique<APButtonCell>()) {
    setAttribute(Qt::WA_Hover);
    setMouseTracking(true);
}

APButton::~APButton() { removeEventMonitor(); }

void APButton::setTextColor(const QColor &color) {
    textColor_ = color;
    update();
}

void APButton::setTitle(const QString &title) {
    setText(title);
    setTextColor(White(0.9f));
}

void APButton::setCell(std::unique_ptr<APButtonCell> cell) {
    cell_ = std::move(cell);
    update();
}

void APButton::restore() {
    isMouseIn_ = isMouseDown_ = false;
    update();
}

QImage APButton::currentImage() const {
    if (isEnabled() && isMouseDown_) return pushImage_;
    if (isEnabled() && isMouseIn_) return rollImage_;
    return normalImage_;
}

void APButton::enterEvent(QEnterEvent *event) {
    if (isEnabled()) {
        isMouseIn_ = true;
        update();
    }
    QPushButton::enterEvent(event);
}

void APButton::leaveEvent(QEvent *event) {
    if (isEnabled()) restore();
    QPushButton::leaveEvent(event);
}

void APButton::mousePressEvent(QMouseEvent *event) {
    if (!isEnabled()) return;
    isMouseDown_ = true;
    if (event->button() == Qt::LeftButton) pressInProgress_ = true;
    update();
    QPushButton::mousePressEvent(event);
}

void APButton::mouseReleaseEvent(QMouseEvent *event) {
    QPushButton::mouseReleaseEvent(event);
    if (!pressInProgress_ || event->button() != Qt::LeftButton) return;
    pressInProgress_ = false;
    // The press is over: from now on the next left-button release anywhere ends the pressed look.
    removeEventMonitor();
    auto *monitor = new ReleaseMonitor(this);
    qApp->installEventFilter(monitor);
    eventMonitor_ = monitor;
}

void APButton::monitorSawLeftRelease() {
    restore();
    removeEventMonitor();
}

void APButton::removeEventMonitor() {
    if (eventMonitor_.isNull()) return;
    qApp->removeEventFilter(eventMonitor_.data());
    eventMonitor_->deleteLater();
    eventMonitor_.clear();
}

void APButton::paintEvent(QPaintEvent *) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    const QImage image = currentImage();
    if (!image.isNull()) painter.drawImage(QRectF(rect()), image);
    if (cell_) {
        cell_->drawWithFrame(&painter, QRectF(rect()), text(), font(), isEnabled());
    } else {
        painter.setPen(textColor_);
        painter.drawText(rect(), Qt::AlignCenter | Qt::TextSingleLine, text());
    }
}
