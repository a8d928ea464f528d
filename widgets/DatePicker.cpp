#include "widgets/DatePicker.h"

#include "platform/LocaleText.h"

#include <QCheckBox>
#include <QDateEdit>
#include <QHBoxLayout>
#include <QSignalBlocker>

DatePicker::DatePicker(QWidget* parent) : QWidget(parent) {
    check_ = new QCheckBox;
    check_->setObjectName(QStringLiteral("Check"));
    edit_ = new QDateEdit;
    edit_->setObjectName(QStringLiteral("Date"));
    edit_->setCalendarPopup(true);
    edit_->setDisplayFormat(platform::shortDateFormat());
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(check_);
    layout->addWidget(edit_, 1);
    // Tab stops at the box, then at the date. (The date as the focus proxy of the whole
    // took it out of its place: forward Tab went past the box.)
    connect(check_, &QCheckBox::toggled, this, [this] { Q_EMIT change(); });
    // Choosing a date ticks the box: one change, not two.
    connect(edit_, &QDateEdit::dateChanged, this, [this] {
        {
            const QSignalBlocker quiet(check_);
            check_->setChecked(true);
        }
        Q_EMIT change();
    });
}

bool DatePicker::checked() const {
    return check_->isChecked();
}

void DatePicker::setChecked(bool checked) {
    check_->setChecked(checked);
}

QDate DatePicker::date() const {
    return edit_->date();
}

void DatePicker::setDate(const QDate& date) {
    const QSignalBlocker quiet(edit_);
    edit_->setDate(date);
}
