#include "database/RecordChart.h"

#include "platform/Error.h"
#include "platform/LocaleText.h"
#include "platform/Services.h"
#include "widgets/FileDialog.h"
#include "widgets/MessageBox.h"
#include "widgets/Named.h"

#include <QBuffer>
#include <QComboBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLocale>
#include <QTableWidget>
#include <QVBoxLayout>
#include <cmath>
#include <map>

#include "platform/AtomicFile.h"
#include "platform/BarChart.h"

using namespace platform;

RecordChart::RecordChart(RecordBrowser& browser, QWidget* parent)
    : QWidget(parent), browser_(browser) {
    setObjectName(QStringLiteral("RecordChart"));
    periodBox_ = named(new QComboBox, "PeriodBox");
    periodBox_->addItems(
        {QStringLiteral("Per day"), QStringLiteral("Per week"), QStringLiteral("Per month")});
    periodBox_->setCurrentIndex(1);
    QString missing;
    bars_ = makeBarChart(&missing);
    if (bars_) {
        chartView_ = bars_->widget();
    } else {
        // The totals beside it still tell the hours.
        auto* reason = named(new QLabel(missing), "ChartView");
        reason->setWordWrap(true);
        reason->setAlignment(Qt::AlignCenter);
        chartView_ = reason;
    }
    chartView_->setMinimumSize(200, 110);
    totals_ = named(new QTableWidget(0, 2), "ProjectTotals");
    totals_->setHorizontalHeaderLabels({QStringLiteral("Project"), QStringLiteral("Hours")});
    totals_->verticalHeader()->hide();
    totals_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    totals_->horizontalHeader()->setSectionResizeMode(0, QHeaderView::Stretch);
    totals_->horizontalHeader()->setSectionResizeMode(1, QHeaderView::ResizeToContents);
    saveButton_ = button("SaveChartButton", QStringLiteral("Save as &PNG..."));
    connect(periodBox_, &QComboBox::currentIndexChanged, this,
            [this] { guarded([this] { refresh(); }); });
    connect(saveButton_, &QPushButton::clicked, this,
            [this] { guarded([this] { saveClicked(); }); });

    auto* top = new QHBoxLayout;
    top->addWidget(periodBox_);
    top->addStretch();
    top->addWidget(saveButton_);
    totals_->setMaximumWidth(260);
    auto* body = new QHBoxLayout;
    body->addWidget(chartView_, 3);
    body->addWidget(totals_, 1);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addLayout(top);
    layout->addLayout(body, 1);
}

RecordChart::~RecordChart() = default;

RecordBrowser::Period RecordChart::period() const {
    switch (periodBox_->currentIndex()) {
    case 0:
        return RecordBrowser::Period::Day;
    case 2:
        return RecordBrowser::Period::Month;
    default:
        return RecordBrowser::Period::Week;
    }
}

QDate RecordChart::nextPeriod(const QDate& start) const {
    switch (period()) {
    case RecordBrowser::Period::Day:
        return start.addDays(1);
    case RecordBrowser::Period::Week:
        return start.addDays(7);
    case RecordBrowser::Period::Month:
        return start.addMonths(1);
    }
    return {};
}

QString RecordChart::categoryText(const QDate& day) const {
    const QLocale locale;
    switch (period()) {
    case RecordBrowser::Period::Day:
        return locale.toString(day, QLocale::ShortFormat);
    case RecordBrowser::Period::Week: {
        int year = 0;
        const int week = day.weekNumber(&year);
        return QStringLiteral("%1-W%2").arg(year).arg(week, 2, 10, QLatin1Char('0'));
    }
    case RecordBrowser::Period::Month:
        return locale.toString(day, QStringLiteral("MMM yyyy"));
    }
    return {};
}

void RecordChart::refresh() {
    std::vector<RecordBrowser::PeriodTotal> sums;
    try {
        sums = browser_.totalsBy(period());
    } catch (const Error&) {
        // Not the bars of the period before under the new title.
        clear();
        throw;
    }
    draw(sums);
}

void RecordChart::clear() {
    draw({});
}

void RecordChart::draw(const std::vector<RecordBrowser::PeriodTotal>& sums) {
    // Periods in order along the axis; one bar set per project, in name order.
    std::map<QDate, int> columns;
    std::map<std::pair<QString, qint64>, std::map<QDate, double>> byProject;
    for (const RecordBrowser::PeriodTotal& s : sums) {
        columns.emplace(s.period, 0);
        byProject[{s.projectName, s.project}][s.period] += s.hours;
    }
    // Every period from the first to the last, also those without work: a week off shows
    // as a gap, not as two weeks side by side. Not beyond a year of days, whose bars could
    // no longer be told apart anyway.
    if (!columns.empty()) {
        constexpr int kMostPeriods = 366;
        const QDate last = columns.rbegin()->first;
        std::vector<QDate> all;
        for (QDate day = columns.begin()->first;
             day.isValid() && day <= last && all.size() <= kMostPeriods; day = nextPeriod(day))
            all.push_back(day);
        if (all.size() <= kMostPeriods)
            for (const QDate& day : all)
                columns.emplace(day, 0);
    }
    QStringList categories;
    for (auto& [day, index] : columns) {
        index = static_cast<int>(categories.size());
        categories << categoryText(day);
    }
    StackedBars bars;
    bars.categories = categories;
    totals_->setRowCount(0);
    for (const auto& [project, hours] : byProject) {
        QList<double> values(static_cast<qsizetype>(columns.size()), 0.0);
        double sum = 0;
        for (const auto& [day, h] : hours) {
            values[columns.at(day)] = h;
            sum += h;
        }
        // A project keeps its colour whatever else the filter shows: it follows from its id.
        const QColor color = QColor::fromHsvF(
            std::fmod(static_cast<double>(project.second) * 0.618033988749895, 1.0), 0.6, 0.85);
        bars.sets.append({project.first, values, color});
        const int row = totals_->rowCount();
        totals_->insertRow(row);
        auto* name = new QTableWidgetItem(project.first);
        name->setData(Qt::DecorationRole, color);
        totals_->setItem(row, 0, name);
        auto* item = new QTableWidgetItem(hoursText(sum));
        item->setTextAlignment(Qt::AlignRight | Qt::AlignVCenter);
        totals_->setItem(row, 1, item);
    }
    bars.valueTitle = QStringLiteral("Hours");
    static const char* const kTitles[] = {"Hours per day", "Hours per week", "Hours per month"};
    bars.title = QString::fromLatin1(kTitles[static_cast<int>(period())]);
    if (bars_)
        bars_->draw(bars);
}

void RecordChart::saveClicked() {
    SaveFileRequest request;
    request.title = QStringLiteral("Save chart");
    request.proposedName = pictureName_;
    request.defaultSuffix = QStringLiteral("png");
    request.filters = QStringLiteral("PNG pictures (*.png)|*.png|All files (*.*)|*.*");
    const QString file = services().saveFileDialog->getSaveFileName(this, request);
    if (file.isEmpty())
        return;
    pictureName_ = file;
    QByteArray png;
    QBuffer buffer(&png);
    buffer.open(QIODevice::WriteOnly);
    if (!chartView_->grab().save(&buffer, "PNG"))
        throw Error(QStringLiteral("The chart could not be drawn as a picture."));
    QString error;
    if (!writeFileAtomically(file, png, kModeAsUsual, &error))
        throw Error(error);
}
