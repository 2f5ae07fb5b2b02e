// Background jobs and the main-thread steps they send.
#pragma once

#include <functional>

// Runs job on Qt's global thread pool.
void DispatchBackground(std::function<void()> job);

// Runs step on the main thread from its event loop (also from a nested loop such as the waiting
// window's). Steps posted from one thread run in the order they were posted.
void DispatchMain(std::function<void()> step);
