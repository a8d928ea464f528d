#include "app/CommandLine.h"
#include "app/Startup.h"

#include <QApplication>

int main(int argc, char* argv[]) {
    // Client commands and --help answer without opening a window.
    const int clientResult = korvan::runCommandLine(argc, argv);
    if (clientResult >= 0)
        return clientResult;
    QApplication app(argc, argv);
    return korvan::run(app);
}
