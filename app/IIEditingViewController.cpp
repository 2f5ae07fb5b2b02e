// The editing controller's view and workflow: opening, the load job, the display steps, the
// engine and effect re-runs and the failure sheet.
#include "IIEditingViewController.h"

#include <QFileInfo>
#include <QHBoxLayout>
#include <QPixmap>
#include <QVBoxLayout>
#include <cmath>
#include <vector>

#include "APButton.h"
#include "APView.h"
#include "CBHDROpenController.h"
#include "CBImageSource.h"
#include "CBYUVRGB.h"
#include "IHDREngineController.h"
#include "IIAdjustViewController.h"
#include "IIWarningMessageController.h"
#include "MMWaitingWindowController.h"
#include "dispatch.h"
#include "localized_string.h"
#include "sheet.h"
#include "waiting_job.h"

namespace {

constexpr double kMinPhotoSide = 100.0;
constexpr int kThumbnailSide = 72;

bool DefaultPhotoLoader(CBImageSource &photo, const QString &path) {
    return photo.initWithPhoto(path) && photo.open();
}


// Sends a failure to the main queue: the job's waiting window closes, then the sheet shows the
// text and the detail.
void ReportFailure(const QPointer<IIEditingViewController> &self, const WaitingJob &job,
                   const char *key, const QString &detail = QString()) {
    const QString text = LocalizedString(key);
    job.post([self, job, text, detail] {
        if (!self) return;
        job.close();
        self->showFailedWarning(text, detail);
    });
}

// Which photo could not be opened and why.
QString LoadFailureDetail(const QString &path, const CBImageSource &photo) {
    return LocalizedString("IDS_LOAD_FAILED_DETAIL")
        .arg(QFileInfo(path).fileName(), photo.failureReason());
}

QString SizeText(const QSizeF &size) {
    return QStringLiteral("%1x%2").arg(qint64(size.width())).arg(qint64(size.height()));
}

// The upright size of a photo from its properties alone (nothing decoded); empty when they
// cannot be read.
QSizeF PeekUprightSize(const QString &path) {
    CBImageSource photo;
    return photo.initWithPhoto(path) ? photo.imageSize(photo.orientation()) : QSizeF();
}

// Which photo has the odd size, and the sizes, once the last of sizes (the upright sizes of the
// photos loaded so far) differs from the first. When the first two differ the third's
// properties tell which of them is the odd one; failing that, both are named.
QString SizeMismatchDetail(const QList<QUrl> &urls, const QList<QSizeF> &sizes) {
    const auto name = [&](qsizetype i) { return QFileInfo(urls[i].toLocalFile()).fileName(); };
    const QString odd = LocalizedString("IDS_RESOLUTION_DIFFERENT_DETAIL");
    if (sizes.size() > 2) return odd.arg(name(2), SizeText(sizes[2]), SizeText(sizes[0]));
    const QSizeF third = urls.size() > 2 ? PeekUprightSize(urls[2].toLocalFile()) : QSizeF();
    if (third == sizes[1]) return odd.arg(name(0), SizeText(sizes[0]), SizeText(sizes[1]));
    if (third == sizes[0]) return odd.arg(name(1), SizeText(sizes[1]), SizeText(sizes[0]));
    return LocalizedString("IDS_RESOLUTION_DIFFERENT_PAIR")
        .arg(name(1), SizeText(sizes[1]), name(0), SizeText(sizes[0]));
}

// The bridge's picture handler for a job: the buffer goes to the display step on the main queue.
using DisplayStep = void (IIEditingViewController::*)(FreeBuffer, int64_t, int64_t);
IHDREngineController::PictureHandler DisplayOnMain(const QPointer<IIEditingViewController> &self,
                                                   const WaitingJob &job, DisplayStep display) {
    return [self, job, display](FreeBuffer bgr, int64_t width, int64_t height, int64_t) {
        auto buffer = std::make_shared<FreeBuffer>(std::move(bgr));
        job.post([self, display, buffer, width, height] {
            if (self) (self.data()->*display)(std::move(*buffer), width, height);
        });
    };
}

}  // namespace

IHDREngineController *IIEditingViewController::engineController() {
    if (!engineController_) engineController_ = std::make_unique<IHDREngineController>();
    return engineController_.get();
}

