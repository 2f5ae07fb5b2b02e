// The application: one window with the editing view and the menu bar; quitting with its window.
#include <QApplication>
#include <QIcon>
#include <QTimer>

#include "IIAppDelegate.h"
#include "IIMainWindow.h"

int main(int argc, char **argv) {
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Tonefold"));
    QApplication::setApplicationDisplayName(QStringLiteral("Tonefold"));
    QApplication::setDesktopFileName(QStringLiteral("tonefold"));
    QIcon icon;
    for (int side : {16, 32, 48, 64, 128, 256})
        icon.addFile(QStringLiteral(":/icons/tonefold-%1.png").arg(side), QSize(side, side));
    QApplication::setWindowIcon(icon);
    QApplication::setQuitOnLastWindowClosed(true);

    IIMainWindow window;
    IIAppDelegate delegate;
    delegate.setWindow(&window);
    QTimer::singleShot(0, &window, [&delegate] { delegate.applicationDidFinishLaunching(); });
    return QApplication::exec();
}
