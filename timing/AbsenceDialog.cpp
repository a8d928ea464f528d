#include "timing/AbsenceDialog.h"

#include "model/Task.h"
#include "platform/Clock.h"
#include "platform/Services.h"
#include "widgets/Named.h"

#include <QCheckBox>
#include <QDateTime>
#include <QHBoxLayout>
#include <QLocale>
#include <QTimer>
#include <QVBoxLayout>

namespace {
QString hoursText(double days) {
    return QStringLiteral("+") + formatTime(days);
}
} // namespace

AbsenceDialog::AbsenceDialog(QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("AbsenceDialog"));
    setWindowTitle(QStringLiteral("Korvan"));
    setWindowFlags(Qt::Dialog | Qt::WindowTitleHint | Qt::WindowStaysOnTopHint);
    question_ = label("Label1", QString());
    question_->setWordWrap(true);
    question_->setTextFormat(Qt::PlainText);
    firstButton_ = button("Button1", QString());
    secondButton_ = button("Button2", QString());
    thirdButton_ = button("Button3", QString());
    resumeBox_ = named(new QCheckBox, "CheckBox1");
    // The safest answer is the default: Enter on it, or on the button with the focus.
    firstButton_->setDefault(true);
    connect(firstButton_, &QPushButton::clicked, this, [this] { choose(0); });
    connect(secondButton_, &QPushButton::clicked, this, [this] { choose(1); });
    connect(thirdButton_, &QPushButton::clicked, this, [this] { choose(2); });
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(question_);
    layout->addWidget(resumeBox_);
    for (QPushButton* b : {firstButton_, secondButton_, thirdButton_})
        layout->addWidget(b);
    // Tab as the eye goes: the box under the question, then the answers.
    setTabOrder(resumeBox_, firstButton_);
    setTabOrder(firstButton_, secondButton_);
    setTabOrder(secondButton_, thirdButton_);
    setMinimumWidth(420);
    nowTimer_ = named(new QTimer(this), "NowTimer");
    nowTimer_->setInterval(1000);
    connect(nowTimer_, &QTimer::timeout, this, [this] { showUntilNow(); });
}

AbsenceDialog::~AbsenceDialog() {
    hide();
}

QString AbsenceDialog::moment(qint64 utcMs) {
    const QDateTime at = QDateTime::fromMSecsSinceEpoch(utcMs).toLocalTime();
    const QDateTime now =
        QDateTime::fromMSecsSinceEpoch(platform::services().clock->utcMs()).toLocalTime();
    const QLocale locale;
    if (at.date() == now.date())
        return locale.toString(at.time(), QStringLiteral("HH:mm"));
    return locale.toString(at.date(), QLocale::ShortFormat) + QLatin1Char(' ') +
           locale.toString(at.time(), QStringLiteral("HH:mm"));
}

void AbsenceDialog::askGaps(const std::vector<Watchman::Gap>& gaps) {
    gaps_.insert(gaps_.end(), gaps.begin(), gaps.end());
    if (!isVisible())
        showNext();
}

void AbsenceDialog::askAbsence(const Watchman::Absence& absence) {
    absence_ = absence;
    absenceWaiting_ = true;
    if (!isVisible())
        showNext();
}

