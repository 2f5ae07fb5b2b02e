#include "IISharingServicePicker.h"

#include <QClipboard>
#include <QCoreApplication>
#include <QDir>
#include <QDesktopServices>
#include <QGuiApplication>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QUrl>

#include "localized_string.h"
#include "picture_writer.h"

namespace {

IISharingServicePicker::ServiceList &CustomList() {
    static IISharingServicePicker::ServiceList list;
    return list;
}

}  // namespace

IISharingServicePicker::IISharingServicePicker(const QImage &item, QWidget *parent)
    : QMenu(parent), item_(item) {
    setObjectName(QStringLiteral("sharingServicePicker"));
    const QList<IISharingService> services = CustomList() ? CustomList()() : defaultServices();
    for (const IISharingService &service : services) {
        QAction *action = addAction(service.title);
        connect(action, &QAction::triggered, this, [this, service] {
            const bool performed = service.perform && service.perform(item_);
            emit didChooseSharingService(service.title, performed);
        });
    }
}

void IISharingServicePicker::showRelativeToRect(const QRect &rect, QWidget *view,
                                                int preferredEdge) {
    if (!view) return;
    const QSize size = sizeHint();
    const QPoint at = preferredEdge == 3 ? QPoint(rect.left(), rect.top() - size.height())
                                         : QPoint(rect.left(), rect.bottom() + 1);
    popup(view->mapToGlobal(at));
}

QList<IISharingService> IISharingServicePicker::defaultServices() {
    QList<IISharingService> services;
    services << IISharingService{LocalizedString("IDS_SHARE_COPY"), [](const QImage &picture) {
                                     QGuiApplication::clipboard()->setImage(picture);
                                     return true;
                                 }};
    const QString email = QStandardPaths::findExecutable(QStringLiteral("xdg-email"));
    if (!email.isEmpty()) {
        services << IISharingService{
            LocalizedString("IDS_SHARE_EMAIL"), [email](const QImage &picture) {
                const QString path = writeTemporaryPNG(picture);
                return !path.isEmpty() &&
                       QProcess::startDetached(email, {QStringLiteral("--attach"), path});
            }};
    }
    services << IISharingService{LocalizedString("IDS_SHARE_OPEN"), [](const QImage &picture) {
                                     const QString path = writeTemporaryPNG(picture);
                                     return !path.isEmpty() &&
                                            QDesktopServices::openUrl(QUrl::fromLocalFile(path));
                                 }};
    return services;
}

void IISharingServicePicker::setServiceList(ServiceList list) { CustomList() = std::move(list); }

QString IISharingServicePicker::writeTemporaryPNG(const QImage &picture) {
    static QTemporaryDir folder(QDir::tempPath() + QStringLiteral("/tonefold-share-XXXXXX"));
    static int count = 0;
    if (!folder.isValid()) return {};
    // A new name each time: the application that has the last one may still be reading it.
    const QString path = folder.filePath(QStringLiteral("%1-%2.png")
                                             .arg(QCoreApplication::applicationName().isEmpty()
                                                      ? QStringLiteral("picture")
                                                      : QCoreApplication::applicationName())
                                             .arg(++count));
    return WritePicture(picture, path, QStringLiteral("public.png"), {}) ? path : QString();
}
