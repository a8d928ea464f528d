// Starts a tray program and reports, from outside it, when its icon is mapped into the
// XEmbed tray: the milliseconds from the fork to the MapNotify of a window the tray took in
// (reparented away from the root). The program keeps running; its process id is printed
// first.
// Usage: iconprobe <timeout ms> <program> [arguments...]
#include <X11/Xlib.h>

#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <fcntl.h>
#include <set>
#include <sys/select.h>
#include <unistd.h>

namespace {
double nowMs() {
    timespec t{};
    clock_gettime(CLOCK_MONOTONIC, &t);
    return t.tv_sec * 1e3 + t.tv_nsec / 1e6;
}

// Every window below root, so that a window mapped at any depth is seen.
void watchTree(Display* display, Window root, std::set<Window>& known) {
    XSelectInput(display, root, SubstructureNotifyMask);
    known.insert(root);
    Window parent = 0, top = 0, *children = nullptr;
    unsigned int count = 0;
    if (!XQueryTree(display, root, &top, &parent, &children, &count))
        return;
    for (unsigned int i = 0; i < count; ++i)
        watchTree(display, children[i], known);
    if (children)
        XFree(children);
}

int ignoreErrors(Display*, XErrorEvent*) {
    return 0;
}
} // namespace

int main(int argc, char** argv) {
    if (argc < 3) {
        std::fprintf(stderr, "usage: iconprobe <timeout ms> <program> [arguments...]\n");
        return 64;
    }
    const double timeout = std::atof(argv[1]);
    Display* display = XOpenDisplay(nullptr);
    if (!display) {
        std::fprintf(stderr, "iconprobe: no display\n");
        return 2;
    }
    XSetErrorHandler(ignoreErrors);
    if (!XGetSelectionOwner(display, XInternAtom(display, "_NET_SYSTEM_TRAY_S0", False))) {
        std::fprintf(stderr, "iconprobe: no tray\n");
        return 2;
    }
    // The tray's windows need not sit below its manager window: every window is watched.
    const Window root = DefaultRootWindow(display);
    std::set<Window> known, takenIn;
    watchTree(display, root, known);
    XSync(display, False);
    const double start = nowMs();
    const pid_t pid = fork();
    if (pid == 0) {
        // Its output must not hold the pipe of whoever reads this probe's.
        const int quiet = open("/dev/null", O_WRONLY);
        dup2(quiet, STDOUT_FILENO);
        dup2(quiet, STDERR_FILENO);
        execvp(argv[2], argv + 2);
        _exit(127);
    }
    std::printf("%d\n", static_cast<int>(pid));
    const int fd = ConnectionNumber(display);
    for (;;) {
        while (XPending(display)) {
            XEvent event;
            XNextEvent(display, &event);
            if (event.type == CreateNotify)
                watchTree(display, event.xcreatewindow.window, known);
            else if (event.type == ReparentNotify && event.xreparent.parent != root) {
                // The new parent may not be watched yet: the window tells of its own map,
                // and one mapped before that is seen at once.
                const Window icon = event.xreparent.window;
                takenIn.insert(icon);
                XSelectInput(display, icon, StructureNotifyMask);
                XWindowAttributes attributes{};
                if (XGetWindowAttributes(display, icon, &attributes) &&
                    attributes.map_state != IsUnmapped) {
                    std::printf("%.1f\n", nowMs() - start);
                    return 0;
                }
            } else if (event.type == MapNotify && takenIn.count(event.xmap.window)) {
                std::printf("%.1f\n", nowMs() - start);
                return 0;
            }
        }
        const double left = timeout - (nowMs() - start);
        if (left <= 0) {
            std::printf("timeout\n");
            return 1;
        }
        fd_set read;
        FD_ZERO(&read);
        FD_SET(fd, &read);
        timeval wait{static_cast<long>(left / 1000),
                     static_cast<long>(static_cast<long>(left) % 1000 * 1000)};
        select(fd + 1, &read, nullptr, nullptr, &wait);
    }
}