void IIEditingViewController::setEngineController(
    std::unique_ptr<IHDREngineController> controller) {
    engineController_ = std::move(controller);
    if (adjustViewController_) adjustViewController_->updateEngine(engineController());
}

QWidget *IIEditingViewController::loadView() {
    if (view_) return view_;
    auto *view = new QWidget;
    view_ = view;
    view->setObjectName(QStringLiteral("editingView"));
    openController_ = new CBHDROpenController(this);

    auto *clip = new IIImageClip;
    clip->setMinimumSize(320, 240);
    auto *adjustView = new QWidget;
    adjustView->setObjectName(QStringLiteral("adjustView"));
    auto *panel = new IIAdjustViewController(engineController(), adjustView);
    adjustViewController_ = panel;
    panel->setEditingViewController(this);
    auto *adjustLayout = new QVBoxLayout(adjustView);
    adjustLayout->setContentsMargins(0, 0, 0, 0);
    adjustLayout->addWidget(panel);
    // Queued: the run's modal waiting window starts once the input event that made the change
    // has been handled in full, never inside it.
    connect(panel, &IIAdjustViewController::engineSettingsChanged, this,
            &IIEditingViewController::engineSettingsChanged, Qt::QueuedConnection);
    connect(panel, &IIAdjustViewController::effectSettingsChanged, this,
            &IIEditingViewController::effectSettingsChanged, Qt::QueuedConnection);

    // The thumbnails of the three photos, under the picture.
    auto *thumbRow = new QHBoxLayout;
    thumbRow->addStretch();
    for (auto &thumbnail : thumbnails_) {
        auto *label = new QLabel;
        label->setFixedSize(kThumbnailSide, kThumbnailSide);
        label->setAlignment(Qt::AlignCenter);
        label->setFrameShape(QFrame::StyledPanel);
        thumbnail = label;
        thumbRow->addWidget(label);
    }
    thumbRow->addStretch();

    auto *bottom = new APView;
    bottomView_ = bottom;
    bottom->setBackgroundcolor(QColor(0xd6, 0xd6, 0xd6));
    bottom->setFixedHeight(40);
    removeButn_ = new APButton(LocalizedString("IDS_CLEAR_ALL"));
    openButn_ = new APButton(LocalizedString("IDS_ADD_PHOTOS"));
    saveButn_ = new APButton(LocalizedString("IDS_SAVE"));
    shareButn_ = new APButton(LocalizedString("IDS_SHARE"));
    for (APButton *button : {removeButn_.data(), openButn_.data(), saveButn_.data(),
                             shareButn_.data()})
        button->setMinimumWidth(button->fontMetrics().horizontalAdvance(button->text()) + 36);
    removeButn_->setEnabled(false);
    saveButn_->setEnabled(false);
    shareButn_->setEnabled(false);
    auto *bar = new QHBoxLayout(bottom);
    bar->setContentsMargins(10, 6, 10, 6);
    bar->addWidget(removeButn_);
    bar->addWidget(openButn_);
    bar->addStretch();
    bar->addWidget(saveButn_);
    bar->addWidget(shareButn_);
    connect(openButn_.data(), &QPushButton::clicked, this, &IIEditingViewController::openTile);
    connect(saveButn_.data(), &QPushButton::clicked, this, &IIEditingViewController::saveAs);
    connect(shareButn_.data(), &QPushButton::clicked, this, &IIEditingViewController::shareAction);

    auto *left = new QVBoxLayout;
    left->setContentsMargins(0, 0, 0, 0);
    left->addWidget(clip, 1);
    left->addLayout(thumbRow);
    auto *top = new QHBoxLayout;
    top->setContentsMargins(8, 8, 8, 8);
    top->addLayout(left, 1);
    top->addWidget(adjustView);
    auto *outer = new QVBoxLayout(view);
    outer->setContentsMargins(0, 0, 0, 0);
    outer->setSpacing(0);
    outer->addLayout(top, 1);
    outer->addWidget(bottom);

    setUpImageClip(clip);
    return view;
}

QWidget *IIEditingViewController::hostWindow() const {
    return view_ ? view_->window() : nullptr;
}

bool IIEditingViewController::validateUserInterfaceItem(Action action, bool hasImage) {
    switch (action) {
        case Action::kSaveAs:
        case Action::kPrint:
        case Action::kZoomFit:
        case Action::kZoomIn:
        case Action::kZoomActual:
        case Action::kZoomOut: return hasImage;
        default: return true;
    }
}

