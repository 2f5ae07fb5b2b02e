// The editing controller: the document controller of the main window. It builds the editing
// view (picture clip, thumbnails, button bar, adjustment panel), opens three photos, loads and
// checks them on a background job, merges them through the engine bridge and shows the picture,
// re-runs the merge or the effect when the panel reports new settings, and holds the zoom state.
// While a job runs, the waiting window holds the main window in its modal loop.
#pragma once

#include <QLabel>
#include <QList>
#include <QObject>
#include <QPointer>
#include <QSizeF>
#include <QTransform>
#include <QUrl>
#include <array>
#include <cstdint>
#include <functional>
#include <memory>

#include "IIImageClip.h"
#include "APButton.h"
#include "APView.h"
#include "CBHDROpenController.h"
#include "IIAdjustViewController.h"
#include "IIImageView.h"
#include "IIPrintView.h"
#include "IISaveViewController.h"
#include "IISharingServicePicker.h"
#include "IIWarningMessageController.h"
#include "MMWaitingWindowController.h"
#include "free_buffer.h"
#include "waiting_job.h"

class CBImageSource;
class IHDREngineController;
class QPrinter;

// w x h unchanged when it fits within the box; else scaled by the smaller of the two ratios,
// which are computed in single precision, and each side rounded to single precision.
QSizeF FitSizeWithin(double width, double height, double boxWidth, double boxHeight);

class IIEditingViewController : public QObject, public IIImageClipDelegate {
    Q_OBJECT
public:
    enum ZoomMode : int64_t { kZoomFit = 0, kZoomActualSize = 1, kZoomFree = 2 };
    // The factors zoomIn and zoomOut step through, ascending.
    static constexpr std::array<double, 19> kZoomSteps = {
        0.03, 0.05, 0.07, 0.1, 0.15, 0.2, 0.3, 0.5, 0.7, 1, 1.5, 2, 3, 5, 7, 10, 20, 30, 50};
    static constexpr double kMinZoomFactor = 0.03, kMaxZoomFactor = 50;

    // The menu and button actions whose items validateUserInterfaceItem decides on.
    enum class Action {
        kOpenTile, kSaveAs, kPrintSetup, kPrint, kZoomActual, kZoomFit, kZoomIn, kZoomOut,
        kOther
    };
    // Opens and decodes one photo; false when it cannot. The default is initWithPhoto and open.
    using PhotoLoader = std::function<bool(CBImageSource &photo, const QString &path)>;

    explicit IIEditingViewController(QObject *parent = nullptr);
    ~IIEditingViewController() override;

    // The engine bridge, made on first use. setEngineController replaces it (before loadView).
    IHDREngineController *engineController();
    void setEngineController(std::unique_ptr<IHDREngineController> controller);
    void setPhotoLoader(PhotoLoader loader) { photoLoader_ = std::move(loader); }

    // Builds the editing view once and returns it; the window that embeds it hosts the sheets.
    QWidget *loadView();
    QWidget *view() const { return view_.data(); }
    IIAdjustViewController *adjustViewController() const { return adjustViewController_.data(); }
    CBHDROpenController *openController() const { return openController_.data(); }
    APButton *openButn() const { return openButn_.data(); }
    APButton *removeButn() const { return removeButn_.data(); }
    APButton *saveButn() const { return saveButn_.data(); }
    APButton *shareButn() const { return shareButn_.data(); }
    APView *bottomView() const { return bottomView_.data(); }
    QLabel *leftImageView() const { return thumbnails_[0].data(); }
    QLabel *middleImageView() const { return thumbnails_[1].data(); }
    QLabel *rightImageView() const { return thumbnails_[2].data(); }
    MMWaitingWindowController *waitingWindowController() const { return jobs_->window(); }
    IIWarningMessageController *warningMessageController() const {
        return warningMessageController_.data();
    }

    // The open flow: the open panel on the view's window; its three files go to openURLs. With
    // unsaved work the unsaved-work sheet comes first.
    void openTile();
    // The load job: loads and checks the photos in the background, merges them and shows the
    // picture; returns when the job has ended and its waiting window is closed.
    void openURLs(const QList<QUrl> &urls);
    // Ends and closes the waiting window of the running job; nothing when none is up.
    void closeWaitingWindow();
    // The failure sheet over the view's window with the text, the detail below it (when given)
    // and an OK button.
    void showFailedWarning(const QString &text, const QString &detail = QString());
    void warningSheetDidEnd(int returnCode);

