#include "IIMainWindow.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QDesktopServices>
#include <QDir>
#include <QFileInfo>
#include <QGuiApplication>
#include <QMenuBar>
#include <QEventLoop>
#include <QMessageBox>
#include <QSessionManager>

#include "IIAppDelegate.h"
#include "localized_string.h"

#ifndef TONEFOLD_VERSION
#define TONEFOLD_VERSION "0"
#endif

namespace {

// The application's name, shown in the title and in the About and Quit items.
QString ApplicationName() { return QStringLiteral("Tonefold"); }

IIMainWindow::UrlOpener &UrlOpenerSlot() {
    static IIMainWindow::UrlOpener opener;
    return opener;
}

}  // namespace

IIMainWindow::IIMainWindow(IIEditingViewController *controller, QWidget *parent)
    : QMainWindow(parent),
      editingViewController_(controller ? controller : new IIEditingViewController(this)) {
    if (!editingViewController_->parent()) editingViewController_->setParent(this);
    setCentralWidget(editingViewController_->loadView());
    setWindowTitle(ApplicationName());
    resize(1000, 680);
    buildMenus();
    connect(editingViewController_.data(), &IIEditingViewController::pictureChanged, this,
            &IIMainWindow::validateMenuItems);
    connect(editingViewController_.data(),
            &IIEditingViewController::replyToApplicationShouldTerminate, this,
            &IIMainWindow::replyToApplicationShouldTerminate);
    connect(qApp, &QGuiApplication::commitDataRequest, this, [this](QSessionManager &manager) {
        if (!manager.allowsInteraction()) return;
        if (!askBeforeSessionEnds()) manager.cancel();
        manager.release();
    });
    validateMenuItems();
}

QAction *IIMainWindow::addItem(QMenu *menu, const char *key, const QKeySequence &keys,
                               IIEditingViewController::Action action) {
    QAction *item = menu->addAction(LocalizedString(key));
    item->setShortcut(keys);
    item->setData(static_cast<int>(action));
    return item;
}