void IIEditingViewController::runOpenPanel() {
    if (!openController_) return;
    QPointer<IIEditingViewController> self(this);
    openController_->open(hostWindow(), [self](const QList<QUrl> &urls,
                                               const std::optional<HdrError> &error) {
        if (!self) return;
        if (error) {
            self->showFailedWarning(error->localizedDescription);
        } else if (!urls.isEmpty()) {
            // After the panel has gone, so that the waiting window is the only modal one.
            DispatchMain([self, urls] {
                if (self) self->openURLs(urls);
            });
        }
    });
}

void IIEditingViewController::openURLs(const QList<QUrl> &urls) {
    QPointer<IIEditingViewController> self(this);
    IHDREngineController *bridge = engineController();
    PhotoLoader load = photoLoader_ ? photoLoader_ : PhotoLoader(DefaultPhotoLoader);
    jobs_->run(hostWindow(), QString(), [self, bridge, load, urls](const WaitingJob &job) {
        std::vector<std::unique_ptr<CBImageSource>> photos;
        QList<QSizeF> sizes;
        const char *failure = nullptr;
        QString detail;
        for (const QUrl &url : urls) {
            auto photo = std::make_unique<CBImageSource>();
            if (!load(*photo, url.toLocalFile())) {
                failure = "IDS_LOAD_FAILED";
                detail = LoadFailureDetail(url.toLocalFile(), *photo);
                break;
            }
            const QSizeF size = photo->imageSize(photo->orientation());
            if (size.width() < kMinPhotoSide || size.height() < kMinPhotoSide) {
                failure = "IDS_RESOLUTION_SMALL_ERROR";
                break;
            }
            sizes << size;
            if (size != sizes.first()) {
                failure = "IDS_RESOLUTION_DIFFERENT_ERROR";
                detail = SizeMismatchDetail(urls, sizes);
                break;
            }
            photos.push_back(std::move(photo));
        }
        if (failure) {
            ReportFailure(self, job, failure, detail);
        } else if (photos.size() == 3) {
            QList<QImage> images;
            QList<QTransform> upright;
            QList<const CBImageSource *> list;
            for (const auto &photo : photos) {
                images << photo->image();
                upright << photo->imageTransform();
                list << photo.get();
            }
            job.post([self, images, upright] {
                if (self) self->showThumbnails(images, upright);
            });
            const bool ok = bridge->convertImages(list);
            // The decoded photos are in the records now: they go before the merge needs its
            // memory (the thumbnail step holds its own references until it has run).
            list.clear();
            images.clear();
            photos.clear();
            if (!ok) {
                ReportFailure(self, job, "IDS_LOAD_FAILED");
            } else {
                const int result = bridge->run(
                    bridge->toneLength(), bridge->brightness(), bridge->toneSaturation(),
                    bridge->ghostSuppressionLevel(),
                    DisplayOnMain(self, job, &IIEditingViewController::firstDisplay));
                if (result != RESULT_OK) ReportFailure(self, job, "IDS_MERGE_FAILED");
            }
        }
    });
}

void IIEditingViewController::closeWaitingWindow() {
    jobs_->close();
}

void IIEditingViewController::showFailedWarning(const QString &text, const QString &detail) {
    auto *warning = new IIWarningMessageController(this);
    warning->warningMessage = text;
    warning->promptMessage = detail;
    warning->okMessage = LocalizedString("IDS_OK");
    warningMessageController_ = warning;
    QPointer<IIEditingViewController> self(this);
    BeginSheet(warning->dialog(), hostWindow(), [self](int code) {
        if (self) self->warningSheetDidEnd(code);
    });
}

void IIEditingViewController::warningSheetDidEnd(int) {
    IIWarningMessageController *warning = warningMessageController_.data();
    if (!warning) return;
    warningMessageController_.clear();
    if (warning->isWindowLoaded()) warning->window()->hide();
    warning->deleteLater();
}

