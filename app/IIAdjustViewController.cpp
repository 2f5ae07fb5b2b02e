#include "IIAdjustViewController.h"

#include <QEvent>
#include <QFrame>
#include <QGridLayout>
#include <QSignalBlocker>
#include <QVBoxLayout>
#include <utility>

#include "IHDREngineController.h"
#include "IIEditingViewController.h"
#include "localized_string.h"

namespace {

// Slider ranges follow what the engine and the effect accept. Every value field shows the
// slider's value, which is exactly what the engine or the effect receives.
struct SliderRange {
    int minimum, maximum;
};
constexpr SliderRange kToneLengthRange{0, 100};
constexpr SliderRange kToneSaturationRange{0, 100};
constexpr SliderRange kBrightnessRange{-100, 100};
constexpr SliderRange kGhostRange{0, 10};
constexpr SliderRange kSaturationRange{-100, 100};
constexpr SliderRange kContrastRange{-100, 100};

// The histogram spans 256 device columns at scale 1, one per sample value.
constexpr int kHistogramWidth = 256;
constexpr int kHistogramHeight = 100;
// The panel is a column beside the picture, a little wider than the histogram.
constexpr int kPanelWidth = kHistogramWidth + 44;

QString ValueText(const QSlider *slider) { return QString::number(slider->value()); }

}  // namespace

IIAdjustViewController::IIAdjustViewController(IHDREngineController *engineController,
                                               QWidget *parent)
    : QWidget(parent), engineController_(engineController) {
    loadView();
    initViewController();
    enableControl(false);
}

void IIAdjustViewController::loadView() {
    setObjectName(QStringLiteral("adjustView"));
    setFixedWidth(kPanelWidth);
    auto *column = new QVBoxLayout(this);
    column->setContentsMargins(10, 10, 10, 10);
    column->setSpacing(4);

    auto addSlider = [&](const char *name, SliderRange range, QPointer<QLabel> &caption,
                         QPointer<QLabel> &valueField, QPointer<QSlider> &slider,
                         void (IIAdjustViewController::*changed)()) {
        auto *row = new QGridLayout;
        row->setVerticalSpacing(0);
        caption = new QLabel(this);
        caption->setObjectName(QString::fromLatin1(name) + QStringLiteral("Field"));
        valueField = new QLabel(this);
        valueField->setObjectName(QString::fromLatin1(name) + QStringLiteral("ValueField"));
        valueField->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
        valueField->setMinimumWidth(valueField->fontMetrics().horizontalAdvance(QStringLiteral("-000")));
        slider = new QSlider(Qt::Horizontal, this);
        slider->setObjectName(QString::fromLatin1(name) + QStringLiteral("Slider"));
        slider->setRange(range.minimum, range.maximum);
        slider->setTracking(false);
        slider->setSingleStep(1);
        slider->setPageStep(std::max(1, (range.maximum - range.minimum) / 10));
        row->addWidget(caption, 0, 0);
        row->addWidget(valueField, 0, 1);
        row->addWidget(slider, 1, 0, 1, 2);
        column->addLayout(row);
        connect(slider.data(), &QSlider::valueChanged, this, changed);
        slider->installEventFilter(this);
    };
    auto addSeparator = [&] {
        auto *line = new QFrame(this);
        line->setFrameShape(QFrame::HLine);
        line->setFrameShadow(QFrame::Sunken);
        column->addSpacing(4);
        column->addWidget(line);
        column->addSpacing(4);
    };

    addSlider("toneLength", kToneLengthRange, toneLengthField_, toneLengthValueField_,
              toneLengthSlider_, &IIAdjustViewController::toneLengthChanged);
    addSlider("toneSaturation", kToneSaturationRange, toneSaturationField_,
              toneSaturationValueField_, toneSaturationSlider_,
              &IIAdjustViewController::toneSaturationChanged);
    addSlider("brightness", kBrightnessRange, brightnessField_, brightnessValueField_,
              brightnessSlider_, &IIAdjustViewController::brightnessChanged);
    addSlider("ghost", kGhostRange, ghostField_, ghostValueField_, ghostSlider_,
              &IIAdjustViewController::ghostChanged);
    addSeparator();
    addSlider("contrast", kContrastRange, contrastField_, contrastValueField_, contrastSlider_,
              &IIAdjustViewController::contrastChanged);
    addSlider("saturation", kSaturationRange, saturationField_, saturationValueField_,
              saturationSlider_, &IIAdjustViewController::saturationChanged);
    artCheck_ = new QCheckBox(this);
    artCheck_->setObjectName(QStringLiteral("artCheck"));
    connect(artCheck_.data(), &QCheckBox::toggled, this, &IIAdjustViewController::styleChanged);
    column->addWidget(artCheck_);
    addSeparator();

    sizeField_ = new QLabel(this);
    sizeField_->setObjectName(QStringLiteral("sizeField"));
    column->addWidget(sizeField_);
    histogramView_ = new IIHistogramView(this);
    histogramView_->setObjectName(QStringLiteral("histogramView"));
    histogramView_->setFixedSize(kHistogramWidth, kHistogramHeight);
    // The columns are drawn over a dark ground so that white and colours both show.
    histogramView_->setAutoFillBackground(true);
    QPalette ground = histogramView_->palette();
    ground.setColor(QPalette::Window, QColor(24, 24, 24));
    histogramView_->setPalette(ground);
    column->addWidget(histogramView_, 0, Qt::AlignHCenter);
    column->addStretch(1);
}

