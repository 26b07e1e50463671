// The report workers' hand-over to the user-interface thread: a step is
// queued to the Qt event loop and the worker waits until it has run, or
// until the program stops taking steps.
#pragma once

#include <QObject>
#include <QThread>
#include <memory>

#include "mail/ReportService.h"

namespace quorvane {

class QtUiHandOver final : public UiHandOver {
public:
    // context lives on the user-interface thread; the steps run in its
    // thread's event loop. It must outlive the hand-over, or Close() must
    // have been called before it goes.
    explicit QtUiHandOver(QObject* context);
    ~QtUiHandOver() override;

    // Called from a worker: queues the step and waits. Called on the
    // user-interface thread itself: runs the step at once.
    void Run(std::function<void()> step) override;
    // User-interface thread: steps still queued are dropped and every
    // waiting worker returns at once; later calls of Run return at once.
    // The end of the application's event loop closes it too.
    void Close() override;

private:
    struct State;
    static void Close(State& state);
    QObject* context_;
    QThread* uiThread_;
    std::shared_ptr<State> state_;
};

} // namespace quorvane
