#include "MMWaitingWindowController.h"

#include <QEventLoop>
#include <QLabel>
#include <QTimer>
#include <QVBoxLayout>
#include <cmath>

#include "AMIndeterminateProgressIndicatorCell.h"
#include "MMBordlessWindow.h"

namespace {

constexpr int kStepsPerTurn = 12;
constexpr int kStepMilliseconds = 1000 / kStepsPerTurn;

}  // namespace

MMWaitingWindowController::MMWaitingWindowController(QObject *parent)
    : WindowController(parent) {}

MMWaitingWindowController::~MMWaitingWindowController() {
    delete animationTimer_;
    if (loop_) loop_->exit(0);
}

QWidget *MMWaitingWindowController::loadWindow() {
    auto *window = new MMBordlessWindow;
    window->setObjectName(QStringLiteral("MMWaitingWindowController"));
    window->setWindowController(this);
    window->resize(180, 130);
    auto *background = new MMBordlessWindowBackgroundView(window);
    auto *outer = new QVBoxLayout(window);
    outer->setContentsMargins(0, 0, 0, 0);
    outer->addWidget(background);
    auto *column = new QVBoxLayout(background);
    column->setContentsMargins(16, 18, 16, 14);
    waitingIndicator_ = new IndicatorControl(background);
    waitingIndicator_->setFixedSize(48, 48);
    waitingLabel_ = new QLabel(background);
    waitingLabel_->setAlignment(Qt::AlignCenter);
    waitingLabel_->setWordWrap(true);
    QPalette palette = waitingLabel_->palette();
    palette.setColor(QPalette::WindowText, Qt::white);
    waitingLabel_->setPalette(palette);
    column->addWidget(waitingIndicator_, 0, Qt::AlignHCenter);
    column->addWidget(waitingLabel_);
    return window;
}

void MMWaitingWindowController::windowDidLoad() {
    auto cell = std::make_unique<AMIndeterminateProgressIndicatorCell>();
    cell->setSpinning(true);
    waitingIndicator_->setCell(std::move(cell));
    waitingIndicator_->setVisible(true);
    waitingIndicator_->setEnabled(false);
    if (!waitingDescriptor_.isNull()) waitingLabel_->setText(waitingDescriptor_);
}

MMBordlessWindow *MMWaitingWindowController::bordlessWindow() {
    return static_cast<MMBordlessWindow *>(window());
}

void MMWaitingWindowController::setWaitingDesc(const QString &text) {
    if (waitingLabel_) waitingLabel_->setText(text);
    waitingDescriptor_ = text;
}

void MMWaitingWindowController::setCancelAction(const char *action, QObject *target) {
    cancelAction_ = action ? QByteArray(action) : QByteArray();
    cancelTarget_ = target;
}

void MMWaitingWindowController::startAnimation(QWidget *parent) {
    if (loop_) return;
    MMBordlessWindow *window = bordlessWindow();
    window->setParent(parent, window->windowFlags());
    window->center(parent);

    delete animationTimer_;
    animationTimer_ = new QTimer(this);
    animationTimer_->setInterval(kStepMilliseconds);
    connect(animationTimer_, &QTimer::timeout, this, &MMWaitingWindowController::animate);
    animationTimer_->start();

    window->setWindowModality(Qt::ApplicationModal);
    window->show();
    window->raise();
    window->activateWindow();
    // Timers and main-thread steps of background jobs run inside this loop.
    QEventLoop loop;
    loop_ = &loop;
    loop.exec();
    loop_ = nullptr;
}

void MMWaitingWindowController::endAnimation() {
    delete animationTimer_;
    animationTimer_ = nullptr;
    if (loop_) loop_->exit(0);
}

void MMWaitingWindowController::animate() {
    if (!waitingIndicator_ || !waitingIndicator_->cell()) return;
    AMIndeterminateProgressIndicatorCell *cell = waitingIndicator_->cell();
    cell->setDoubleValue(std::fmod(cell->doubleValue() + 1.0 / kStepsPerTurn, 1.0));
    waitingIndicator_->update();
}

void MMWaitingWindowController::cancel() {
    if (cancelTarget_ && !cancelAction_.isEmpty())
        QMetaObject::invokeMethod(cancelTarget_.data(), cancelAction_.constData());
}
