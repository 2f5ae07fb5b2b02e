// The adjustment panel: four merge sliders (tone length, tone saturation, brightness, ghost
// suppression), the effect's contrast and saturation sliders and art check box, a value field
// and a caption for each slider, the output size line and the histogram. It keeps no settings:
// the merge sliders are placed from the engine bridge and every change is sent out as a signal.
// Sliders do not track, so a change is reported when a drag ends or a key steps; while a mouse
// button is held on a slider its changes (a click's page step, the steps of a held click) are
// reported once, when the button is let go.
#pragma once

#include <QCheckBox>
#include <QLabel>
#include <QPointer>
#include <QSlider>
#include <QWidget>
#include <memory>

#include "IIHistogramData.h"
#include "IIHistogramView.h"

class IHDREngineController;
class IIEditingViewController;

class IIAdjustViewController : public QWidget {
    Q_OBJECT
public:
    // Builds the panel, places the merge sliders from engineController (which must outlive the
    // panel or be replaced with updateEngine) and disables every control.
    explicit IIAdjustViewController(IHDREngineController *engineController,
                                    QWidget *parent = nullptr);

    IHDREngineController *engineController() const { return engineController_; }
    // The editor that owns the panel (it sets itself when it builds the panel). Not owned
    // here: the editor outlives its panel, and null once it is gone.
    IIEditingViewController *editingViewController() const;
    void setEditingViewController(IIEditingViewController *controller);

    QSlider *toneLengthSlider() const { return toneLengthSlider_; }
    QSlider *toneSaturationSlider() const { return toneSaturationSlider_; }
    QSlider *brightnessSlider() const { return brightnessSlider_; }
    QSlider *ghostSlider() const { return ghostSlider_; }
    QSlider *saturationSlider() const { return saturationSlider_; }
    QSlider *contrastSlider() const { return contrastSlider_; }
    QCheckBox *artCheck() const { return artCheck_; }
    QLabel *toneLengthValueField() const { return toneLengthValueField_; }
    QLabel *toneSaturationValueField() const { return toneSaturationValueField_; }
    QLabel *brightnessValueField() const { return brightnessValueField_; }
    QLabel *ghostValueField() const { return ghostValueField_; }
    QLabel *saturationValueField() const { return saturationValueField_; }
    QLabel *contrastValueField() const { return contrastValueField_; }
    QLabel *toneLengthField() const { return toneLengthField_; }
    QLabel *toneSaturationField() const { return toneSaturationField_; }
    QLabel *brightnessField() const { return brightnessField_; }
    QLabel *ghostField() const { return ghostField_; }
    QLabel *saturationField() const { return saturationField_; }
    QLabel *contrastField() const { return contrastField_; }
    IIHistogramView *histogramView() const { return histogramView_; }
    QLabel *sizeField() const { return sizeField_; }

    // Takes another bridge and places the merge sliders and their fields from it.
    void updateEngine(IHDREngineController *engineController);
    // Contrast and saturation to 0 and the art box off, without reporting a change.
    void updateDefaultEffectsUI();
    // Enables or disables the six sliders and the art box; fields and captions stay.
    void enableControl(bool enabled);
    // "<output size> <width>x<height> <pixels>".
    void updateSize(qint64 width, qint64 height);
    // Shows the histogram of the picture on show.
    void updateHistogramData(std::shared_ptr<const IIHistogramData> data);

    // The reports, also sent by the controls' own changes.
    void updateEngineSettings();
    void updateEffectSettings();

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

signals:
    // Argument order: tone length, tone saturation, brightness, ghost level.
    void engineSettingsChanged(qint64 toneLength, qint64 toneSaturation, qint64 brightenss,
                               int ghost);
    void effectSettingsChanged(qint64 contrast, qint64 saturation, qint64 style);

private slots:
    void toneLengthChanged();
    void toneSaturationChanged();
    void brightnessChanged();
    void ghostChanged();
    void saturationChanged();
    void contrastChanged();
    void styleChanged();

private:
    void loadView();
    void initViewController();
    void placeMergeSliders();
    // Reports a change of slider now, or when the mouse button held on it is let go.
    void sliderChanged(QSlider *slider, QLabel *valueField, void (IIAdjustViewController::*report)());

    IHDREngineController *engineController_;
    QPointer<QSlider> toneLengthSlider_, toneSaturationSlider_, brightnessSlider_, ghostSlider_,
        saturationSlider_, contrastSlider_;
    QPointer<QCheckBox> artCheck_;
    QPointer<QLabel> toneLengthValueField_, toneSaturationValueField_, brightnessValueField_,
        ghostValueField_, saturationValueField_, contrastValueField_;
    QPointer<QLabel> toneLengthField_, toneSaturationField_, brightnessField_, ghostField_,
        saturationField_, contrastField_;
    QPointer<IIHistogramView> histogramView_;
    QPointer<QLabel> sizeField_;
    QPointer<QObject> editingViewController_;
    // The slider a mouse button is held on, and the report its changes wait for.
    QPointer<QSlider> heldSlider_;
    void (IIAdjustViewController::*heldReport_)() = nullptr;
};
