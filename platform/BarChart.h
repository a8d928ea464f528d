#pragma once

#include <QColor>
#include <QList>
#include <QString>
#include <QStringList>
#include <algorithm>
#include <memory>

class QWidget;

namespace platform {

// Stacked bars, one set per series, with a legend and a value axis.
struct StackedBars {
    struct Set {
        QString name;
        QList<double> values; // one per category
        QColor color;         // invalid: the chart's own
    };
    QString title;
    QString valueTitle;
    QStringList categories;
    QList<Set> sets;

    // The height of the highest stack.
    double highest() const {
        double top = 0;
        for (qsizetype c = 0; c < categories.size(); ++c) {
            double stack = 0;
            for (const Set& s : sets)
                stack += s.values.value(c);
            top = std::max(top, stack);
        }
        return top;
    }
};

// A chart view that draws stacked bars. Where the categories are too many for their labels
// to be read, only every so many is labelled; where the view is low, the plot gets the room
// of the title and the legend. It comes from the chart module, which is loaded
// when the first chart is made: the chart library and the graphics libraries it pulls in
// cost a start that shows no chart time and memory.
class BarChart {
public:
    virtual ~BarChart() = default;
    // The view; whoever puts it into a layout owns it.
    virtual QWidget* widget() = 0;
    virtual void draw(const StackedBars& bars) = 0;
};

// A new chart, or null with the reason in `error` when the chart module cannot be loaded.
std::unique_ptr<BarChart> makeBarChart(QString* error);

} // namespace platform

// What the chart module exports as korvanMakeBarChart: a new chart the caller owns.
using MakeBarChartFunction = platform::BarChart* (*)();
