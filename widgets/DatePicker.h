#pragma once

#include <QDate>
#include <QWidget>

class QCheckBox;
class QDateEdit;

// A date with a check box in front: unticked means "no date". Choosing a date ticks it.
class DatePicker : public QWidget {
    Q_OBJECT
public:
    explicit DatePicker(QWidget* parent = nullptr);
    bool checked() const;
    void setChecked(bool checked);
    QDate date() const;
    void setDate(const QDate& date);
    QCheckBox* checkBox() const { return check_; }
    QDateEdit* dateEdit() const { return edit_; }

Q_SIGNALS:
    void change();

private:
    QCheckBox* check_;
    QDateEdit* edit_;
};
