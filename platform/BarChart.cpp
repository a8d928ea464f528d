#include "platform/BarChart.h"

#include <QCoreApplication>
#include <QLibrary>

namespace platform {

namespace {
// Beside the program in the build, or in lib/korvan beside bin when installed.
QStringList moduleCandidates() {
    const QString dir = QCoreApplication::applicationDirPath();
    return {dir + QStringLiteral("/../lib/korvan/korvan-charts"),
            dir + QStringLiteral("/lib/korvan/korvan-charts")};
}
} // namespace

std::unique_ptr<BarChart> makeBarChart(QString* error) {
    // Loaded once and never unloaded: the views it made live on.
    static MakeBarChartFunction make = nullptr;
    static QString failure;
    if (!make && failure.isEmpty()) {
        QStringList reasons;
        for (const QString& candidate : moduleCandidates()) {
            QLibrary module(candidate);
            if (!module.load()) {
                reasons << module.errorString();
                continue;
            }
            make = reinterpret_cast<MakeBarChartFunction>(module.resolve("korvanMakeBarChart"));
            if (make)
                break;
            reasons << module.errorString();
        }
        if (!make)
            failure = QStringLiteral("The chart module could not be loaded:\n") +
                      reasons.join(QLatin1Char('\n'));
    }
    if (!make) {
        if (error)
            *error = failure;
        return nullptr;
    }
    return std::unique_ptr<BarChart>(make());
}

} // namespace platform
