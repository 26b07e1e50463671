// A secondary window made when something first uses it: the program starts
// with its tray icons, and a window nobody opens costs nothing. Reads like
// the pointer it replaces (->, *, a test for null); Made() looks without
// making.
#pragma once

#include <QPointer>
#include <functional>

namespace quorvane {

template <typename Window> class LazyWindow {
public:
    explicit LazyWindow(std::function<Window*()> make) : make_(std::move(make)) {}

    // Makes the window on the first call. Once made, a window that was
    // deleted stays gone (nullptr): it is not made again.
    Window* Get() const {
        if (!tried_) {
            tried_ = true;
            window_ = make_();
        }
        return window_;
    }
    // The window when it was made and still lives, else nullptr.
    Window* Made() const { return window_; }

    Window* operator->() const { return Get(); }
    Window& operator*() const { return *Get(); }
    operator Window*() const { return Get(); }

private:
    // Making is no change a reader of the pointer sees.
    std::function<Window*()> make_;
    mutable QPointer<Window> window_;
    mutable bool tried_ = false;
};

} // namespace quorvane
