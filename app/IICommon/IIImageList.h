// A small image list: items naming image files, a delegate that draws a blue selection frame, a
// list view on the application's background and its scroll bar. The application does not use
// these yet.
#pragma once

#include <QListView>
#include <QScrollBar>
#include <QString>
#include <QStyledItemDelegate>

// The representation type every item answers: the item is represented by a file path.
inline constexpr const char *kImageBrowserPathRepresentationType =
    "IKImageBrowserPathRepresentationType";

class IIImageItem {
public:
    QString imagePath;
    bool isSelectable = true;

    QString imageRepresentationType() const { return kImageBrowserPathRepresentationType; }
    QString imageRepresentation() const { return imagePath; }
    QString imageUID() const { return imagePath; }
    // The path's last component without its extension.
    QString imageTitle() const;
};

// Draws the item and, when it is selected, a frame 4 beyond the image in blue (0, 0.58, 0.9),
// 2 wide with corners of radius 3.
class IIImageListCell : public QStyledItemDelegate {
    Q_OBJECT
public:
    using QStyledItemDelegate::QStyledItemDelegate;

    static QRectF selectionFrame(const QRectF &imageFrame);
    void paint(QPainter *painter, const QStyleOptionViewItem &option,
               const QModelIndex &index) const override;
};

// An icon list on the application's background, animated, without reordering.
class IIImageListView : public QListView {
    Q_OBJECT
public:
    explicit IIImageListView(QWidget *parent = nullptr);
};

// A scroll bar whose groove is the application's background.
class IIImageListScroller : public QScrollBar {
    Q_OBJECT
public:
    explicit IIImageListScroller(Qt::Orientation orientation, QWidget *parent = nullptr);
};