void IIMainWindow::buildMenus() {
    using Action = IIEditingViewController::Action;
    IIEditingViewController *editor = editingViewController_.data();
    const QString name = ApplicationName();

    QMenu *file = menuBar()->addMenu(tr("&File"));
    importTilesMeunItem_ = addItem(file, "IDS_MENU_TILES", QKeySequence(Qt::CTRL | Qt::Key_O), Action::kOpenTile);
    saveMeunItem_ = addItem(file, "IDS_MENU_SAVE", QKeySequence(Qt::CTRL | Qt::Key_S), Action::kSaveAs);
    file->addSeparator();
    pageSetupMeunItem_ = addItem(file, "IDS_MENU_PAGESETUP", {}, Action::kPrintSetup);
    printMeunItem_ = addItem(file, "IDS_MENU_PRINT", QKeySequence(Qt::CTRL | Qt::Key_P), Action::kPrint);
    file->addSeparator();
    quitMeunItem_ = addItem(file, "IDS_MENU_QUIT", QKeySequence(Qt::CTRL | Qt::Key_Q), Action::kOther);
    quitMeunItem_->setText(LocalizedString("IDS_MENU_QUIT").arg(name));
    quitMeunItem_->setMenuRole(QAction::QuitRole);

    QMenu *view = menuBar()->addMenu(tr("&View"));
    actualSizeMenuItem_ = addItem(view, "IDS_MENU_ACTUALSIZE", QKeySequence(Qt::CTRL | Qt::Key_0),
                                  Action::kZoomActual);
    fitinMeunItem_ = addItem(view, "IDS_MENU_FITIN", {}, Action::kZoomFit);
    zoomInMeunItem_ = addItem(view, "IDS_MENU_ZOOMIN", QKeySequence(Qt::CTRL | Qt::Key_Plus), Action::kZoomIn);
    // Ctrl+= too, the same keys without Shift on most layouts, and the platform's own.
    QList<QKeySequence> zoomInKeys{QKeySequence(Qt::CTRL | Qt::Key_Plus),
                                   QKeySequence(Qt::CTRL | Qt::Key_Equal)};
    for (const QKeySequence &keys : QKeySequence::keyBindings(QKeySequence::ZoomIn))
        if (!zoomInKeys.contains(keys)) zoomInKeys << keys;
    zoomInMeunItem_->setShortcuts(zoomInKeys);
    zoomOutMeunItem_ = addItem(view, "IDS_MENU_ZOOMOUT", QKeySequence(Qt::CTRL | Qt::Key_Minus), Action::kZoomOut);

    QMenu *help = menuBar()->addMenu(tr("&Help"));
    onlineHelpMeunItem_ = addItem(help, "IDS_MENU_HELP", QKeySequence(Qt::Key_F1), Action::kOther);
    faqMeunItem_ = addItem(help, "IDS_MENU_FAQ", {}, Action::kOther);
    ccsMeunItem_ = addItem(help, "IDS_MENU_CCS", {}, Action::kOther);
    help->addSeparator();
    aboutMeunItem_ = addItem(help, "IDS_MENU_ABOUT", {}, Action::kOther);
    aboutMeunItem_->setText(LocalizedString("IDS_MENU_ABOUT").arg(name));
    aboutMeunItem_->setMenuRole(QAction::AboutRole);

    connect(importTilesMeunItem_.data(), &QAction::triggered, editor,
            &IIEditingViewController::openTile);
    connect(actualSizeMenuItem_.data(), &QAction::triggered, editor,
            &IIEditingViewController::zoomActual);
    connect(fitinMeunItem_.data(), &QAction::triggered, editor, &IIEditingViewController::zoomFit);
    connect(zoomInMeunItem_.data(), &QAction::triggered, editor, &IIEditingViewController::zoomIn);
    connect(zoomOutMeunItem_.data(), &QAction::triggered, editor,
            &IIEditingViewController::zoomOut);
    connect(saveMeunItem_.data(), &QAction::triggered, editor, &IIEditingViewController::saveAs);
    connect(pageSetupMeunItem_.data(), &QAction::triggered, editor,
            &IIEditingViewController::printSetup);
    connect(printMeunItem_.data(), &QAction::triggered, editor, &IIEditingViewController::print);
    connect(quitMeunItem_.data(), &QAction::triggered, this, &QWidget::close);
    connect(onlineHelpMeunItem_.data(), &QAction::triggered, this, &IIMainWindow::menuHelp);
    connect(faqMeunItem_.data(), &QAction::triggered, this, &IIMainWindow::menuFAQ);
    connect(ccsMeunItem_.data(), &QAction::triggered, this, &IIMainWindow::menuCCS);
    connect(aboutMeunItem_.data(), &QAction::triggered, this, &IIMainWindow::menuAbout);

    QMenu *window = buildWindowItems(help);
    for (QMenu *menu : {file, view, window, help})
        connect(menu, &QMenu::aboutToShow, this, &IIMainWindow::validateMenuItems);
}

QMenu *IIMainWindow::buildWindowItems(QMenu *help) {
    const QString name = ApplicationName();
    auto *window = new QMenu(tr("&Window"), menuBar());
    menuBar()->insertMenu(help->menuAction(), window);
    hideMeunItem_ = addItem(window, "IDS_MENU_HIDE", {}, IIEditingViewController::Action::kOther);
    hideMeunItem_->setText(LocalizedString("IDS_MENU_HIDE").arg(name));
    connect(hideMeunItem_.data(), &QAction::triggered, this, &IIMainWindow::menuHide);

    // Kept out of every menu, so the menus' validation never enables them.
    auto unplaced = [this](const QString &title) {
        auto *item = new QAction(title, this);
        item->setEnabled(false);
        return item;
    };
    hideOthersMenuItem_ = unplaced(LocalizedString("IDS_MENU_HIDEOTHERS"));
    showAllMenuItem_ = unplaced(LocalizedString("IDS_MENU_SHOWALL"));
    importBackgroundMeunItem_ = unplaced(tr("Import Background…"));
    return window;
}

