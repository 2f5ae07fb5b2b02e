#include "IIImageList.h"

#include <QFileInfo>
#include <QPainter>

#include "CommonDefine.h"

QString IIImageItem::imageTitle() const { return QFileInfo(imagePath).completeBaseName(); }

QRectF IIImageListCell::selectionFrame(const QRectF &imageFrame) {
    return imageFrame.adjusted(-4, -4, 4, 4);
}

void IIImageListCell::paint(QPainter *painter, const QStyleOptionViewItem &option,
                            const QModelIndex &index) const {
    QStyleOptionViewItem plain = option;
    const bool selected = option.state & QStyle::State_Selected;
    plain.state &= ~QStyle::State_Selected;
    QStyledItemDelegate::paint(painter, plain, index);
    if (!selected) return;
    painter->save();
    painter->setRenderHint(QPainter::Antialiasing);
    QPen pen(QColor::fromRgbF(0, 0.58f, 0.9f, 1));
    pen.setWidthF(2);
    painter->setPen(pen);
    painter->setBrush(Qt::NoBrush);
    painter->drawRoundedRect(selectionFrame(QRectF(option.rect).adjusted(4, 4, -4, -4)), 3, 3);
    painter->restore();
}

IIImageListView::IIImageListView(QWidget *parent) : QListView(parent) {
    setViewMode(QListView::IconMode);
    setMovement(QListView::Static);
    setDragDropMode(QAbstractItemView::NoDragDrop);
    setItemDelegate(new IIImageListCell(this));
    setVerticalScrollBar(new IIImageListScroller(Qt::Vertical, this));
    QPalette palette = this->palette();
    palette.setColor(QPalette::Base, CommonDefine::backgroundColor());
    setPalette(palette);
}

IIImageListScroller::IIImageListScroller(Qt::Orientation orientation, QWidget *parent)
    : QScrollBar(orientation, parent) {
    setStyleSheet(QStringLiteral("QScrollBar { background: %1; }")
                      .arg(CommonDefine::backgroundColor().name()));
}
