#include "waiting_job.h"

#include <utility>

#include "dispatch.h"

WaitingJob::WaitingJob(QPointer<WaitingJobs> jobs, uint64_t number)
    : jobs_(std::move(jobs)), number_(number) {}

void WaitingJob::post(std::function<void()> step) const {
    DispatchMain([jobs = jobs_, step = std::move(step)] {
        if (jobs) step();
    });
}

void WaitingJob::close() const {
    if (jobs_) jobs_->close(number_);
}

WaitingJobs::WaitingJobs(QObject *owner) : QObject(owner) {}

void WaitingJobs::run(QWidget *host, const QString &description, Work work) {
    // A window left by an earlier job (none should be) goes first.
    close();
    auto *waiting = new MMWaitingWindowController(this);
    window_ = waiting;
    windowJob_ = ++lastJob_;
    if (!description.isEmpty()) waiting->setWaitingDesc(description);
    const WaitingJob job(this, windowJob_);
    DispatchBackground([job, work = std::move(work)] {
        work(job);
        // Every job ends by closing its waiting window, whatever happened before.
        job.post([job] { job.close(); });
    });
    // The job's steps may have closed its window already.
    if (job.number() != windowJob_ || !window_) return;
    window_->startAnimation(host);
}

void WaitingJobs::close(uint64_t job) {
    if (job == windowJob_) close();
}

void WaitingJobs::close() {
    MMWaitingWindowController *waiting = window_.data();
    if (!waiting) return;
    window_.clear();
    windowJob_ = 0;
    waiting->setCancelAction(nullptr, nullptr);
    waiting->endAnimation();
    if (waiting->isWindowLoaded()) waiting->window()->close();
    waiting->deleteLater();
}