    // The panel's reports (argument orders as the panel sends them).
    void engineSettingsChanged(qint64 toneLength, qint64 toneSaturation, qint64 brightenss,
                               int ghost);
    void effectSettingsChanged(qint64 contrast, qint64 saturation, qint64 style);
    // The engine re-run with these settings, under the waiting window.
    void process(int64_t toneLength, int64_t birghtness, int64_t toneSaturation,
                 int32_t ghostSuppressionLevel);

    bool needSave() const { return isDirty_; }
    bool isDirty() const { return isDirty_; }
    // Save As, Print and the zoom items need a picture; every other item is always enabled.
    static bool validateUserInterfaceItem(Action action, bool hasImage);
    bool validateUserInterfaceItem(Action action) const {
        return validateUserInterfaceItem(action, hasImage());
    }

    // Makes the picture view inside clip, with the clip's size, sets this controller as the clip's
    // delegate and follows the clip's size so that a fitted picture stays fitted.
    void setUpImageClip(IIImageClip *clip);
    IIImageClip *imageClip() const { return imageClip_.data(); }
    IIImageView *imageView() const { return imageView_.data(); }
    bool hasImage() const;

    int64_t zoomMode() const { return zoomMode_; }
    double zoomFactor() const { return zoomFactor_; }

    // Every zoom operation does nothing without a picture.
    // A free factor, kept within 0.03 .. 50; a value that is not a number is ignored.
    void zoomImage(double factor);
    void zoomFit();
    void zoomActual();
    // The next larger (smaller) factor of the table; the factor stays beyond its ends.
    void zoomIn();
    void zoomOut();
    // The zoom control's segments: 0 out, 1 in, 2 fit, 3 actual size; others nothing.
    void zoom(int selectedSegment);
    // Applies the mode: a free factor as it is; actual size at 1 and centred; a fit of the
    // picture into the clip, never enlarged beyond 1, centred.
    void updateZoom();

    void imageClipMagnify(IIImageClip *clip, double value) override;
    void imageClipScrollWheel(IIImageClip *clip, double delta) override;

    // ---- Saving, printing, sharing and the unsaved-work sheets (IIEditingViewControllerSave).
    // Takes the panel's result (1 confirmed, 0 cancelled) and the panel.
    using SaveHandler = std::function<void(int result, IISavePanel *panel)>;
    IISaveViewController *saveViewController();
    // The save panel on show, if any.
    IISavePanel *savePanel() const { return savePanel_.data(); }
    // The save panel as a sheet on the view's window, its accessory reset to PNG, quality 0.9
    // and no TIFF compression; handler runs when it ends.
    void save(SaveHandler handler);
    // The Save button and menu item: the panel, then the shown picture written to its file.
    void saveAs();
    // The writers; original is not used by the first. False when nothing was written.
    static bool save(const QImage &picture, const QImage *original, const QUrl &url,
                     const QString &type, const IISaveOptions &options);
    static bool saveTIFF(const QImage &picture, const QImage *original, const QUrl &url,
                         const IISaveOptions &options);
    // The picture copied into a new 32-bit bitmap (see ResultImage); null without a picture.
    static QImage resultImage(const QImage &picture);
    // The shown picture copied the same way; null without a picture.
    QImage displayImage() const;
    // The Share button: the sharing menu above the button, for a copy of the shown picture.
    void shareAction();
    IISharingServicePicker *sharingServicePicker() const { return sharingServicePicker_.data(); }
    // The page setup panel as a sheet for imagePrintInfo (made on first use); on OK (1)
    // pageLayoutDidEnd gives the printer the panel's layout, which printing then uses.
    void printSetup();
    void pageLayoutDidEnd(int returnCode);
    // The print dialog for the shown picture on imagePrintInfo; nothing without a picture.
    void print();
    // The print settings, made on first use by page setup or printing.
    QPrinter *imagePrintInfo() const { return imagePrintInfo_.get(); }
    // The page view of the last print request.
    IIPrintView *printView() const { return printView_.data(); }
    QDialog *pageLayoutPanel() const { return pageLayoutPanel_.data(); }
    QDialog *printPanel() const { return printPanel_.data(); }
    // The unsaved-work sheet (Save 1, Cancel 0, Don't Save -1) ending in didEnd.
    void showUnsaveWarning(std::function<void(int)> didEnd);
    void unsaveWarningSheetDidEnd(int returnCode);
    // Whether the application may quit: 1 now, 2 later (the unsaved-work sheet decides and sends
    // replyToApplicationShouldTerminate), 0 not now.
    int terminate();
    void unsaveWarningTerminateSheetDidEnd(int returnCode);

