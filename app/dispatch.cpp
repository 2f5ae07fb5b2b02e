#include "dispatch.h"

#include <QCoreApplication>
#include <QMetaObject>
#include <QThreadPool>

void DispatchBackground(std::function<void()> job) {
    QThreadPool::globalInstance()->start(std::move(job));
}

void DispatchMain(std::function<void()> step) {
    // A queued call to the application object is posted to the main thread's event queue, which
    // delivers posted events first in, first out.
    QMetaObject::invokeMethod(QCoreApplication::instance(), std::move(step), Qt::QueuedConnection);
}
