#pragma once

#include "model/RecordBrowser.h"

#include <QWidget>
#include <memory>

namespace platform {
class BarChart;
}
class QComboBox;
class QPushButton;
class QTableWidget;

// The hours of the records the browser shows, at a glance: stacked bars per day, week or
// month with one colour per project and a legend, the hours of each project beside them,
// and the picture saved as PNG. The sums come from the database.
class RecordChart : public QWidget {
    Q_OBJECT
public:
    explicit RecordChart(RecordBrowser& browser, QWidget* parent = nullptr);
    ~RecordChart() override;

    // Draws the chart again for the filter in force; empty when the sums cannot be read.
    void refresh();
    // Shows no bars and no hours: there are no records to sum.
    void clear();

private:
    void draw(const std::vector<RecordBrowser::PeriodTotal>& sums);
    void saveClicked();
    QString categoryText(const QDate& period) const;
    QDate nextPeriod(const QDate& start) const;
    RecordBrowser::Period period() const;

    RecordBrowser& browser_;
    // Object names: PeriodBox (day, week, month), ChartView, ProjectTotals (project, hours),
    // SaveChartButton.
    QComboBox* periodBox_;
    std::unique_ptr<platform::BarChart> bars_; // null when the chart module is missing
    QWidget* chartView_;
    QTableWidget* totals_;
    QPushButton* saveButton_;
    QString pictureName_;
};
