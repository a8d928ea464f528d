#pragma once

#include <QDialog>

class WorkRecords;
class TForm1;
class TForm4;

class QCheckBox;
class QLabel;
class QPushButton;
class QScrollArea;
class TProjectBaseFrame;

// The booking dialog: one entry frame per task, the total, and the save of every frame
// with hours as a work record in one transaction, through the work records it is given.
class TSummary : public QDialog {
    Q_OBJECT
public:
    TSummary(WorkRecords& records, TForm1& mainWindow, TForm4& progress);
    ~TSummary() override;

    QScrollArea* ScrollBox1;
    QLabel *Label1, *Label2;
    QCheckBox* CheckBox1;
    QPushButton *Button1, *Button2;

    void ShowSummary();
    void UpdateTotal();
    bool ConfirmSave();
    void Button2Click();
    bool saving() const { return saving_; }

    QList<TProjectBaseFrame*> frames() const;

protected:
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;

private:
    WorkRecords& records_;
    TForm1& mainWindow_;
    TForm4& progress_;
    void save();
    QWidget* frameHolder_;
    bool saving_ = false;
};
