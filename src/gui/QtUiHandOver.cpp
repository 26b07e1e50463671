#include "gui/QtUiHandOver.h"

#include <QCoreApplication>
#include <QMetaObject>
#include <QThread>
#include <condition_variable>
#include <mutex>

namespace quorvane {

struct QtUiHandOver::State {
    std::mutex Mutex;
    std::condition_variable Changed;
    bool Closed = false;
};

QtUiHandOver::QtUiHandOver(QObject* context)
    : context_(context), uiThread_(context->thread()), state_(std::make_shared<State>()) {
    // Once the event loop has ended no step runs any more: the workers are
    // let go instead of waiting for it.
    if (QCoreApplication* app = QCoreApplication::instance())
        QObject::connect(app, &QCoreApplication::aboutToQuit, context_,
                         [state = state_] { Close(*state); });
}

QtUiHandOver::~QtUiHandOver() {
    Close();
}

void QtUiHandOver::Run(std::function<void()> step) {
    std::shared_ptr<State> state = state_;
    std::unique_lock lock(state->Mutex);
    if (state->Closed)
        return;
    if (QThread::currentThread() == uiThread_) {
        lock.unlock();
        step();
        return;
    }
    // Posted under the lock: Close() runs before the context goes, so the
    // context is alive here.
    auto done = std::make_shared<bool>(false);
    QMetaObject::invokeMethod(
        context_,
        [state, done, step = std::move(step)] {
            {
                std::lock_guard check(state->Mutex);
                if (state->Closed)
                    return;
            }
            // Closed changes only on this thread, so it stays false while
            // the step runs.
            step();
            std::lock_guard finished(state->Mutex);
            *done = true;
            state->Changed.notify_all();
        },
        Qt::QueuedConnection);
    state->Changed.wait(lock, [&] { return *done || state->Closed; });
}

void QtUiHandOver::Close(State& state) {
    std::lock_guard lock(state.Mutex);
    state.Closed = true;
    state.Changed.notify_all();
}

void QtUiHandOver::Close() {
    Close(*state_);
}

} // namespace quorvane
