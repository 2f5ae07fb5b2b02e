// Warning sheets, the spinner, the borderless window and the waiting window's modal loop.
#include <gtest/gtest.h>

#include <QKeyEvent>
#include <QTest>
#include <QTimer>
#include <cmath>
#include <stdexcept>
#include <vector>

#include "AMIndeterminateProgressIndicatorCell.h"
#include "IIWarningMessageController.h"
#include "MMBordlessWindow.h"
#include "MMWaitingWindowController.h"
#include "dispatch.h"
#include "localized_string.h"
#include "sheet.h"

namespace {

TEST(WarningSheet, ButtonsShowByTitleAndEndWithTheirCodes) {
    struct Case {
        QString ok, cancel, other;
        const char *press;  // "ok", "cancel", "other" or "escape"
        int code;
        bool okShown, cancelShown, otherShown;
    };
    const Case cases[] = {
        {"OK", "", "", "ok", 1, true, false, false},
        {"OK", "Cancel", "Don't Save", "cancel", 0, true, true, true},
        {"OK", "Cancel", "Don't Save", "other", -1, true, true, true},
        {"OK", "Cancel", "", "escape", 0, true, true, false},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.press);
        QWidget window;
        window.show();
        IIWarningMessageController sheet;
        sheet.warningMessage = "message";
        sheet.okMessage = c.ok;
        sheet.cancelMessage = c.cancel;
        sheet.extendMessage = c.other;
        std::vector<int> codes;
        BeginSheet(sheet.dialog(), &window, [&](int code) { codes.push_back(code); });
        EXPECT_EQ(sheet.dialog()->windowModality(), Qt::WindowModal);
        EXPECT_EQ(sheet.okButn()->isVisible(), c.okShown);
        EXPECT_EQ(sheet.cancelButn()->isVisible(), c.cancelShown);
        EXPECT_EQ(sheet.otherButn()->isVisible(), c.otherShown);
        EXPECT_EQ(sheet.messageField()->text(), "message");
        EXPECT_EQ(sheet.commentField()->text(), "");  // no prompt shows as empty
        const std::string press = c.press;
        if (press == "escape")
            QTest::keyClick(sheet.dialog(), Qt::Key_Escape);
        else
            QTest::mouseClick(press == "ok"       ? sheet.okButn()
                              : press == "cancel" ? sheet.cancelButn()
                                                  : sheet.otherButn(),
                              Qt::LeftButton);
        EXPECT_EQ(codes, std::vector<int>{c.code});
        EXPECT_FALSE(sheet.dialog()->isVisible());
    }
}

TEST(Spinner, PhaseIsClampedAndTwelveStepsMakeATurn) {
    AMIndeterminateProgressIndicatorCell cell;
    cell.setDoubleValue(1.5);
    EXPECT_EQ(cell.doubleValue(), 1.0);
    cell.setDoubleValue(-0.2);
    EXPECT_EQ(cell.doubleValue(), 0.0);
    EXPECT_DOUBLE_EQ(cell.animationDelay(), 1.0 / 12);
    EXPECT_THROW(cell.setColor(QColor(255, 0, 0, 200)), std::logic_error);
    cell.setColor(QColor(255, 0, 0));
    EXPECT_EQ(cell.redComponent(), 1.0);
    EXPECT_EQ(cell.greenComponent(), 0.0);

    MMWaitingWindowController waiting;
    waiting.window();
    AMIndeterminateProgressIndicatorCell *spinner = waiting.waitingIndicator()->cell();
    ASSERT_TRUE(spinner);
    EXPECT_TRUE(spinner->isSpinning());
    waiting.animate();
    EXPECT_NEAR(spinner->doubleValue(), 1.0 / 12, 1e-12);
    for (int i = 1; i < 12; ++i) waiting.animate();
    const double phase = spinner->doubleValue();
    EXPECT_LT(std::min(phase, 1 - phase), 1e-9);
}

TEST(Spinner, GeometryOfA20By40Frame) {
    const SpinnerGeometry g =
        ComputeSpinnerGeometry(QRectF(3, 5, 20, 40), 0, true, true, /*flipped=*/true);
    ASSERT_TRUE(g.visible);
    EXPECT_FLOAT_EQ(g.size, 20);
    EXPECT_FLOAT_EQ(g.innerRadius, 5.4f);
    EXPECT_FLOAT_EQ(g.outerRadius, 9.6f);
    EXPECT_FLOAT_EQ(g.lineWidth, 1.6f);
    EXPECT_EQ(g.centre, QPointF(13, 25));
    const float alphas[12] = {1, 0.75f, 0.6464466f, 0.5669873f, 0.5f, 0.4409830f,
                              0.3876276f, 0.3385622f, 0.2928932f, 0.25f, 0.2094306f, 0.1708438f};
    for (int n = 0; n < 12; ++n) EXPECT_NEAR(g.spokes[n].alpha, alphas[n], 1e-6) << n;
    // The head spoke points straight up; the next one trails it counter-clockwise.
    EXPECT_NEAR(g.spokes[0].to.x(), 13, 1e-5);
    EXPECT_NEAR(g.spokes[0].to.y(), 25 - 9.6, 1e-5);
    EXPECT_LT(g.spokes[1].to.x(), 13);
    // Large frames use the thinner ring.
    const SpinnerGeometry large = ComputeSpinnerGeometry(QRectF(0, 0, 40, 40), 0, true, true, true);
    EXPECT_FLOAT_EQ(large.innerRadius, 40 * 0.23f);
    EXPECT_FLOAT_EQ(large.outerRadius, 40 * 0.38f);
    EXPECT_FALSE(ComputeSpinnerGeometry(QRectF(0, 0, 20, 40), 0, false, false, true).visible);
}

