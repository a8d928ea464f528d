#include "widgets/DatePicker.h"

#include "platform/LocaleText.h"

#include <QCheckBox>
#include <QDateEdit>
#include <QHBoxLayout>
#include <QSignalBlocker>

TDateTimePicker::TDateTimePicker(QWidget* parent) : QWidget(parent) {
    check_ = new QCheckBox;
    edit_ = new QDateEdit;
    edit_->setCalendarPopup(true);
    edit_->setDisplayFormat(platform::shortDateFormat());
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(check_);
    layout->addWidget(edit_, 1);
    setFocusProxy(edit_);
    connect(check_, &QCheckBox::toggled, this, [this] { Q_EMIT Change(); });
    // Choosing a date ticks the box: one change, not two.
    connect(edit_, &QDateEdit::dateChanged, this, [this] {
        {
            const QSignalBlocker quiet(check_);
            check_->setChecked(true);
        }
        Q_EMIT Change();
    });
}

bool TDateTimePicker::Checked() const {
    return check_->isChecked();
}

void TDateTimePicker::setChecked(bool checked) {
    check_->setChecked(checked);
}

QDate TDateTimePicker::Date() const {
    return edit_->date();
}

void TDateTimePicker::setDate(const QDate& date) {
    const QSignalBlocker quiet(edit_);
    edit_->setDate(date);
}