void IIEditingViewController::showThumbnails(const QList<QImage> &images,
                                             const QList<QTransform> &upright) {
    for (int i = 0; i < 3 && i < images.size(); ++i) {
        if (!thumbnails_[i]) continue;
        // Made in device pixels, so that the thumbnails stay sharp at any scale.
        const qreal ratio = thumbnails_[i]->devicePixelRatioF();
        const QSize box = thumbnails_[i]->contentsRect().size() * ratio;
        // The photo as stored is scaled first and only the small copy is turned upright (the
        // turn's quarter turns and mirrors, without its offset); a quarter turn swaps the box.
        const QTransform t = i < upright.size() ? upright[i] : QTransform();
        const QTransform turn(t.m11(), t.m12(), t.m21(), t.m22(), 0, 0);
        const bool quarter = std::abs(t.m11()) < 0.5;
        QPixmap pixmap = QPixmap::fromImage(
            images[i]
                .scaled(quarter ? box.transposed() : box, Qt::KeepAspectRatio,
                        Qt::SmoothTransformation)
                .transformed(turn));
        pixmap.setDevicePixelRatio(ratio);
        thumbnails_[i]->setPixmap(pixmap);
    }
}

bool IIEditingViewController::displayPicture(FreeBuffer bgr, int64_t width, int64_t height) {
    if (!bgr) return false;
    auto histogram = std::make_shared<IIHistogramData>();
    const QImage picture = CBYUVRGB::bgr2image(bgr.get(), width, height,
                                               CBYUVRGB::bgrLineBytes(width), histogram.get());
    bgr.reset();
    if (picture.isNull()) return false;
    if (adjustViewController_) {
        adjustViewController_->updateHistogramData(histogram);
        adjustViewController_->updateSize(width, height);
    }
    if (imageView_) imageView_->setImage(picture, 0);
    return true;
}

// The display steps leave the waiting window up: the job's own last step closes it once the
// bridge has finished its run, so that no second job can start while the first one still
// works on the bridge's records.
void IIEditingViewController::firstDisplay(FreeBuffer bgr, int64_t width, int64_t height) {
    if (displayPicture(std::move(bgr), width, height)) {
        zoomFit();
        if (saveButn_) saveButn_->setEnabled(true);
        if (shareButn_) shareButn_->setEnabled(true);
        if (adjustViewController_) {
            adjustViewController_->enableControl(true);
            adjustViewController_->updateDefaultEffectsUI();
        }
        isDirty_ = true;
        emit pictureChanged();
    }
}

void IIEditingViewController::rerunDisplay(FreeBuffer bgr, int64_t width, int64_t height) {
    // The zoom mode and factor stay as the user left them.
    if (displayPicture(std::move(bgr), width, height)) {
        isDirty_ = true;
        emit pictureChanged();
    }
}

void IIEditingViewController::engineSettingsChanged(qint64 toneLength, qint64 toneSaturation,
                                                    qint64 brightenss, int ghost) {
    process(toneLength, brightenss, toneSaturation, ghost);
}

void IIEditingViewController::process(int64_t toneLength, int64_t birghtness,
                                      int64_t toneSaturation, int32_t ghostSuppressionLevel) {
    QPointer<IIEditingViewController> self(this);
    IHDREngineController *bridge = engineController();
    jobs_->run(hostWindow(), LocalizedString("IDS_LOADING"),
               [self, bridge, toneLength, birghtness, toneSaturation,
                ghostSuppressionLevel](const WaitingJob &job) {
                   const int result =
                       bridge->run(toneLength, birghtness, toneSaturation, ghostSuppressionLevel,
                                   DisplayOnMain(self, job, &IIEditingViewController::rerunDisplay));
                   // A failed merge makes no handler call: the picture stays, the window closes
                   // at the job's end.
                   if (result != RESULT_OK) ReportFailure(self, job, "IDS_MERGE_FAILED");
               });
}

void IIEditingViewController::effectSettingsChanged(qint64 contrast, qint64 saturation,
                                                    qint64 style) {
    QPointer<IIEditingViewController> self(this);
    IHDREngineController *bridge = engineController();
    jobs_->run(hostWindow(), LocalizedString("IDS_LOADING"),
               [self, bridge, contrast, saturation, style](const WaitingJob &job) {
                   bridge->run(static_cast<int32_t>(style), LomoLensRGB{255, 255, 255}, 50,
                               static_cast<int32_t>(contrast), static_cast<int32_t>(saturation),
                               DisplayOnMain(self, job, &IIEditingViewController::rerunDisplay));
               });
}
