#include "support/Fixture.h"
#include "timing/AbsenceDialog.h"

#include <QCheckBox>
#include <QLabel>
#include <QPushButton>
#include <QtTest>

// The question about unseen time, alone: what it says, that each button gives its answer
// once, that runs left behind come one after another before an absence, and that it only
// goes away with an answer.
class TestAbsenceDialog : public QObject {
    Q_OBJECT
    std::unique_ptr<Fixture> f_;
    std::unique_ptr<AbsenceDialog> dialog_;
    struct GapAnswer {
        QString task;
        Watchman::GapChoice choice;
        bool resume;
    };
    QList<GapAnswer> gapAnswers_;
    QList<Watchman::AbsenceChoice> absenceAnswers_;

    QString question() const { return child<QLabel>(dialog_.get(), "Label1")->text(); }
    QPushButton* choice(int n) const {
        const QByteArray name = "Button" + QByteArray::number(n);
        return child<QPushButton>(dialog_.get(), name.constData());
    }
    Watchman::Gap gap(const QString& task, qint64 startUtc, qint64 lastSignUtc) const {
        Watchman::Gap g;
        g.task = task;
        g.startUtcMs = startUtc;
        g.lastSignUtcMs = lastSignUtc;
        g.untilLastSign = 3600.0 / 86400;
        // The journal's base 4000 s ago, the store then at the base's time.
        g.baseUtcMs = f_->clock.utc - 4000 * 1000LL;
        g.untilNow = 4000.0 / 86400;
        return g;
    }

private Q_SLOTS:
    void init() {
        qputenv("TZ", "UTC");
        f_ = std::make_unique<Fixture>();
        dialog_ = std::make_unique<AbsenceDialog>();
        gapAnswers_.clear();
        absenceAnswers_.clear();
        dialog_->onGapAnswer = [this](const Watchman::Gap& g, Watchman::GapChoice c, bool r) {
            gapAnswers_.append({g.task, c, r});
        };
        dialog_->onAbsenceAnswer = [this](Watchman::AbsenceChoice c) { absenceAnswers_.append(c); };
    }
    void cleanup() {
        dialog_.reset();
        f_.reset();
    }

    void gapsOneAfterAnotherThenAbsence() {
        const qint64 noon = f_->clock.utc; // 12:00 UTC
        dialog_->askGaps(
            {gap(QStringLiteral("Writing"), noon - 77 * 60000LL, noon - 2 * 60000LL),
             gap(QStringLiteral("Review"), noon - 30 * 3600000LL, noon - 29 * 3600000LL)});
        Watchman::Absence away;
        away.task = QStringLiteral("Writing");
        away.fromUtcMs = noon - 20 * 60000LL;
        away.toUtcMs = noon;
        dialog_->askAbsence(away);
        QVERIFY(dialog_->isVisible());
        QCOMPARE(question(), QStringLiteral("Korvan ended while \"Writing\" was running (since "
                                            "10:43). Last sign of life: 11:58.\n\nThe time "
                                            "after its last save is not counted yet."));
        QCOMPARE(choice(1)->text(),
                 QStringLiteral("Count until the &last sign of life (+01:00:00)"));
        QCOMPARE(choice(2)->text(), QStringLiteral("Count until &now (+01:06:40)"));
        // While the question is open, "until now" grows, and the button says so.
        f_->clock.advanceSeconds(6);
        fireTimer(child<QTimer>(dialog_.get(), "NowTimer"));
        QCOMPARE(choice(2)->text(), QStringLiteral("Count until &now (+01:06:46)"));
        // Escape and the close button leave it open.
        QTest::keyClick(dialog_.get(), Qt::Key_Escape);
        dialog_->close();
        QVERIFY(dialog_->isVisible());
        QVERIFY(gapAnswers_.isEmpty());
        QTest::mouseClick(choice(1), Qt::LeftButton);
        QCOMPARE(gapAnswers_.size(), 1);
        QCOMPARE(gapAnswers_[0].task, QStringLiteral("Writing"));
        QCOMPARE(gapAnswers_[0].choice, Watchman::GapChoice::UntilLastSign);
        QVERIFY(!gapAnswers_[0].resume);
        // The second run was a day earlier: its times carry the date.
        QVERIFY(question().contains(QStringLiteral("\"Review\"")));
        QVERIFY(question().contains(QLocale().toString(QDate(2023, 3, 14), QLocale::ShortFormat)));
        QCheckBox* resume = child<QCheckBox>(dialog_.get(), "CheckBox1");
        QVERIFY(resume->isVisible());
        QVERIFY(!resume->isChecked());
        clickCheckBox(resume);
        QTest::keyClick(choice(2), Qt::Key_Space);
        QCOMPARE(gapAnswers_.size(), 2);
        QCOMPARE(gapAnswers_[1].choice, Watchman::GapChoice::UntilNow);
        QVERIFY(gapAnswers_[1].resume);
        // Then the absence, without the resume box.
        QCOMPARE(question(), QStringLiteral("You were away from 11:40 to 12:00 while "
                                            "\"Writing\" was running. Should that time count?"));
        QVERIFY(!child<QCheckBox>(dialog_.get(), "CheckBox1")->isVisible());
        QTest::mouseClick(choice(3), Qt::LeftButton);
        QCOMPARE(absenceAnswers_,
                 QList<Watchman::AbsenceChoice>{Watchman::AbsenceChoice::DiscardAndStop});
        QVERIFY(!dialog_->isVisible());
        QCOMPARE(gapAnswers_.size(), 2);
    }

    void sleepQuestion_data() {
        QTest::addColumn<int>("button");
        QTest::addColumn<int>("answer");
        QTest::newRow("count") << 1 << int(Watchman::AbsenceChoice::Keep);
        QTest::newRow("do not count") << 2 << int(Watchman::AbsenceChoice::Discard);
        QTest::newRow("stop") << 3 << int(Watchman::AbsenceChoice::DiscardAndStop);
    }
    void sleepQuestion() {
        QFETCH(int, button);
        QFETCH(int, answer);
        Watchman::Absence slept;
        slept.kind = Watchman::Absence::Sleep;
        slept.task = QStringLiteral("Support");
        slept.fromUtcMs = f_->clock.utc - 90 * 60000LL;
        slept.toUtcMs = f_->clock.utc;
        slept.sleptMs = 90 * 60000LL;
        dialog_->askAbsence(slept);
        QCOMPARE(question(), QStringLiteral("The computer slept from 10:30 to 12:00 while "
                                            "\"Support\" was running. That time is not counted "
                                            "yet."));
        QCOMPARE(choice(1)->text(), QStringLiteral("&Count the time asleep"));
        QTest::mouseClick(choice(button), Qt::LeftButton);
        QCOMPARE(absenceAnswers_.size(), 1);
        QCOMPARE(int(absenceAnswers_[0]), answer);
        QVERIFY(!dialog_->isVisible());
    }
};

QTEST_MAIN(TestAbsenceDialog)
#include "tst_absencedialog.moc"
