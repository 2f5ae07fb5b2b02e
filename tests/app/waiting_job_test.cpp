// The waiting jobs: work off the main thread, its steps on the main thread inside the job's
// waiting window, the window closed by the job's end, and the window of a newer job kept from
// the steps of an older one.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QTest>
#include <QThread>
#include <QWidget>
#include <memory>
#include <optional>
#include <vector>

#include "waiting_job.h"

namespace {

class WaitingJobsTest : public ::testing::Test {
protected:
    void SetUp() override {
        host.resize(640, 480);
        host.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&host));
    }

    QWidget host;
    QObject owner;
};

TEST_F(WaitingJobsTest, StepsRunOnTheMainThreadUnderTheWindowAndTheJobsEndClosesIt) {
    WaitingJobs jobs(&owner);
    QThread *const main = QThread::currentThread();
    bool workOffMain = false;
    std::vector<int> steps;
    bool allUnderTheWindow = true;
    jobs.run(&host, QStringLiteral("Working"), [&](const WaitingJob &job) {
        workOffMain = QThread::currentThread() != main;
        for (int step = 1; step <= 3; ++step)
            job.post([&, step] {
                steps.push_back(step);
                MMWaitingWindowController *window = jobs.window();
                allUnderTheWindow = allUnderTheWindow && QThread::currentThread() == main &&
                                    window && window->isAnimating() &&
                                    window->window()->isVisible() &&
                                    window->waitingDescriptor() == QStringLiteral("Working");
            });
    });
    EXPECT_TRUE(workOffMain);
    EXPECT_EQ(steps, (std::vector<int>{1, 2, 3}));
    EXPECT_TRUE(allUnderTheWindow);
    EXPECT_FALSE(jobs.window());
}

TEST_F(WaitingJobsTest, AStepOfAnOlderJobLeavesTheNewerJobsWindowUp) {
    WaitingJobs jobs(&owner);
    std::optional<WaitingJob> older;
    jobs.run(&host, {}, [&](const WaitingJob &job) { older = job; });
    ASSERT_TRUE(older);
    bool newerStayedUp = false;
    jobs.run(&host, {}, [&](const WaitingJob &job) {
        EXPECT_GT(job.number(), older->number());
        job.post([&] {
            older->close();
            newerStayedUp = jobs.window() && jobs.window()->isAnimating();
        });
    });
    EXPECT_TRUE(newerStayedUp);
    EXPECT_FALSE(jobs.window());
}

TEST_F(WaitingJobsTest, StepsSentAfterTheJobsHaveGoneDoNotRun) {
    auto jobs = std::make_unique<WaitingJobs>(&owner);
    std::optional<WaitingJob> job;
    jobs->run(&host, {}, [&](const WaitingJob &running) { job = running; });
    ASSERT_TRUE(job);
    jobs.reset();
    bool ran = false;
    job->post([&] { ran = true; });
    job->close();
    QCoreApplication::processEvents();
    QCoreApplication::sendPostedEvents();
    EXPECT_FALSE(ran);
}

}  // namespace
