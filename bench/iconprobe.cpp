// Starts a tray program and reports, from outside it, when its icon is mapped into the
// XEmbed tray (the MapNotify of a window the tray took in, reparented away from the root)
// and when the program first drew into it (a DAMAGE event on that window): milliseconds from
// the fork, and the CPU time the program had used by the draw. The program keeps running.
// Prints its process id, the map, the draw and the CPU time, a line each.
// With ICONPROBE_VERBOSE set, every event on the way goes to stderr.
// Usage: iconprobe <timeout ms> <program> [arguments...]
#include <X11/Xlib.h>
#include <X11/extensions/Xdamage.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <dirent.h>
#include <fcntl.h>
#include <fstream>
#include <set>
#include <string>
#include <sys/select.h>
#include <unistd.h>

namespace {
// The X server paints the tray's background into the icon's window when the tray maps it, and
// the program draws the icon after that: the last drawing before a pause this long is the
// icon the user sees.
constexpr double kSettledMs = 300;

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

// The CPU time a process has had so far, every thread's, in ms (the scheduler's figures).
double cpuMs(pid_t pid) {
    const std::string folder = "/proc/" + std::to_string(pid) + "/task";
    DIR* tasks = opendir(folder.c_str());
    if (!tasks)
        return -1;
    double ns = 0;
    while (const dirent* entry = readdir(tasks)) {
        if (entry->d_name[0] == '.')
            continue;
        std::ifstream stat(folder + "/" + entry->d_name + "/schedstat");
        double onCpu = 0;
        if (stat >> onCpu)
            ns += onCpu;
    }
    closedir(tasks);
    return ns / 1e6;
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
    const bool verbose = std::getenv("ICONPROBE_VERBOSE") != nullptr;
    Display* display = XOpenDisplay(nullptr);
    if (!display) {
        std::fprintf(stderr, "iconprobe: no display\n");
        return 2;
    }
    XSetErrorHandler(ignoreErrors);
    int damageEvent = 0, damageError = 0;
    if (!XDamageQueryExtension(display, &damageEvent, &damageError)) {
        std::fprintf(stderr, "iconprobe: the X server has no DAMAGE extension\n");
        return 2;
    }
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
    const auto note = [&](const char* what, Window window) {
        if (verbose)
            std::fprintf(stderr, "%8.2f ms (clock %.3f)  %-10s 0x%lx\n", nowMs() - start, nowMs(),
                         what, window);
    };
    double mappedMs = -1, drawnMs = -1, drawnCpuMs = -1;
    Window icon = 0;
    const int fd = ConnectionNumber(display);
    for (;;) {
        while (XPending(display)) {
            XEvent event;
            XNextEvent(display, &event);
            if (event.type == CreateNotify) {
                // Watched for drawing from its creation on: the program may draw as soon as
                // the tray maps it, before this probe hears of the map.
                const Window created = event.xcreatewindow.window;
                note("created", created);
                XDamageCreate(display, created, XDamageReportNonEmpty);
                watchTree(display, created, known);
            } else if (event.type == damageEvent + XDamageNotify) {
                const auto& damage = reinterpret_cast<const XDamageNotifyEvent&>(event);
                note("drawn", damage.drawable);
                // Emptied, so that the next drawing is told as well.
                XDamageSubtract(display, damage.damage, None, None);
                if (damage.drawable == icon) {
                    drawnMs = nowMs() - start;
                    drawnCpuMs = cpuMs(pid);
                }
            } else if (event.type == ReparentNotify && event.xreparent.parent != root) {
                // The new parent may not be watched yet: the window tells of its own map,
                // and one mapped before that is seen at once.
                const Window window = event.xreparent.window;
                note("taken in", window);
                takenIn.insert(window);
                XSelectInput(display, window, StructureNotifyMask);
                XWindowAttributes attributes{};
                if (XGetWindowAttributes(display, window, &attributes) &&
                    attributes.map_state != IsUnmapped && mappedMs < 0) {
                    icon = window;
                    mappedMs = nowMs() - start;
                }
            } else if (event.type == MapNotify && takenIn.count(event.xmap.window) &&
                       mappedMs < 0) {
                icon = event.xmap.window;
                note("mapped", icon);
                mappedMs = nowMs() - start;
            }
        }
        // Mapped and drawn: the icon is final once it has been left alone for a while.
        const double now = nowMs() - start;
        if (mappedMs >= 0 && drawnMs >= 0 && now - drawnMs >= kSettledMs) {
            std::printf("%.1f\n%.1f\n%.2f\n", mappedMs, drawnMs, drawnCpuMs);
            return 0;
        }
        const double left =
            std::min(timeout - now, drawnMs >= 0 ? drawnMs + kSettledMs - now : 1e9);
        if (now >= timeout) {
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
