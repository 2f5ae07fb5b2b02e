// The RGB histogram of the shown picture as overlapping coloured columns, one per sample
// value, growing up from the bottom edge (y grows downwards).
#pragma once

#include <QWidget>
#include <memory>

#include "IIHistogramData.h"

class QPainter;

class IIHistogramView : public QWidget {
    Q_OBJECT
public:
    explicit IIHistogramView(QWidget *parent = nullptr);

    std::shared_ptr<const IIHistogramData> histogramData() const { return histogramData_; }
    // Keeps the data; the caller marks the view for redisplay.
    void setHistogramData(std::shared_ptr<const IIHistogramData> data) {
        histogramData_ = std::move(data);
    }

    // Draws the histogram into a width x height area at the painter's origin; nothing without
    // data or with a largest count of 0 or less. Counts are scaled so that max / 16 reaches
    // the top; taller columns run past it and are cut by the painter's clip.
    static void drawHistogram(QPainter &painter, double width, double height,
                              const IIHistogramData *data);

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    std::shared_ptr<const IIHistogramData> histogramData_;
};