void IIAdjustViewController::initViewController() {
    toneLengthField_->setText(LocalizedString("IDS_TONE_LENGTH"));
    toneSaturationField_->setText(LocalizedString("IDS_TONE_SATURATION"));
    brightnessField_->setText(LocalizedString("IDS_BRIHGTNESS"));
    ghostField_->setText(LocalizedString("IDS_GHOST"));
    saturationField_->setText(LocalizedString("IDS_SATURATION"));
    contrastField_->setText(LocalizedString("IDS_CONTRAST"));
    artCheck_->setText(LocalizedString("IDS_ART"));
    placeMergeSliders();
    updateDefaultEffectsUI();
}

void IIAdjustViewController::placeMergeSliders() {
    if (!engineController_) return;
    const IHDREngineController &bridge = *engineController_;
    // Placing the sliders is no change of the user's: nothing is reported.
    const QSignalBlocker a(toneSaturationSlider_), b(toneLengthSlider_), c(brightnessSlider_),
        d(ghostSlider_);
    toneSaturationSlider_->setValue(static_cast<int>(bridge.toneSaturation()));
    toneLengthSlider_->setValue(static_cast<int>(bridge.toneLength()));
    brightnessSlider_->setValue(static_cast<int>(bridge.brightness()));
    ghostSlider_->setValue(bridge.ghostSuppressionLevel());
    toneLengthValueField_->setText(ValueText(toneLengthSlider_));
    toneSaturationValueField_->setText(ValueText(toneSaturationSlider_));
    brightnessValueField_->setText(ValueText(brightnessSlider_));
    ghostValueField_->setText(ValueText(ghostSlider_));
}

void IIAdjustViewController::updateEngine(IHDREngineController *engineController) {
    engineController_ = engineController;
    placeMergeSliders();
}

void IIAdjustViewController::updateDefaultEffectsUI() {
    const QSignalBlocker a(contrastSlider_), b(saturationSlider_), c(artCheck_);
    contrastSlider_->setValue(0);
    saturationSlider_->setValue(0);
    contrastValueField_->setText(ValueText(contrastSlider_));
    saturationValueField_->setText(ValueText(saturationSlider_));
    artCheck_->setChecked(false);
}

void IIAdjustViewController::enableControl(bool enabled) {
    for (QWidget *control : {static_cast<QWidget *>(toneLengthSlider_),
                             static_cast<QWidget *>(toneSaturationSlider_),
                             static_cast<QWidget *>(brightnessSlider_),
                             static_cast<QWidget *>(ghostSlider_),
                             static_cast<QWidget *>(saturationSlider_),
                             static_cast<QWidget *>(contrastSlider_),
                             static_cast<QWidget *>(artCheck_)})
        control->setEnabled(enabled);
}

