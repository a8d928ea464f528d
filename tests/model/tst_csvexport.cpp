#include "model/CsvExport.h"
#include "model/RecordBrowser.h"
#include "model/Records.h"
#include "model/WorkRecords.h"
#include "support/Databases.h"

#include <QBuffer>
#include <QtTest>

using namespace platform;

// The export of the browsed records, byte for byte: the values a user writes into
// projects, activities and descriptions that a spreadsheet would read wrongly unless the
// file quotes them, in two locales and on both engines.
class TestCsvExport : public QObject {
    Q_OBJECT
    std::unique_ptr<TestDatabases> dbs_;

    static void book(WorkRecords& r, int project, int activity, double hours, const QDateTime& when,
                     const QString& text) {
        DbCommand& insert = r.recordInsert();
        refreshParameterTypes(insert);
        insert.paramByName(QStringLiteral("datum")).value = when;
        insert.paramByName(QStringLiteral("typ")).value = activity;
        insert.paramByName(QStringLiteral("nazev")).value = text;
        insert.paramByName(QStringLiteral("id_projekt")).value = project;
        insert.paramByName(QStringLiteral("pocetHodin")).value = hours;
        insert.paramByName(QStringLiteral("id_uzivatel")).value = 1;
        insert.paramByName(QStringLiteral("bugid")).value = QVariant();
        insert.execute();
    }
    void seed(const QString& engine, WorkRecords& r) {
        const int quoted = r.addProject(QStringLiteral("Client \"A\"; B"));
        const int padded = r.addProject(QStringLiteral("  padded  "));
        const int accented = r.addProject(QStringLiteral("Ünïcode – Projekt"));
        const int coding = r.addActivity(QStringLiteral("Coding"));
        const int review = r.addActivity(QStringLiteral("Review; \"QA\", ok"));
        const QDate day(2025, 3, 1);
        const QTime midnight(0, 0);
        book(r, quoted, coding, 1.5, QDateTime(day, midnight), QStringLiteral("say \"hi\"; no"));
        book(r, padded, review, 0.25, QDateTime(day, QTime(13, 45, 30)),
             QStringLiteral("two\r\nlines"));
        book(r, accented, coding, 10, QDateTime(day.addDays(1), midnight),
             QStringLiteral("  leading and trailing  "));
        book(r, quoted, review, 7.333333, QDateTime(day.addDays(2), midnight),
             QStringLiteral("Zkouška – ü 日本 😀"));
        book(r, padded, coding, 0, QDateTime(day.addDays(3), midnight), QString());
        book(r, accented, review, 2.75, QDateTime(day.addDays(4), midnight),
             QStringLiteral("lf\nonly, comma\ttab"));
        book(r, quoted, coding, 1234.5, QDateTime(day.addDays(5), midnight),
             QStringLiteral("\"\""));
        r.connection().close();
        // No description at all, as an older program could leave it.
        dbs_->exec(engine, QStringLiteral("INSERT INTO SEP_ProvedenaPrace (id_Usek, id_TypPrace, "
                                          "id_UzivatelSEP, Cas, Popis, DatumPrace, Aktivni, "
                                          "Vytvoril) VALUES (%1, %2, 1, 0.1, NULL, "
                                          "'2025-03-07 00:00:00', 1, 'test')")
                               .arg(padded)
                               .arg(review));
    }

    // The file of every record, as the browser shows them unfiltered.
    static QByteArray exported(WorkRecords& records) {
        RecordBrowser browser(records);
        browser.records().open();
        QBuffer out;
        out.open(QIODevice::WriteOnly);
        return CsvExport::write(out, browser) ? out.data() : QByteArray("failed");
    }
    // Takes this many bytes, then refuses every write.
    class FullDevice : public QIODevice {
    public:
        explicit FullDevice(qint64 room) : room_(room) { open(WriteOnly); }
        QByteArray taken;
        int writes = 0;

    protected:
        qint64 readData(char*, qint64) override { return -1; }
        qint64 writeData(const char* data, qint64 size) override {
            ++writes;
            if (taken.size() + size > room_)
                return -1;
            taken.append(data, size);
            return size;
        }

    private:
        qint64 room_;
    };

private Q_SLOTS:
    void initTestCase() { dbs_ = std::make_unique<TestDatabases>(); }
    void cleanupTestCase() { dbs_.reset(); }
    void cleanup() { QLocale::setDefault(QLocale::c()); }

