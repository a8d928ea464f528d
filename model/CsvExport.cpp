#include "model/CsvExport.h"

#include "model/RecordBrowser.h"
#include "platform/LocaleText.h"

#include <QHash>
#include <QIODevice>
#include <QStringEncoder>
#include <cstring>
#include <vector>

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
    QStringEncoder encode(QStringEncoder::System);
    const auto flush = [&](const QString& text) {
        const QByteArray bytes = encode(text);
        return out.write(bytes) == bytes.size();
    };
    CellTexts cells;
    // Whose each record is, only where that is not plain: one person's records are written
    // as they always were.
    const bool withPerson = browser.showsManyPeople();
    QString text =
        withPerson
            ? QStringLiteral("\"Date\";\"Project\";\"Time\";\"Activity\";"
                             "\"Description\";\"Person\";\r\n")
            : QStringLiteral("\"Date\";\"Project\";\"Time\";\"Activity\";\"Description\";\r\n");
    using Column = RecordBrowser::Column;
    // In the order they are written.
    std::vector<int> fields{
        RecordBrowser::position(Column::Date), RecordBrowser::position(Column::Project),
        RecordBrowser::position(Column::Hours), RecordBrowser::position(Column::Activity),
        RecordBrowser::position(Column::Description)};
    if (withPerson)
        fields.push_back(RecordBrowser::position(Column::Person));
    bool written = true;
    int pending = 0;
    browser.records().readShown(fields, [&](const std::vector<QVariant>& row) {
        appendField(text, cells.date(row[0]));
        text += QLatin1Char(';');
        appendField(text, row[1].toString());
        text += QLatin1Char(';');
        appendField(text, cells.hours(row[2]));
        text += QLatin1Char(';');
        appendField(text, row[3].toString());
        text += QLatin1Char(';');
        appendField(text, row[4].toString());
        if (withPerson) {
            text += QLatin1Char(';');
            appendField(text, row[5].toString());
        }
        text += QStringLiteral(";\r\n");
        if (++pending < batchRows)
            return true;
        pending = 0;
        written = flush(text);
        text.clear();
        return written;
    });
    return written && flush(text);
}
