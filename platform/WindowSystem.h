#pragma once

class QWidget;

namespace platform {

// What the display server lets the program do with its own windows.
class WindowSystem {
public:
    virtual ~WindowSystem() = default;
    // Whether the program may take its window back out of the task bar (minimised) and in
    // front of others. X11 lets it; Wayland leaves both to the user, and a window there
    // comes in front only when it is mapped anew.
    virtual bool programRestoresWindows() const = 0;
};

// The display server Qt runs on, told by the name of its platform plug-in.
class QtWindowSystem : public WindowSystem {
public:
    bool programRestoresWindows() const override;
};

// Shows a top-level window that may be hidden, minimised or behind other programs' windows,
// and brings it in front as far as the display server lets a program.
void bringToFront(QWidget* window);

} // namespace platform
