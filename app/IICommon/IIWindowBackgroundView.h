// A view filled with the application's background colour.
#pragma once

#include <QWidget>

class IIWindowBackgroundView : public QWidget {
    Q_OBJECT
public:
    explicit IIWindowBackgroundView(QWidget *parent = nullptr);

protected:
    void paintEvent(QPaintEvent *event) override;
};
