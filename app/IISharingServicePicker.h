// Offering the picture to other applications: a menu under the Share button with one entry per
// sharing service the desktop has. Copy puts the picture on the clipboard; e-mail and open hand
// a PNG of the picture, written to a temporary folder, to the desktop.
#pragma once

#include <QImage>
#include <QList>
#include <QMenu>
#include <QString>
#include <functional>
#include <utility>

struct IISharingService {
    // Tells of a hand-off that failed after perform returned (a launcher that gave up); may be
    // called on the main thread at any later time, also after the picker has gone.
    using LateFailure = std::function<void()>;

    QString title;
    // Shares the picture; false when the hand-off failed at once. A launcher that fails later
    // calls lateFailure.
    std::function<bool(const QImage &picture, const LateFailure &lateFailure)> perform;
    // What the user is told when the hand-off fails; empty for none.
    QString failureText;
};

class IISharingServicePicker : public QMenu {
    Q_OBJECT
public:
    using ServiceList = std::function<QList<IISharingService>()>;

    // A picker for the one picture, listing the services available now.
    explicit IISharingServicePicker(const QImage &item, QWidget *parent = nullptr);

    // Told the failure text of a chosen service whose hand-off fails, at once or later.
    using FailureHandler = std::function<void(const QString &text)>;
    void setFailureHandler(FailureHandler handler) { failureHandler_ = std::move(handler); }

    // Shows the menu beside rect of view: edge 3 (the maximum-Y edge of a rectangle whose y axis
    // points up) puts it above the rectangle, any other edge below it.
    void showRelativeToRect(const QRect &rect, QWidget *view, int preferredEdge);
    const QImage &item() const { return item_; }

    // The copy, e-mail (only where the desktop has an e-mail hand-off) and open services. The
    // e-mail hand-off fails when its launcher finds no mail program; the open hand-off when
    // there is no launcher.
    static QList<IISharingService> defaultServices();
    // Replaces the list of services (tests); an empty function restores the default list.
    static void setServiceList(ServiceList list);

    // The temporary PNG of a picture handed to other applications; empty when it cannot be
    // written. The folder lives as long as the application.
    static QString writeTemporaryPNG(const QImage &picture);

signals:
    // A service was chosen (after it ran).
    void didChooseSharingService(const QString &title, bool performed);

private:
    QImage item_;
    FailureHandler failureHandler_;
};
