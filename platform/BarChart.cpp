#include "platform/BarChart.h"

#include <QCoreApplication>
#include <QHash>
#include <QLibrary>

namespace platform {

namespace {
// Beside the program in the build, or in lib/korvan beside bin when installed; or where
// KORVAN_CHART_MODULE says (a packager's own place, or none at all).
QStringList moduleCandidates() {
    const QString chosen = qEnvironmentVariable("KORVAN_CHART_MODULE");
    if (!chosen.isEmpty())
        return {chosen};
    const QString dir = QCoreApplication::applicationDirPath();
    return {dir + QStringLiteral("/../lib/korvan/korvan-charts"),
            dir + QStringLiteral("/lib/korvan/korvan-charts")};
}
} // namespace

std::unique_ptr<BarChart> makeBarChart(QString* error) {
    // Each module is loaded once and never unloaded: the views it made live on. A module
    // that could not be loaded is tried again with the next chart.
    static QHash<QString, MakeBarChartFunction> loaded;
    QStringList reasons;
    for (const QString& candidate : moduleCandidates()) {
        MakeBarChartFunction make = loaded.value(candidate);
        if (!make) {
            QLibrary module(candidate);
            if (module.load())
                make = reinterpret_cast<MakeBarChartFunction>(module.resolve("korvanMakeBarChart"));
            if (!make) {
                reasons << module.errorString();
                continue;
            }
            loaded.insert(candidate, make);
        }
        return std::unique_ptr<BarChart>(make());
    }
    if (error)
        *error = QStringLiteral("The chart cannot be shown: its module could not be loaded.\n") +
                 reasons.join(QLatin1Char('\n'));
    return nullptr;
}

} // namespace platform