    // Every field quoted and nothing else escaped: quotes doubled, separators, line breaks,
    // tabs and spaces kept; dates with their time of day only when there is one; hours as
    // the locale writes them; UTF-8 beyond ASCII; an empty description and none alike.
    void trickyValuesByteForByte_data() {
        QTest::addColumn<QString>("engine");
        QTest::addColumn<QString>("locale");
        QTest::addColumn<QByteArray>("expected");
        const QByteArray german =
            "\"Date\";\"Project\";\"Time\";\"Activity\";\"Description\";\r\n"
            "\"01.03.2025\";\"Client \"\"A\"\"; B\";\"1,5\";\"Coding\";\"say \"\"hi\"\"; no\";\r\n"
            "\"01.03.2025 13:45:30\";\"  padded  \";\"0,25\";\"Review; \"\"QA\"\", ok\";\"two\r\n"
            "lines\";\r\n"
            "\"02.03.2025\";\"Ünïcode – Projekt\";\"10\";\"Coding\";\"  leading and trailing  "
            "\";\r\n"
            "\"03.03.2025\";\"Client \"\"A\"\"; B\";\"7,333333\";\"Review; \"\"QA\"\", "
            "ok\";\"Zkouška – ü 日本 😀\";\r\n"
            "\"04.03.2025\";\"  padded  \";\"0\";\"Coding\";\"\";\r\n"
            "\"05.03.2025\";\"Ünïcode – Projekt\";\"2,75\";\"Review; \"\"QA\"\", ok\";\"lf\nonly, "
            "comma\ttab\";\r\n"
            "\"06.03.2025\";\"Client \"\"A\"\"; B\";\"1234,5\";\"Coding\";\"\"\"\"\"\";\r\n"
            "\"07.03.2025\";\"  padded  \";\"0,1\";\"Review; \"\"QA\"\", ok\";\"\";\r\n";
        const QByteArray english =
            "\"Date\";\"Project\";\"Time\";\"Activity\";\"Description\";\r\n"
            "\"3/1/2025\";\"Client \"\"A\"\"; B\";\"1.5\";\"Coding\";\"say \"\"hi\"\"; no\";\r\n"
            "\"3/1/2025 1:45:30 PM\";\"  padded  \";\"0.25\";\"Review; \"\"QA\"\", ok\";\"two\r\n"
            "lines\";\r\n"
            "\"3/2/2025\";\"Ünïcode – Projekt\";\"10\";\"Coding\";\"  leading and trailing  \";\r\n"
            "\"3/3/2025\";\"Client \"\"A\"\"; B\";\"7.333333\";\"Review; \"\"QA\"\", "
            "ok\";\"Zkouška – ü 日本 😀\";\r\n"
            "\"3/4/2025\";\"  padded  \";\"0\";\"Coding\";\"\";\r\n"
            "\"3/5/2025\";\"Ünïcode – Projekt\";\"2.75\";\"Review; \"\"QA\"\", ok\";\"lf\nonly, "
            "comma\ttab\";\r\n"
            "\"3/6/2025\";\"Client \"\"A\"\"; B\";\"1234.5\";\"Coding\";\"\"\"\"\"\";\r\n"
            "\"3/7/2025\";\"  padded  \";\"0.1\";\"Review; \"\"QA\"\", ok\";\"\";\r\n";
        for (const char* engine : {"sqlite", "postgresql"}) {
            QTest::addRow("%s de_DE", engine)
                << QString::fromLatin1(engine) << QStringLiteral("de_DE") << german;
            QTest::addRow("%s en_US", engine)
                << QString::fromLatin1(engine) << QStringLiteral("en_US") << english;
        }
    }
    void trickyValuesByteForByte() {
        KORVAN_FRESH_DATABASE(*dbs_, cs);
        QFETCH(QString, locale);
        QFETCH(QByteArray, expected);
        QLocale::setDefault(QLocale(locale));
        WorkRecords records(cs);
        seed(engine, records);
        QCOMPARE(exported(records), expected);
    }

    // The one rule every field is written by.
    void fieldQuoting_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("field");
        QTest::newRow("empty") << QString() << "\"\"";
        QTest::newRow("separator and quotes") << "a\"b;c"
                                              << "\"a\"\"b;c\"";
        QTest::newRow("quotes only") << "\"\""
                                     << "\"\"\"\"\"\"";
        QTest::newRow("line break and spaces") << " x\r\ny "
                                               << "\" x\r\ny \"";
    }
    void fieldQuoting() {
        QFETCH(QString, text);
        QFETCH(QString, field);
        QString line = QStringLiteral("x;");
        CsvExport::appendField(line, text);
        QCOMPARE(line, QStringLiteral("x;") + field);
    }

    // A device that stops taking bytes (a full disk) ends the export: false, and no
    // further write after the refused one.
    void failedWriteStopsTheExport() {
        WorkRecords records(dbs_->fresh(QStringLiteral("sqlite")));
        seed(QStringLiteral("sqlite"), records);
        const QByteArray whole = exported(records);
        RecordBrowser browser(records);
        browser.records().open();
        for (const qint64 room : {qint64(0), qint64(whole.size() - 1)}) {
            FullDevice out(room);
            QVERIFY(!CsvExport::write(out, browser));
            QVERIFY(whole.startsWith(out.taken));
            QCOMPARE(out.writes, out.taken.isEmpty() ? 1 : 2);
        }
        FullDevice roomy(whole.size());
        QVERIFY(CsvExport::write(roomy, browser));
        QCOMPARE(roomy.taken, whole);
    }
};

QTEST_MAIN(TestCsvExport)
#include "tst_csvexport.moc"
