// The chart module: stacked bars drawn with Qt Charts. It is a library of its own, loaded
// by the program when it first shows a chart.
#include "platform/BarChart.h"

#include <QBarCategoryAxis>
#include <QBarSet>
#include <QChart>
#include <QChartView>
#include <QEvent>
#include <QFontMetrics>
#include <QPointer>
#include <QStackedBarSeries>
#include <QValueAxis>

namespace {

// Lower than this, the title and the legend would leave the bars no room.
constexpr int kRoomForLegend = 240;

class QtChartsBarChart : public QObject, public platform::BarChart {
public:
    QtChartsBarChart() : view_(new QChartView) {
        view_->setObjectName(QStringLiteral("ChartView"));
        view_->setRenderHint(QPainter::Antialiasing);
        view_->installEventFilter(this);
    }
    ~QtChartsBarChart() override {
        if (view_)
            view_->removeEventFilter(this);
    }
    // The view belongs to the layout it was put into.
    QWidget* widget() override { return view_; }

    void draw(const platform::StackedBars& bars) override {
        categories_ = bars.categories;
        auto* series = new QStackedBarSeries;
        for (const platform::StackedBars::Set& s : bars.sets) {
            auto* set = new QBarSet(s.name);
            set->append(QList<qreal>(s.values.begin(), s.values.end()));
            if (s.color.isValid())
                set->setColor(s.color);
            series->append(set);
        }
        auto* chart = new QChart;
        chart->addSeries(series);
        axisX_ = new QBarCategoryAxis;
        auto* axisX = axisX_;
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
        title_ = bars.title;
        chart->setTitle(bars.title);
        chart->legend()->setVisible(true);
        chart->legend()->setAlignment(Qt::AlignBottom);
        chart->setMargins(QMargins(2, 2, 2, 2));
        chart->setBackgroundRoundness(0);
        QChart* old = view_->chart();
        view_->setChart(chart);
        delete old;
        fit();
    }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (watched == view_ && event->type() == QEvent::Resize)
            fit();
        return false;
    }

private:
    void fit() {
        QChart* chart = view_ ? view_->chart() : nullptr;
        if (!chart || !axisX_)
            return;
        const bool roomy = view_->height() >= kRoomForLegend;
        chart->legend()->setVisible(roomy);
        chart->setTitle(roomy ? title_ : QString());
        // An upright label needs a line's height of the axis; the others stay unlabelled,
        // each with a label of its own that shows nothing (the axis keeps one category per
        // distinct label).
        const int line = QFontMetrics(axisX_->labelsFont()).height() * 3 / 2;
        const qsizetype fitting = std::max<qsizetype>(1, (view_->width() - 60) / std::max(1, line));
        const qsizetype every = (categories_.size() + fitting - 1) / fitting;
        QStringList labels;
        for (qsizetype i = 0; i < categories_.size(); ++i)
            labels << (every <= 1 || i % every == 0 ? categories_[i]
                                                    : QString(i + 1, QChar(0x200B)));
        if (labels != axisX_->categories())
            axisX_->setCategories(labels);
    }

    QPointer<QChartView> view_;
    QBarCategoryAxis* axisX_ = nullptr;
    QString title_;
    QStringList categories_;
};

} // namespace

extern "C" Q_DECL_EXPORT platform::BarChart* korvanMakeBarChart() {
    return new QtChartsBarChart;
}
