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

// Starts program, which may run as long as the application it hands the picture to; failed is
// called when it cannot start or ends in failure (the e-mail launcher ends so when it finds no
// mail program). The process is not the application's child: it goes when it ends and is not
// stopped when the application quits first.
bool StartWatched(const QString &program, const QStringList &arguments,
                  const IISharingService::LateFailure &failed) {
    auto *process = new QProcess;
    process->setProcessChannelMode(QProcess::ForwardedChannels);
    QObject::connect(process, &QProcess::finished, process,
                     [process, failed](int code, QProcess::ExitStatus status) {
                         if (status != QProcess::NormalExit || code != 0) failed();
                         process->deleteLater();
                     });
    QObject::connect(process, &QProcess::errorOccurred, process,
                     [process, failed](QProcess::ProcessError error) {
                         if (error != QProcess::FailedToStart) return;
                         failed();
                         process->deleteLater();
                     });
    process->start(program, arguments);
    return true;
}

}  // namespace

IISharingServicePicker::IISharingServicePicker(const QImage &item, QWidget *parent)
    : QMenu(parent), item_(item) {
    setObjectName(QStringLiteral("sharingServicePicker"));
    const QList<IISharingService> services = CustomList() ? CustomList()() : defaultServices();
    for (const IISharingService &service : services) {
        QAction *action = addAction(service.title);
        connect(action, &QAction::triggered, this, [this, service] {
            // The handler is copied: a late failure comes after the picker has gone.
            const IISharingService::LateFailure failed = [report = failureHandler_,
                                                          text = service.failureText] {
                if (report && !text.isEmpty()) report(text);
            };
            const bool performed = service.perform && service.perform(item_, failed);
            if (!performed) failed();
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
    services << IISharingService{LocalizedString("IDS_SHARE_COPY"),
                                 [](const QImage &picture, const IISharingService::LateFailure &) {
                                     QGuiApplication::clipboard()->setImage(picture);
                                     return true;
                                 },
                                 QString()};
    const QString email = QStandardPaths::findExecutable(QStringLiteral("xdg-email"));
    if (!email.isEmpty()) {
        services << IISharingService{
            LocalizedString("IDS_SHARE_EMAIL"),
            [email](const QImage &picture, const IISharingService::LateFailure &failed) {
                const QString path = writeTemporaryPNG(picture);
                return !path.isEmpty() &&
                       StartWatched(email, {QStringLiteral("--attach"), path}, failed);
            },
            LocalizedString("IDS_SHARE_EMAIL_FAILED")};
    }
    // Without a launcher the desktop services refuse at once (and say why only on stderr).
    services << IISharingService{LocalizedString("IDS_SHARE_OPEN"),
                                 [](const QImage &picture, const IISharingService::LateFailure &) {
                                     const QString path = writeTemporaryPNG(picture);
                                     return !path.isEmpty() &&
                                            QDesktopServices::openUrl(QUrl::fromLocalFile(path));
                                 },
                                 LocalizedString("IDS_SHARE_OPEN_FAILED")};
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
