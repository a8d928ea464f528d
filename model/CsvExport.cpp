#include "model/CsvExport.h"

#include "model/RecordBrowser.h"
#include "platform/LocaleText.h"

#include <QHash>
#include <QIODevice>
#include <QStringEncoder>
#include <cstring>

using namespace platform;

namespace {
// The texts of the cells. Records come in runs of one day and hours are mostly quarters,
// so each date and hours value is formatted for the locale once, not per row.
class CellTexts {
public:
    QString date(const QVariant& v) {
        if (v.isNull())
            return {};
        const QDateTime value = v.toDateTime();
        const qint64 key = value.toMSecsSinceEpoch();
        if (key != lastDate_ || lastDateText_.isNull()) {
            lastDate_ = key;
            lastDateText_ = cached(dates_, key, [&] { return recordDateText(value); });
        }
        return lastDateText_;
    }
    QString hours(const QVariant& v) {
        if (v.isNull())
            return {};
        const double value = v.toDouble();
        qint64 bits; // -0 and 0 apart
        std::memcpy(&bits, &value, sizeof bits);
        return cached(hours_, bits, [&] { return hoursText(value); });
    }

private:
    // Bounded: an export sorted by description meets a new date at every row.
    template <class Make>
    static QString cached(QHash<qint64, QString>& cache, qint64 key, const Make& make) {
        const auto found = cache.constFind(key);
        if (found != cache.constEnd())
            return *found;
        if (cache.size() >= 4096)
            cache.clear();
        return *cache.insert(key, make());
    }
    QHash<qint64, QString> dates_;
    qint64 lastDate_ = 0;
    QString lastDateText_;
    QHash<qint64, QString> hours_;
};
} // namespace

void CsvExport::appendField(QString& line, const QString& text) {
    line += QLatin1Char('"');
    if (text.contains(QLatin1Char('"')))
        line += QString(text).replace(QLatin1Char('"'), QStringLiteral("\"\""));
    else
        line += text;
    line += QLatin1Char('"');
}

bool CsvExport::write(QIODevice& out, const RecordBrowser& browser) {
    const platform::DataSet& records = browser.records();
    QStringEncoder encode(QStringEncoder::System);
    const auto flush = [&](const QString& text) {
        const QByteArray bytes = encode(text);
        return out.write(bytes) == bytes.size();
    };
    CellTexts cells;
    QString text =
        QStringLiteral("\"Date\";\"Project\";\"Time\";\"Activity\";\"Description\";\r\n");
    using Column = RecordBrowser::Column;
    const int date = RecordBrowser::position(Column::Date),
              project = RecordBrowser::position(Column::Project),
              hours = RecordBrowser::position(Column::Hours),
              activity = RecordBrowser::position(Column::Activity),
              description = RecordBrowser::position(Column::Description);
    const int rows = records.recordCount();
    for (int first = 0; first < rows; first += batchRows) {
        if (!flush(text))
            return false;
        text.clear();
        for (const std::vector<QVariant>& row : records.rows(first, batchRows)) {
            // A record deleted since the grid was read has no fields: empty cells, as the
            // grid shows it.
            const auto cell = [&row](int field) {
                return static_cast<size_t>(field) < row.size() ? row[static_cast<size_t>(field)]
                                                               : QVariant();
            };
            appendField(text, cells.date(cell(date)));
            text += QLatin1Char(';');
            appendField(text, cell(project).toString());
            text += QLatin1Char(';');
            appendField(text, cells.hours(cell(hours)));
            text += QLatin1Char(';');
            appendField(text, cell(activity).toString());
            text += QLatin1Char(';');
            appendField(text, cell(description).toString());
            text += QStringLiteral(";\r\n");
        }
    }
    return flush(text);
}