    // ---- Hooks of the editing workflow (IIEditingViewControllerHooks).
    // The picture's last step before display: unchanged.
    QImage effect(const QImage &image) const;
    // Whether an image item exists for the name: never (the editor keeps no item list).
    bool isImageItemExist(const QString &name) const;
    // Whether the file at path is a photo the editor opens: JPEG, TIFF or camera raw by its
    // MIME type (by name, then by its bytes); false for a directory or a file of another type.
    static bool isSupportImage(const QString &path);
    // An editing sheet's end: the sheet is taken off the screen.
    void editSheetDidEnd(QWidget *sheet, int returnCode);
    // A picture chooser's end: nothing to do.
    void pictureTakerDidEnd(QObject *pictureTaker, int code);
    // The end of a print run: nothing to do.
    void printOperationDidRun(bool success);

signals:
    // A new picture is on show (after each display step).
    void pictureChanged();
    // The decision of the unsaved-work sheet shown when quitting.
    void replyToApplicationShouldTerminate(bool shouldTerminate);

private:
    void imageClipFrameChanged();
    // The photos as stored, each shown upright through its transform (CBImageSource's).
    void showThumbnails(const QList<QImage> &images, const QList<QTransform> &upright);
    // Builds the picture and histogram of a merged or effect buffer and shows them; false
    // (showing nothing) for a missing buffer.
    bool displayPicture(FreeBuffer bgr, int64_t width, int64_t height);
    void firstDisplay(FreeBuffer bgr, int64_t width, int64_t height);
    void rerunDisplay(FreeBuffer bgr, int64_t width, int64_t height);
    QWidget *hostWindow() const;

    int64_t zoomMode_ = kZoomFit;
    double zoomFactor_ = 1.0;
    QPointer<IIImageView> imageView_;
    QPointer<IIImageClip> imageClip_;
    QMetaObject::Connection frameConnection_;
    bool isDirty_ = false;
    std::unique_ptr<IHDREngineController> engineController_;
    PhotoLoader photoLoader_;
    QPointer<QWidget> view_;
    QPointer<IIAdjustViewController> adjustViewController_;
    QPointer<CBHDROpenController> openController_;
    QPointer<APButton> openButn_, removeButn_, saveButn_, shareButn_;
    QPointer<APView> bottomView_;
    std::array<QPointer<QLabel>, 3> thumbnails_;
    // The load, merge and effect jobs, each under the waiting window over the view's window.
    WaitingJobs *const jobs_ = new WaitingJobs(this);
    QPointer<IIWarningMessageController> warningMessageController_;

    void runOpenPanel();
    // Writes the shown picture to the panel's file with the accessory's options; on failure
    // shows the failure sheet. Clears isDirty only when clearDirty and the file is committed.
    bool writeShownPicture(IISavePanel *panel, bool clearDirty);
    QPointer<IISaveViewController> saveViewController_;
    QPointer<IISavePanel> savePanel_;
    QPointer<IISharingServicePicker> sharingServicePicker_;
    QPointer<IIPrintView> printView_;
    QPointer<QDialog> pageLayoutPanel_, printPanel_;
    std::shared_ptr<QPrinter> imagePrintInfo_;
    // The unsaved-work sheet on show, and whether it was asked for by quitting.
    QPointer<IIWarningMessageController> unsaveWarning_;
    bool unsaveWarningForTerminate_ = false;
};
