#pragma once

#include <QEvent>

// A window whose controls are made when it is first polished, just before it first shows
// (or when something asks for them sooner with ensurePolished()), not when it is made: every
// window exists from the start, but a start that opens none of them makes nothing they show
// and loads no fonts for them.
template <class Window> class Deferred : public Window {
public:
    using Window::Window;

protected:
    // Makes the controls; called once.
    virtual void buildControls() = 0;
    bool controlsBuilt() const { return built_; }

    bool event(QEvent* event) override {
        // Every new widget asks to be polished on the first turn of the event loop: not
        // this one, which is polished when it first shows.
        if (event->type() == QEvent::PolishRequest && !built_)
            return true;
        if (event->type() == QEvent::Polish && !built_) {
            built_ = true;
            buildControls();
        }
        return Window::event(event);
    }

private:
    bool built_ = false;
};
