#include "model/Records.h"
#include "support/Fixture.h"
#include "timing/MainWindow.h"

#include <QtTest>

class TestUtils : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void cleanup() { QLocale::setDefault(QLocale::c()); }

    void scramble_data() {
        QTest::addColumn<QString>("input");
        QTest::addColumn<bool>("changes");
        QTest::newRow("no password") << "Provider=SQLite;Data Source=x" << false;
        QTest::newRow("lower case key") << "Provider=a;password=secret;User ID=u" << false;
        QTest::newRow("password then items") << "Provider=a;Password=secret;User ID=u" << true;
        QTest::newRow("password at end") << "Provider=a;Password=secret" << false;
        QTest::newRow("only ; is last char") << "Provider=a;Password=secret;" << false;
        QTest::newRow("empty password") << "Provider=a;Password=;User ID=u" << false;
    }
    void scramble() {
        QFETCH(QString, input);
        QFETCH(bool, changes);
        const QString once = scramblePassword(input);
        QCOMPARE(once != input, changes);
        QCOMPARE(scramblePassword(once), input);
        if (changes) {
            const int p = input.indexOf(QStringLiteral("Password=")) + 9;
            const int q = input.indexOf(QLatin1Char(';'), p);
            QCOMPARE(once.left(p), input.left(p));
            QCOMPARE(once.mid(q), input.mid(q));
            QCOMPARE(once.at(p).unicode(), char16_t('s' ^ 0xA7));
        }
    }

    void onlyFirstPasswordSegment() {
        const QString s = QStringLiteral("Password=ab;Password=cd;x");
        const QString once = scramblePassword(s);
        QCOMPARE(once.mid(11), s.mid(11));
    }

    void placeholders() {
        QCOMPARE(replacePlaceholders(QStringLiteral("Data Source=$appdir$K.dat;X=$APPDIR$"),
                                     QStringLiteral("/opt/k/"), QStringLiteral("/d/")),
                 QStringLiteral("Data Source=/opt/k/K.dat;X=$APPDIR$"));
        QCOMPARE(replacePlaceholders(QString::fromLatin1(kDefaultConnectionString),
                                     QStringLiteral("/opt/k/"), QStringLiteral("/home/u/d/")),
                 QStringLiteral("Provider=SQLite;Data Source=/home/u/d/Korvan.dat;Persist "
                                "Security Info=False"));
    }

    void floatToLocaleStr_data() {
        QTest::addColumn<QString>("locale");
        QTest::addColumn<float>("value");
        QTest::addColumn<QString>("text");
        QTest::newRow("third") << "en_US" << 1.3333334f << "1.33";
        QTest::newRow("third comma") << "cs_CZ" << 1.3333334f << "1,33";
        QTest::newRow("zero") << "en_US" << 0.0f << "0.00";
        QTest::newRow("half") << "en_US" << 12.5f << "12.50";
        QTest::newRow("tie away from zero") << "en_US" << 0.125f << "0.13";
        QTest::newRow("negative") << "de_DE" << -2.5f << "-2,50";
        QTest::newRow("large") << "en_US" << 123456.0f << "123456.00";
    }
    void floatToLocaleStr() {
        QFETCH(QString, locale);
        QFETCH(float, value);
        QFETCH(QString, text);
        QLocale::setDefault(QLocale(locale));
        QCOMPARE(::floatToLocaleStr(2, value), text);
        bool ok = false;
        QCOMPARE(QLocale().toFloat(text, &ok), std::round(value * 100) / 100);
        QVERIFY(ok);
    }

    void compareByHours() {
        Fixture f;
        Task a(QStringLiteral("a")), b(QStringLiteral("b")), c(QStringLiteral("c"));
        a.setTime(1.0 / 24);
        b.setTime(2.0 / 24);
        c.setTime(1.0 / 24 + 30.0 / 86400); // same hours as a: seconds are ignored
        QCOMPARE(::compareByHours(&a, &b), 1);
        QCOMPARE(::compareByHours(&b, &a), -1);
        QCOMPARE(::compareByHours(&a, &c), 0);
    }
};

QTEST_MAIN(TestUtils)
#include "tst_utils.moc"