void IIAdjustViewController::updateSize(qint64 width, qint64 height) {
    sizeField_->setText(QStringLiteral("%1 %2x%3 %4")
                            .arg(LocalizedString("IDS_OUTPUT_SIZE"))
                            .arg(width)
                            .arg(height)
                            .arg(LocalizedString("IDS_PIX")));
}

void IIAdjustViewController::updateHistogramData(std::shared_ptr<const IIHistogramData> data) {
    histogramView_->setHistogramData(std::move(data));
    histogramView_->update();
}

// A report runs a merge under a modal waiting window. Made while the button is still down, the
// window would swallow the release, and the slider's auto-repeat would go on stepping (a merge
// each step) until it reached the pointer; so a held slider's changes wait for the release.
bool IIAdjustViewController::eventFilter(QObject *watched, QEvent *event) {
    auto *slider = qobject_cast<QSlider *>(watched);
    if (!slider) return QWidget::eventFilter(watched, event);
    switch (event->type()) {
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonDblClick:
        // A change still held from a press whose release never came is reported first.
        if (auto report = std::exchange(heldReport_, nullptr)) (this->*report)();
        heldSlider_ = slider;
        break;
    case QEvent::MouseButtonRelease:
        if (slider == heldSlider_) {
            // Before the slider sees the release: a drag's own change, made on the release,
            // is then reported as it comes.
            heldSlider_.clear();
            if (auto report = std::exchange(heldReport_, nullptr)) (this->*report)();
        }
        break;
    default:
        break;
    }
    return QWidget::eventFilter(watched, event);
}

void IIAdjustViewController::sliderChanged(QSlider *slider, QLabel *valueField,
                                           void (IIAdjustViewController::*report)()) {
    valueField->setText(ValueText(slider));
    if (slider == heldSlider_)
        heldReport_ = report;
    else
        (this->*report)();
}

void IIAdjustViewController::toneLengthChanged() {
    sliderChanged(toneLengthSlider_, toneLengthValueField_,
                  &IIAdjustViewController::updateEngineSettings);
}

void IIAdjustViewController::toneSaturationChanged() {
    sliderChanged(toneSaturationSlider_, toneSaturationValueField_,
                  &IIAdjustViewController::updateEngineSettings);
}

void IIAdjustViewController::brightnessChanged() {
    sliderChanged(brightnessSlider_, brightnessValueField_,
                  &IIAdjustViewController::updateEngineSettings);
}

void IIAdjustViewController::ghostChanged() {
    sliderChanged(ghostSlider_, ghostValueField_, &IIAdjustViewController::updateEngineSettings);
}

void IIAdjustViewController::saturationChanged() {
    sliderChanged(saturationSlider_, saturationValueField_,
                  &IIAdjustViewController::updateEffectSettings);
}

void IIAdjustViewController::contrastChanged() {
    sliderChanged(contrastSlider_, contrastValueField_,
                  &IIAdjustViewController::updateEffectSettings);
}

void IIAdjustViewController::styleChanged() { updateEffectSettings(); }

void IIAdjustViewController::updateEngineSettings() {
    emit engineSettingsChanged(toneLengthSlider_->value(), toneSaturationSlider_->value(),
                               brightnessSlider_->value(), ghostSlider_->value());
}

void IIAdjustViewController::updateEffectSettings() {
    emit effectSettingsChanged(contrastSlider_->value(), saturationSlider_->value(),
                               artCheck_->isChecked() ? 1 : 0);
}

IIEditingViewController *IIAdjustViewController::editingViewController() const {
    return qobject_cast<IIEditingViewController *>(editingViewController_.data());
}

void IIAdjustViewController::setEditingViewController(IIEditingViewController *controller) {
    editingViewController_ = controller;
}