// Runs that ended unseen first: they were before any absence of this session.
void AbsenceDialog::showNext() {
    askingAbsence_ = false;
    if (!gaps_.empty()) {
        const Watchman::Gap& gap = gaps_.front();
        question_->setText(
            QStringLiteral("Korvan ended while \"%1\" was running (since %2). Last sign of "
                           "life: %3.\n\nThe time after its last save is not counted yet.")
                .arg(gap.task, moment(gap.startUtcMs), moment(gap.lastSignUtcMs)));
        firstButton_->setText(QStringLiteral("Count until the &last sign of life (%1)")
                                  .arg(hoursText(gap.untilLastSign)));
        showUntilNow();
        nowTimer_->start();
        thirdButton_->setText(QStringLiteral("&Do not count the missing time"));
        // The question shows a long name whole, wrapped; the box on its one line shortens it.
        const QString shown = resumeBox_->fontMetrics().elidedText(
            gap.task, Qt::ElideRight, resumeBox_->fontMetrics().averageCharWidth() * 40);
        resumeBox_->setText(QStringLiteral("&Resume \"%1\"").arg(shown));
        resumeBox_->setToolTip(shown == gap.task ? QString() : gap.task);
        resumeBox_->setChecked(false);
        resumeBox_->show();
        // Asked at start, before the user does anything else: it takes the focus.
        present(true);
        return;
    }
    nowTimer_->stop();
    if (absenceWaiting_) {
        absenceWaiting_ = false;
        askingAbsence_ = true;
        const QString from = moment(absence_.fromUtcMs), to = moment(absence_.toUtcMs);
        if (absence_.kind == Watchman::Absence::Sleep) {
            question_->setText(QStringLiteral("The computer slept from %2 to %3 while \"%1\" "
                                              "was running. That time is not counted yet.")
                                   .arg(absence_.task, from, to));
            firstButton_->setText(QStringLiteral("&Count the time asleep"));
            secondButton_->setText(QStringLiteral("&Do not count it"));
            thirdButton_->setText(QStringLiteral("Do not count it and &stop the task"));
        } else {
            question_->setText(QStringLiteral("You were away from %2 to %3 while \"%1\" was "
                                              "running. Should that time count?")
                                   .arg(absence_.task, from, to));
            firstButton_->setText(QStringLiteral("&Keep the time away"));
            secondButton_->setText(QStringLiteral("&Discard it"));
            thirdButton_->setText(QStringLiteral("Discard it and &stop the task"));
        }
        resumeBox_->hide();
        present(false);
        return;
    }
    hide();
}

// What "until now" adds grows while the question is open: the button says what it adds now.
void AbsenceDialog::showUntilNow() {
    if (gaps_.empty())
        return;
    secondButton_->setText(
        QStringLiteral("Count until &now (%1)").arg(hoursText(Watchman::untilNow(gaps_.front()))));
}

void AbsenceDialog::present(bool takeFocus) {
    adjustSize();
    // On a narrow screen adjustSize() narrows the window after it measured the wrapped
    // question for the wider one: it needs the height of the width it got.
    if (hasHeightForWidth())
        resize(width(), qMax(height(), heightForWidth(width())));
    // A question that comes while the user works in another window takes none of the keys
    // meant for that one: it shows without the focus, a window like any other, and once
    // the user turns to it (Alt+Tab, a click) the safest answer has the focus and every
    // answer its key.
    if (!isVisible())
        setAttribute(Qt::WA_ShowWithoutActivating, !takeFocus);
    show();
    firstButton_->setFocus();
    raise();
    if (takeFocus)
        activateWindow();
}

void AbsenceDialog::choose(int choice) {
    if (askingAbsence_) {
        askingAbsence_ = false;
        const auto answer = choice == 0   ? Watchman::AbsenceChoice::Keep
                            : choice == 1 ? Watchman::AbsenceChoice::Discard
                                          : Watchman::AbsenceChoice::DiscardAndStop;
        if (onAbsenceAnswer)
            platform::guarded([&] { onAbsenceAnswer(answer); });
    } else if (!gaps_.empty()) {
        const Watchman::Gap gap = gaps_.front();
        gaps_.pop_front();
        const auto answer = choice == 0   ? Watchman::GapChoice::UntilLastSign
                            : choice == 1 ? Watchman::GapChoice::UntilNow
                                          : Watchman::GapChoice::NotCounted;
        const bool resume = resumeBox_->isChecked();
        if (onGapAnswer)
            platform::guarded([&] { onGapAnswer(gap, answer, resume); });
    }
    showNext();
}

// Escape and the close button leave the question open: only an answer ends it.
void AbsenceDialog::reject() {}
