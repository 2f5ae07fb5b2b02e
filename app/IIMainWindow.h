// The application's single window: the editing view as its content, the application's name as
// its title, and the menu bar. Every menu item is one action wired to the editing controller or
// to the window; the items that need a picture are enabled by the controller's
// validateUserInterfaceItem whenever a menu opens and whenever the picture changes.
#pragma once

#include <QAction>
#include <QMainWindow>
#include <QPointer>
#include <QUrl>
#include <functional>

#include "IIEditingViewController.h"

class IIMainWindow : public QMainWindow {
    Q_OBJECT
public:
    // Takes the editing controller (made when none is given) and embeds its view.
    explicit IIMainWindow(IIEditingViewController *controller = nullptr,
                          QWidget *parent = nullptr);

    IIEditingViewController *editingViewController() const { return editingViewController_; }

    QAction *aboutMeunItem() const { return aboutMeunItem_; }
    QAction *quitMeunItem() const { return quitMeunItem_; }
    QAction *importTilesMeunItem() const { return importTilesMeunItem_; }
    QAction *saveMeunItem() const { return saveMeunItem_; }
    QAction *pageSetupMeunItem() const { return pageSetupMeunItem_; }
    QAction *printMeunItem() const { return printMeunItem_; }
    QAction *actualSizeMenuItem() const { return actualSizeMenuItem_; }
    QAction *fitinMeunItem() const { return fitinMeunItem_; }
    QAction *zoomInMeunItem() const { return zoomInMeunItem_; }
    QAction *zoomOutMeunItem() const { return zoomOutMeunItem_; }
    QAction *onlineHelpMeunItem() const { return onlineHelpMeunItem_; }
    QAction *faqMeunItem() const { return faqMeunItem_; }
    QAction *ccsMeunItem() const { return ccsMeunItem_; }
    // Hide minimises the window: the desktop's counterpart of hiding the application. Hide
    // Others and Show All act on other applications' windows, which on a Linux desktop belong
    // to the window manager alone (Wayland gives an application no hold on them), and there is
    // no background to import: these three are made with their titles but stay disabled and
    // out of the menus.
    QAction *hideMeunItem() const { return hideMeunItem_; }
    QAction *hideOthersMenuItem() const { return hideOthersMenuItem_; }
    QAction *showAllMenuItem() const { return showAllMenuItem_; }
    QAction *importBackgroundMeunItem() const { return importBackgroundMeunItem_; }

    // A copy of the shown picture; null without one.
    QImage displayImage() const {
        return editingViewController_ ? editingViewController_->displayImage() : QImage();
    }
    // Whether the application may quit now: 0 no, 1 yes, 2 later (the unsaved-work sheet
    // decides, then the window closes itself when the answer is to quit).
    int terminate();
    // Asked when the desktop session ends: the same question, waited for; false keeps the
    // session from ending.
    bool askBeforeSessionEnds();
    // Sets every menu item's enabled state from the editing controller.
    void validateMenuItems();

    // The help pages shipped with the application, opened in the desktop's browser; when none
    // opens, an alert names the page's file.
    void menuHelp();
    void menuFAQ();
    void menuCCS();
    void menuAbout();
    // Minimises the window.
    void menuHide();
    // The file URL of a shipped help page ("help.html", "faq.html", "support.html"): beside the
    // program under help/, else under ../share/tonefold/help/; empty when neither holds it.
    static QUrl helpPageUrl(const QString &page);
    // What opens a help page, false when nothing could; QDesktopServices::openUrl while empty.
    using UrlOpener = std::function<bool(const QUrl &)>;
    static void setUrlOpener(UrlOpener opener);

protected:
    void closeEvent(QCloseEvent *event) override;

private:
    QAction *addItem(QMenu *menu, const char *key, const QKeySequence &keys,
                     IIEditingViewController::Action action);
    void buildMenus();
    // The Window menu (Hide) before the Help menu, and the items kept out of the menus.
    QMenu *buildWindowItems(QMenu *help);
    void openHelpPage(const QString &page);

    void replyToApplicationShouldTerminate(bool shouldTerminate);

    QPointer<IIEditingViewController> editingViewController_;
    // Set once quitting has been decided, so that closing no longer asks.
    bool terminating_ = false;
    QPointer<QAction> aboutMeunItem_, quitMeunItem_, importTilesMeunItem_, saveMeunItem_,
        pageSetupMeunItem_, printMeunItem_, actualSizeMenuItem_, fitinMeunItem_, zoomInMeunItem_,
        zoomOutMeunItem_, onlineHelpMeunItem_, faqMeunItem_, ccsMeunItem_;
    QPointer<QAction> hideMeunItem_, hideOthersMenuItem_, showAllMenuItem_,
        importBackgroundMeunItem_;
};