TEST(Spinner, HeadAdvancesClockwiseAndLooksTheSameUnflipped) {
    const QRectF frame(0, 0, 20, 40);
    for (double phase : {0.0, 1.0 / 12, 0.5, 0.75}) {
        SCOPED_TRACE(phase);
        const SpinnerGeometry down = ComputeSpinnerGeometry(frame, phase, true, true, true);
        const SpinnerGeometry up = ComputeSpinnerGeometry(frame, phase, true, true, false);
        for (int n = 0; n < 12; ++n) {
            // y-up coordinates mirrored into y-down ones.
            EXPECT_NEAR(up.spokes[n].to.x(), down.spokes[n].to.x(), 1e-4);
            EXPECT_NEAR(40 - up.spokes[n].to.y(), down.spokes[n].to.y(), 1e-4);
        }
    }
    // A twelfth of a turn moves the head from the top towards the right.
    const SpinnerGeometry step = ComputeSpinnerGeometry(frame, 1.0 / 12, true, true, true);
    EXPECT_GT(step.spokes[0].to.x(), 10);
    EXPECT_LT(step.spokes[0].to.y(), 20);
}

struct CancelCounter : QObject {
    Q_OBJECT
public:
    int cancels = 0;
    Q_INVOKABLE void cancel() { ++cancels; }
};

TEST(BordlessWindow, SwallowsKeysAndSendsCancelOnEscape) {
    MMBordlessWindow window(nullptr, Qt::Window);
    EXPECT_TRUE(window.windowFlags() & Qt::FramelessWindowHint);
    EXPECT_EQ(window.windowFlags() & Qt::WindowType_Mask, Qt::Tool);
    QObject plain;
    window.setWindowController(&plain);
    for (int key : {int(Qt::Key_Escape), int(Qt::Key_A)}) {
        QKeyEvent press(QEvent::KeyPress, key, Qt::NoModifier);
        press.ignore();
        QCoreApplication::sendEvent(&window, &press);
        EXPECT_TRUE(press.isAccepted()) << key;
    }
    CancelCounter counter;
    window.setWindowController(&counter);
    QTest::keyClick(&window, Qt::Key_A);
    QTest::keyClick(&window, Qt::Key_Escape);
    EXPECT_EQ(counter.cancels, 1);
}

TEST(BordlessWindow, CentresOnTheReference) {
    EXPECT_EQ(CenteredOrigin(QRectF(100, 50, 800, 600), QSizeF(200, 100)), QPointF(400, 300));
    EXPECT_EQ(CenteredOrigin(QRectF(), QSizeF(200, 100)), QPointF(-100, -50));
}

TEST(WaitingWindow, CancelReachesTheTargetOnlyWhenBothAreSet) {
    MMWaitingWindowController waiting;
    CancelCounter counter;
    waiting.cancel();
    waiting.setCancelAction("cancel", &counter);
    QTest::keyClick(waiting.window(), Qt::Key_Escape);
    EXPECT_EQ(counter.cancels, 1);
    waiting.setCancelAction(nullptr, nullptr);
    waiting.cancel();
    EXPECT_EQ(counter.cancels, 1);
}

TEST(WaitingWindow, BackgroundStepsArriveInOrderInsideItsLoopAndTheLastEndsIt) {
    QWidget mainWindow;
    mainWindow.resize(640, 480);
    mainWindow.show();
    MMWaitingWindowController waiting;
    waiting.setWaitingDesc(LocalizedString("IDS_LOADING"));
    std::vector<int> arrived;
    std::vector<bool> insideLoop;
    bool timedOut = false;
    QTimer::singleShot(10000, &waiting, [&] {
        timedOut = true;
        waiting.endAnimation();
    });
    DispatchBackground([&] {
        for (int step = 1; step <= 5; ++step) {
            DispatchMain([&, step] {
                arrived.push_back(step);
                insideLoop.push_back(waiting.isAnimating());
                if (step < 5) return;
                for (int twice = 0; twice < 2; ++twice) {  // closing twice is harmless
                    waiting.endAnimation();
                    waiting.window()->close();
                }
            });
        }
    });
    waiting.startAnimation(&mainWindow);
    EXPECT_FALSE(timedOut);
    EXPECT_EQ(arrived, (std::vector<int>{1, 2, 3, 4, 5}));
    EXPECT_EQ(insideLoop, std::vector<bool>(5, true));
    EXPECT_FALSE(waiting.isAnimating());
    EXPECT_FALSE(waiting.animationTimer());
    EXPECT_FALSE(waiting.window()->isVisible());
    EXPECT_EQ(waiting.window()->windowModality(), Qt::ApplicationModal);
    EXPECT_EQ(waiting.waitingLabel()->text(), LocalizedString("IDS_LOADING"));
    waiting.endAnimation();
}

}  // namespace

#include "sheets_test.moc"
