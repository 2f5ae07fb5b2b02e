// Background jobs under the waiting window. Each job gets the next number and the window is the
// newest job's, so that a late step of an older job never closes the window of a newer one. The
// work runs on the thread pool; the steps it sends run on the main thread (inside the window's
// modal loop) in the order they were sent, and only while the jobs' owner lives. Every job ends
// with a step that closes its own window.
#pragma once

#include <QObject>
#include <QPointer>
#include <QString>
#include <cstdint>
#include <functional>

#include "MMWaitingWindowController.h"

class QWidget;
class WaitingJobs;

// A running job as its work sees it. Copies may be sent to and used from any thread; close is
// for the main thread.
class WaitingJob {
public:
    WaitingJob(QPointer<WaitingJobs> jobs, uint64_t number);

    uint64_t number() const { return number_; }
    // Runs step on the main thread after the steps this thread has sent before; nothing once the
    // jobs have gone.
    void post(std::function<void()> step) const;
    // Closes this job's waiting window; a newer job's window stays.
    void close() const;

private:
    QPointer<WaitingJobs> jobs_;
    uint64_t number_;
};

class WaitingJobs : public QObject {
public:
    using Work = std::function<void(const WaitingJob &job)>;

    // The jobs belong to owner and go with it.
    explicit WaitingJobs(QObject *owner);

    // Opens the next job's waiting window (showing description unless it is empty), runs work
    // on the thread pool and holds host in the window's modal loop until a step closes the
    // window; returns then.
    void run(QWidget *host, const QString &description, Work work);
    // The window of the running job; null when none is up.
    MMWaitingWindowController *window() const { return window_.data(); }
    // Ends and closes the running job's window; nothing when none is up.
    void close();
    // The same for the window of one job only.
    void close(uint64_t job);

private:
    QPointer<MMWaitingWindowController> window_;
    // The number of the job whose window is up, and of the last job started.
    uint64_t windowJob_ = 0, lastJob_ = 0;
};
