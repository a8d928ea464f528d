#include "widgets/DatePicker.h"

#include "platform/LocaleText.h"

#include <QCheckBox>
#include <QDateEdit>
#include <QHBoxLayout>

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
    connect(check_, &QCheckBox::toggled, this, [this] {
        if (!quiet_)
            Q_EMIT Change();
    });
    connect(edit_, &QDateEdit::dateChanged, this, [this] {
        if (quiet_)
            return;
        quiet_ = true;
        check_->setChecked(true);
        quiet_ = false;
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
    quiet_ = true;
    edit_->setDate(date);
    quiet_ = false;
}
