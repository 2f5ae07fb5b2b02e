// The page setup panel: the paper size and the orientation of a page layout. It works the same
// for every printer, printing to a PDF file too, and changes nothing until its owner takes
// pageLayout() after OK.
#pragma once

#include <QDialog>
#include <QList>
#include <QPageLayout>
#include <QPageSize>

class QComboBox;
class QPrinter;
class QRadioButton;

class IIPageLayoutPanel : public QDialog {
    Q_OBJECT
public:
    // Offers sizes (the layout's own is added when missing) and starts on the layout's size
    // and orientation.
    IIPageLayoutPanel(const QPageLayout &layout, const QList<QPageSize> &sizes,
                      QWidget *parent = nullptr);

    // The paper sizes the printer takes; for a PDF file or a printer that names none, the
    // common ISO and North American sizes.
    static QList<QPageSize> paperSizes(const QPrinter &printer);

    // The layout given, with the chosen paper size and orientation; its margins are kept.
    QPageLayout pageLayout() const;

    QComboBox *paperSizeBox() const { return paperSize_; }
    QRadioButton *portraitButton() const { return portrait_; }
    QRadioButton *landscapeButton() const { return landscape_; }

private:
    QPageLayout layout_;
    QComboBox *paperSize_ = nullptr;
    QRadioButton *portrait_ = nullptr;
    QRadioButton *landscape_ = nullptr;
};
