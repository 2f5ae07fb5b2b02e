// Scenes of the drawn controls and the picture view: a gallery of the controls in their looks,
// and a 12-megapixel picture at fit, actual size, 3x and 50x.
#include <QApplication>
#include <QDir>
#include <QGridLayout>
#include <QLabel>
#include <QPainter>
#include <QTest>
#include <cmath>
#include <cstdio>

#include "APButton.h"
#include "APView.h"
#include "CTGradient.h"
#include "IIEditingViewController.h"
#include "IIImageClip.h"
#include "IIImageView.h"
#include "IIPopupImageView.h"
#include "IIRoundedBox.h"
#include "IIWindowBackgroundView.h"

namespace {

void Save(QWidget *widget, const QString &folder, const QString &name) {
    QTest::qWait(300);
    const QString path = QDir(folder).filePath(name + ".png");
    std::printf("%s %s\n", widget->grab().save(path) ? "saved" : "FAILED", qPrintable(path));
}

QLabel *Caption(const QString &text, QWidget *parent) {
    auto *label = new QLabel(text, parent);
    QPalette palette = label->palette();
    palette.setColor(QPalette::WindowText, QColor::fromRgbF(0.8f, 0.8f, 0.8f));
    label->setPalette(palette);
    return label;
}

// Paints gradients as swatches.
class Swatch : public QWidget {
public:
    Swatch(CTGradient gradient, float angle, bool radial, QWidget *parent)
        : QWidget(parent), gradient_(std::move(gradient)), angle_(angle), radial_(radial) {
        setMinimumSize(120, 60);
    }

protected:
    void paintEvent(QPaintEvent *) override {
        QPainter painter(this);
        if (radial_)
            gradient_.radialFillRect(&painter, QRectF(rect()));
        else
            gradient_.fillRect(&painter, QRectF(rect()), angle_);
    }

private:
    CTGradient gradient_;
    float angle_;
    bool radial_;
};

// A 4032 x 3024 scene with detail that shows how it is scaled: a sky, fine rings, thin lines,
// one-pixel checks and small letters.
QImage Scene() {
    const int width = 4032, height = 3024;
    QImage image(width, height, QImage::Format_RGB32);
    for (int y = 0; y < height; ++y) {
        auto *row = reinterpret_cast<QRgb *>(image.scanLine(y));
        for (int x = 0; x < width; ++x) {
            const double dx = x - 1100.0, dy = y - 1500.0;
            const double ring = 0.5 + 0.5 * std::cos((dx * dx + dy * dy) / 2200.0);
            const int sky = 60 + 150 * y / height;
            if (dx * dx + dy * dy < 900.0 * 900.0)
                row[x] = qRgb(int(255 * ring), int(200 * ring), int(60 + 120 * ring));
            else
                row[x] = qRgb(sky / 3, sky / 2 + 20, sky);
        }
    }
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    for (int i = 0; i < 60; ++i) {  // thin lines fanning out
        painter.setPen(QPen(QColor(255, 240, 200), 1 + (i % 3)));
        painter.drawLine(QPointF(2300, 2900), QPointF(2300 + 1600 * std::cos(i * 0.026),
                                                      2900 - 2700 * std::sin(0.3 + i * 0.02)));
    }
    for (int y = 200; y < 800; ++y)  // one-pixel checks
        for (int x = 2400; x < 3800; ++x)
            image.setPixel(x, y, (x + y) % 2 ? qRgb(250, 250, 250) : qRgb(10, 10, 10));
    QFont font = painter.font();
    font.setPixelSize(28);
    painter.setFont(font);
    painter.setPen(Qt::white);
    for (int line = 0; line < 12; ++line)
        painter.drawText(2450, 1000 + 40 * line,
                         QStringLiteral("Line %1: the quick brown fox jumps over the lazy dog")
                             .arg(line + 1));
    painter.setPen(QPen(Qt::red, 4));
    painter.drawRect(QRect(2, 2, width - 5, height - 5));
    return image;
}

void ShootControls(const QString &folder) {
    IIWindowBackgroundView window;
    window.setWindowTitle(QStringLiteral("Controls"));
    auto *grid = new QGridLayout(&window);
    grid->setContentsMargins(24, 24, 24, 24);
    grid->setSpacing(16);
    const char *looks[] = {"Normal", "Hover", "Pressed", "Disabled"};
    for (int i = 0; i < 4; ++i) {
        auto *button = new APButton(QString::fromLatin1(looks[i]), &window);
        button->setMinimumSize(120, 32);
        if (i == 1) button->setIsMouseIn(true);
        if (i == 2) button->setIsMouseDown(true);
        if (i == 3) button->setEnabled(false);
        grid->addWidget(button, 0, i);
    }
    struct BoxLook {
        const char *title;
        bool fullBar;
        float border;
        bool selected;
    };
    const BoxLook boxes[] = {{"Tab", false, 2, false},
                             {"Full title bar", true, 2, false},
                             {"No border", false, 0, false},
                             {"Selected", false, 2, true}};
    for (int i = 0; i < 4; ++i) {
        auto *box = new IIRoundedBox(&window);
        box->setTitle(QString::fromLatin1(boxes[i].title));
        box->setDrawsFullTitleBar(boxes[i].fullBar);
        box->setBorderWidth(boxes[i].border);
        box->setSelected(boxes[i].selected);
        box->setMinimumSize(170, 110);
        grid->addWidget(box, 1, i);
    }
    grid->addWidget(new Swatch(CTGradient::aquaSelectedGradient(), 90, false, &window), 2, 0);
    grid->addWidget(new Swatch(CTGradient::rainbowGradient(), 0, false, &window), 2, 1);
    grid->addWidget(new Swatch(CTGradient::hydrogenSpectrumGradient(), 0, false, &window), 2, 2);
    grid->addWidget(new Swatch(CTGradient::unifiedDarkGradient(), 0, true, &window), 2, 3);
    const char *captions[] = {"aqua selected, 90 degrees", "rainbow, hue up", "hydrogen spectrum",
                              "radial"};
    for (int i = 0; i < 4; ++i) grid->addWidget(Caption(captions[i], &window), 3, i);
    auto *coloured = new APView(&window);
    coloured->setBackgroundcolor(QColor(40, 70, 110));
    coloured->setMinimumHeight(30);
    grid->addWidget(coloured, 4, 0, 1, 4);
    window.show();
    Save(&window, folder, "10-controls");
}

void ShootPictureView(const QString &folder) {
    IIWindowBackgroundView window;
    window.setWindowTitle(QStringLiteral("Picture"));
    window.resize(1000, 650);
    auto *clip = new IIImageClip(&window);
    clip->setGeometry(10, 10, 980, 630);
    IIEditingViewController controller;
    controller.setUpImageClip(clip);
    controller.imageView()->setImage(Scene(), 0);
    window.show();
    QTest::qWait(200);
    controller.zoomFit();
    Save(&window, folder, "11-picture-fit");
    controller.zoomActual();
    Save(&window, folder, "12-picture-actual-size");
    controller.zoomImage(3);
    clip->setCenter(QPointF(640, 370));  // the letters and the rings' edge
    clip->updateDocument();
    Save(&window, folder, "13-picture-3x");
    controller.zoomImage(50);
    clip->setCenter(QPointF(2500.0 / 4032 * 1000, 1000.0 / 3024 * 1000));
    clip->updateDocument();
    Save(&window, folder, "14-picture-50x");

    // The thumbnail's preview popover.
    window.hide();
    IIWindowBackgroundView strip;
    strip.resize(600, 460);
    auto *thumbnail = new IIPopupImageView(&strip);
    thumbnail->setGeometry(240, 20, 120, 90);
    thumbnail->setImage(Scene().scaled(1008, 756, Qt::KeepAspectRatio, Qt::SmoothTransformation));
    strip.show();
    QTest::qWait(200);
    QTest::mouseClick(thumbnail, Qt::LeftButton);
    QTest::qWait(300);
    if (QFrame *popover = thumbnail->popover()) {
        Save(popover, folder, "15-thumbnail-popover");
        popover->close();
    }
}

}  // namespace

void ShootViewScenes(const QString &folder) {
    QDir().mkpath(folder);
    ShootControls(folder);
    ShootPictureView(folder);
}
