// The open panel: exactly three photos reach the handler; other counts keep it open under an
// alert; cancelling calls nothing.
#include <gtest/gtest.h>

#include <QApplication>
#include <QDialogButtonBox>
#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QMessageBox>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>

#include "CBHDROpenController.h"
#include "localized_string.h"
#include "support/photo_fixtures.h"

namespace {

struct PanelRun {
    QWidget window;
    CBHDROpenController controller;
    int calls = 0;
    QList<QUrl> urls;
    std::optional<HdrError> error;
    QTemporaryDir dir;

    PanelRun() {
        window.resize(800, 600);
        window.show();
        QImage photo(32, 32, QImage::Format_RGB32);
        photo.fill(Qt::gray);
        for (const char *name : {"a.jpg", "b.jpg", "c.jpg", "d.jpg"})
            fixtures::WriteFile(dir.filePath(name), fixtures::EncodeJpeg(photo));
        controller.open(&window, [this](const QList<QUrl> &chosen,
                                        const std::optional<HdrError> &failure) {
            ++calls;
            urls = chosen;
            error = failure;
        });
        controller.panel()->setDirectory(dir.path());
    }

    void Choose(const QStringList &names) {
        QStringList quoted;
        for (const QString &name : names) quoted << '"' + name + '"';
        controller.panel()->findChild<QLineEdit *>("fileNameEdit")->setText(quoted.join(' '));
    }