void IIMainWindow::menuHide() { showMinimized(); }

void IIMainWindow::validateMenuItems() {
    if (!editingViewController_) return;
    for (QMenu *menu : menuBar()->findChildren<QMenu *>()) {
        for (QAction *item : menu->actions()) {
            if (item->isSeparator()) continue;
            const auto action = static_cast<IIEditingViewController::Action>(item->data().toInt());
            item->setEnabled(editingViewController_->validateUserInterfaceItem(action));
        }
    }
}

int IIMainWindow::terminate() {
    return editingViewController_ ? editingViewController_->terminate()
                                   : IIAppDelegate::kTerminateNow;
}

void IIMainWindow::closeEvent(QCloseEvent *event) {
    // Closing the window is quitting: it asks the same question. A quit decided later by the
    // unsaved-work sheet refuses this close and closes the window again when the sheet says so.
    if (terminating_ ||
        IIAppDelegate::replyForAnswer(terminate()) == IIAppDelegate::kTerminateNow)
        event->accept();
    else
        event->ignore();
}

void IIMainWindow::replyToApplicationShouldTerminate(bool shouldTerminate) {
    if (!shouldTerminate) return;
    terminating_ = true;
    // The application quits with its last window.
    close();
}

bool IIMainWindow::askBeforeSessionEnds() {
    if (terminating_) return true;
    QEventLoop loop;
    bool decided = false, quit = false;
    const auto connection = connect(editingViewController_.data(),
                                    &IIEditingViewController::replyToApplicationShouldTerminate,
                                    &loop, [&](bool shouldTerminate) {
                                        decided = true;
                                        quit = shouldTerminate;
                                        loop.quit();
                                    });
    const auto answer = IIAppDelegate::replyForAnswer(terminate());
    if (answer == IIAppDelegate::kTerminateLater) {
        if (!decided) loop.exec();
    } else {
        quit = answer == IIAppDelegate::kTerminateNow;
    }
    disconnect(connection);
    return quit;
}

QUrl IIMainWindow::helpPageUrl(const QString &page) {
    const QDir programDir(QCoreApplication::applicationDirPath());
    for (const QString &folder : {QStringLiteral("help"), QStringLiteral("../share/tonefold/help")}) {
        const QFileInfo file(programDir.filePath(folder + QLatin1Char('/') + page));
        if (file.isFile()) return QUrl::fromLocalFile(file.canonicalFilePath());
    }
    return {};
}

void IIMainWindow::setUrlOpener(UrlOpener opener) { UrlOpenerSlot() = std::move(opener); }

void IIMainWindow::openHelpPage(const QString &page) {
    const QUrl url = helpPageUrl(page);
    const UrlOpener &opener = UrlOpenerSlot();
    if (!url.isEmpty() && (opener ? opener(url) : QDesktopServices::openUrl(url))) return;
    // Without a browser launcher nothing opens: the alert says where the page is instead.
    if (!editingViewController_) return;
    editingViewController_->showFailedWarning(
        url.isEmpty() ? LocalizedString("IDS_HELP_MISSING")
                      : LocalizedString("IDS_HELP_NO_BROWSER")
                            .arg(QDir::toNativeSeparators(url.toLocalFile())));
}

void IIMainWindow::menuHelp() { openHelpPage(QStringLiteral("help.html")); }
void IIMainWindow::menuFAQ() { openHelpPage(QStringLiteral("faq.html")); }
void IIMainWindow::menuCCS() { openHelpPage(QStringLiteral("support.html")); }

void IIMainWindow::menuAbout() {
    QMessageBox about(this);
    about.setWindowTitle(aboutMeunItem_ ? aboutMeunItem_->text() : ApplicationName());
    about.setText(QStringLiteral("<b>%1</b>").arg(ApplicationName()));
    about.setInformativeText(tr("Version %1").arg(QStringLiteral(TONEFOLD_VERSION)));
    const QIcon icon = QGuiApplication::windowIcon();
    if (!icon.isNull()) about.setIconPixmap(icon.pixmap(64, 64));
    about.exec();
}
