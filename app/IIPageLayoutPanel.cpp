#include "IIPageLayoutPanel.h"

#include <QComboBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QPrinter>
#include <QPrinterInfo>
#include <QRadioButton>
#include <QVBoxLayout>

#include "localized_string.h"

IIPageLayoutPanel::IIPageLayoutPanel(const QPageLayout &layout, const QList<QPageSize> &sizes,
                                     QWidget *parent)
    : QDialog(parent), layout_(layout) {
    setWindowTitle(LocalizedString("IDS_PAGE_SETUP"));
    paperSize_ = new QComboBox(this);
    QList<QPageSize> offered = sizes;
    const QPageSize current = layout.pageSize();
    if (current.isValid() && !offered.contains(current)) offered.prepend(current);
    for (const QPageSize &size : offered) paperSize_->addItem(size.name(), QVariant::fromValue(size));
    paperSize_->setCurrentIndex(std::max(0, int(offered.indexOf(current))));

    portrait_ = new QRadioButton(LocalizedString("IDS_PAGE_PORTRAIT"), this);
    landscape_ = new QRadioButton(LocalizedString("IDS_PAGE_LANDSCAPE"), this);
    (layout.orientation() == QPageLayout::Landscape ? landscape_ : portrait_)->setChecked(true);
    auto *orientation = new QHBoxLayout;
    orientation->addWidget(portrait_);
    orientation->addWidget(landscape_);
    orientation->addStretch();

    auto *form = new QFormLayout;
    form->addRow(LocalizedString("IDS_PAGE_PAPER"), paperSize_);
    form->addRow(LocalizedString("IDS_PAGE_ORIENTATION"), orientation);
    auto *buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    buttons->setObjectName(QStringLiteral("buttonBox"));
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    auto *column = new QVBoxLayout(this);
    column->addLayout(form);
    column->addWidget(buttons);
}

QList<QPageSize> IIPageLayoutPanel::paperSizes(const QPrinter &printer) {
    if (printer.outputFormat() == QPrinter::NativeFormat) {
        const QList<QPageSize> sizes = QPrinterInfo(printer).supportedPageSizes();
        if (!sizes.isEmpty()) return sizes;
    }
    QList<QPageSize> sizes;
    for (QPageSize::PageSizeId id : {QPageSize::A3, QPageSize::A4, QPageSize::A5, QPageSize::B5,
                                     QPageSize::Letter, QPageSize::Legal, QPageSize::Executive,
                                     QPageSize::Tabloid})
        sizes << QPageSize(id);
    return sizes;
}

QPageLayout IIPageLayoutPanel::pageLayout() const {
    QPageLayout chosen = layout_;
    chosen.setOrientation(landscape_->isChecked() ? QPageLayout::Landscape : QPageLayout::Portrait);
    const QPageSize size = paperSize_->currentData().value<QPageSize>();
    if (size.isValid()) chosen.setPageSize(size, chosen.minimumMargins());
    return chosen;
}