    QPushButton *Button(QDialogButtonBox::StandardButton which) {
        return controller.panel()->findChild<QDialogButtonBox *>("buttonBox")->button(which);
    }
};

TEST(OpenPanel, IsAWindowModalSheetWithItsMessageAndPhotoTypes) {
    PanelRun run;
    CBHDROpenPanel *panel = run.controller.panel();
    ASSERT_TRUE(panel);
    EXPECT_TRUE(panel->isVisible());
    EXPECT_EQ(panel->windowModality(), Qt::WindowModal);
    EXPECT_EQ(panel->fileMode(), QFileDialog::ExistingFiles);
    EXPECT_EQ(panel->findChild<QLabel *>("panelMessage")->text(), LocalizedString("IDS_MANY_FILES"));
    const QString filter = panel->nameFilters().join(' ');
    for (const char *pattern : {"*.jpg", "*.JPG", "*.jpeg", "*.cr2", "*.nef", "*.dng"})
        EXPECT_TRUE(filter.contains(QLatin1String(pattern))) << pattern;
    EXPECT_FALSE(filter.contains("*.png"));
    QTest::mouseClick(run.Button(QDialogButtonBox::Cancel), Qt::LeftButton);
}

TEST(OpenPanel, OtherThanThreeFilesKeepItOpenUnderAnAlert) {
    for (const QStringList &names : {QStringList{"a.jpg", "b.jpg"},
                                     QStringList{"a.jpg", "b.jpg", "c.jpg", "d.jpg"}}) {
        SCOPED_TRACE(names.size());
        PanelRun run;
        run.Choose(names);
        QTest::mouseClick(run.Button(QDialogButtonBox::Open), Qt::LeftButton);
        CBHDROpenPanel *panel = run.controller.panel();
        ASSERT_TRUE(panel);
        EXPECT_TRUE(panel->isVisible());
        auto *alert = panel->findChild<QMessageBox *>("tooManyAlert");
        ASSERT_TRUE(alert);
        EXPECT_TRUE(alert->isVisible());
        EXPECT_EQ(alert->windowModality(), Qt::WindowModal);
        EXPECT_EQ(alert->text(), LocalizedString("IDS_TOO_MANY_ERROR"));
        ASSERT_EQ(alert->buttons().size(), 1);  // only OK, no empty second button
        EXPECT_EQ(alert->buttons().front()->text(), LocalizedString("IDS_OK"));
        QTest::mouseClick(alert->buttons().front(), Qt::LeftButton);
        EXPECT_FALSE(alert->isVisible());
        EXPECT_TRUE(panel->isVisible());
        EXPECT_EQ(run.calls, 0);
        QTest::mouseClick(run.Button(QDialogButtonBox::Cancel), Qt::LeftButton);
        EXPECT_EQ(run.calls, 0);
    }
}

TEST(OpenPanel, ThreeFilesReachTheHandlerAndCancelCallsNothing) {
    PanelRun run;
    run.Choose({"a.jpg", "b.jpg", "c.jpg"});
    QTest::mouseClick(run.Button(QDialogButtonBox::Open), Qt::LeftButton);
    ASSERT_EQ(run.calls, 1);
    EXPECT_FALSE(run.error.has_value());
    ASSERT_EQ(run.urls.size(), 3);
    EXPECT_EQ(run.urls[0].toLocalFile(), run.dir.filePath("a.jpg"));
    EXPECT_EQ(run.urls[2].toLocalFile(), run.dir.filePath("c.jpg"));

    PanelRun cancelled;
    cancelled.Choose({"a.jpg", "b.jpg", "c.jpg"});
    QTest::keyClick(cancelled.controller.panel(), Qt::Key_Escape);
    EXPECT_EQ(cancelled.calls, 0);
}

// Typing a folder's name, or picking a folder in the list, and pressing Return enters the folder
// as in any file dialog, with no alert.
TEST(OpenPanel, ReturnOnAFolderEntersIt) {
    for (bool typed : {true, false}) {
        SCOPED_TRACE(typed ? "typed" : "picked");
        PanelRun run;
        ASSERT_TRUE(QDir(run.dir.path()).mkdir("inner"));
        CBHDROpenPanel *panel = run.controller.panel();
        auto *name = panel->findChild<QLineEdit *>("fileNameEdit");
        if (typed) {
            name->setFocus();
            QTest::keyClicks(name, "inner");
        } else {
            auto *list = panel->findChild<QListView *>("listView");
            ASSERT_TRUE(QTest::qWaitFor([&] {
                return list->model()->rowCount(list->rootIndex()) == 5;
            }));
            QModelIndex folder;
            for (int row = 0; row < 5; ++row) {
                const QModelIndex index = list->model()->index(row, 0, list->rootIndex());
                if (index.data().toString() == QStringLiteral("inner")) folder = index;
            }
            ASSERT_TRUE(folder.isValid());
            list->setFocus();
            list->selectionModel()->setCurrentIndex(folder, QItemSelectionModel::ClearAndSelect |
                                                                QItemSelectionModel::Rows);
        }
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
        EXPECT_FALSE(panel->findChild<QMessageBox *>("tooManyAlert"));
        EXPECT_TRUE(panel->isVisible());
        EXPECT_EQ(QDir(panel->directory()).dirName(), QStringLiteral("inner"));
        EXPECT_EQ(run.calls, 0);
        QTest::mouseClick(run.Button(QDialogButtonBox::Cancel), Qt::LeftButton);
    }
}

// Three photos typed with their full paths, in another folder than the panel's, one of them with
// a name that the panel's folder also holds.
TEST(OpenPanel, ThreeFullPathsTypedElsewhereAreChosen) {
    for (bool typed : {true, false}) {
        SCOPED_TRACE(typed ? "typed" : "set");
        PanelRun run;
        QTemporaryDir other;
        QStringList paths;
        QImage photo(32, 32, QImage::Format_RGB32);
        photo.fill(Qt::gray);
        for (const char *name : {"a.jpg", "y.jpg", "z.jpg"}) {
            paths << QDir(other.path()).filePath(QString::fromLatin1(name));
            ASSERT_TRUE(fixtures::WriteFile(paths.last(), fixtures::EncodeJpeg(photo)));
        }
        auto *name = run.controller.panel()->findChild<QLineEdit *>("fileNameEdit");
        if (typed) {
            run.controller.panel()->activateWindow();
            EXPECT_TRUE(QTest::qWaitForWindowActive(run.controller.panel()));
            name->setFocus();
            QTest::keyClicks(name, '"' + paths.join("\" \"") + '"');
        } else {
            run.Choose(paths);
        }
        QTest::mouseClick(run.Button(QDialogButtonBox::Open), Qt::LeftButton);
        ASSERT_TRUE(QTest::qWaitFor([&] { return run.calls == 1; }));
        EXPECT_FALSE(run.error.has_value());
        ASSERT_EQ(run.urls.size(), 3);
        for (int i = 0; i < 3; ++i) EXPECT_EQ(run.urls[i].toLocalFile(), paths[i]);
    }
}

}  // namespace
