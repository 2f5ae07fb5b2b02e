// A view filled with a colour of its own, or clear while it has none.
#pragma once

#include <QColor>
#include <QWidget>

class APView : public QWidget {
    Q_OBJECT
public:
    explicit APView(QWidget *parent = nullptr);

    QColor backgroundcolor() const { return backgroundcolor_; }
    // An invalid colour draws nothing. Redraws the view.
    void setBackgroundcolor(const QColor &color);

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    QColor backgroundcolor_;
};
