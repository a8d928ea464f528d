// The chart module: stacked bars drawn with Qt Charts. It is a library of its own, loaded
// by the program when it first shows a chart.
#include "platform/BarChart.h"

#include <QBarCategoryAxis>
#include <QBarSet>
#include <QChart>
#include <QChartView>
#include <QStackedBarSeries>
#include <QValueAxis>

namespace {

class QtChartsBarChart : public platform::BarChart {
public:
    QtChartsBarChart() : view_(new QChartView) {
        view_->setObjectName(QStringLiteral("ChartView"));
        view_->setRenderHint(QPainter::Antialiasing);
    }
    // The view belongs to the layout it was put into.
    QWidget* widget() override { return view_; }

    void draw(const platform::StackedBars& bars) override {
        auto* series = new QStackedBarSeries;
        for (const platform::StackedBars::Set& s : bars.sets) {
            auto* set = new QBarSet(s.name);
            set->append(QList<qreal>(s.values.begin(), s.values.end()));
            series->append(set);
        }
        auto* chart = new QChart;
        chart->addSeries(series);
        auto* axisX = new QBarCategoryAxis;
        axisX->append(bars.categories);
        // Many bars: the labels stand upright so that each can be read whole.
        if (bars.categories.size() > 6)
            axisX->setLabelsAngle(-90);
        chart->addAxis(axisX, Qt::AlignBottom);
        series->attachAxis(axisX);
        auto* axisY = new QValueAxis;
        axisY->setTitleText(bars.valueTitle);
        const double highest = bars.highest();
        axisY->setRange(0, highest > 0 ? highest * 1.05 : 1);
        axisY->applyNiceNumbers();
        chart->addAxis(axisY, Qt::AlignLeft);
        series->attachAxis(axisY);
        chart->setTitle(bars.title);
        chart->legend()->setVisible(true);
        chart->legend()->setAlignment(Qt::AlignBottom);
        chart->setMargins(QMargins(2, 2, 2, 2));
        chart->setBackgroundRoundness(0);
        QChart* old = view_->chart();
        view_->setChart(chart);
        delete old;
    }

private:
    QChartView* view_;
};

} // namespace

extern "C" Q_DECL_EXPORT platform::BarChart* korvanMakeBarChart() {
    return new QtChartsBarChart;
}
