#pragma once

#include <QDialog>

class QLineEdit;
class QPlainTextEdit;
class QPushButton;
class TDBLookupComboBox;
class TProject;
class WorkRecords;
class TForm1;

// Creates a task or changes one: name, recorded time, description, project and activity.
class TForm2 : public QDialog {
    Q_OBJECT
public:
    TForm2(WorkRecords& records, TForm1* mainWindow);
    ~TForm2() override;

    TProject* EditedTask = nullptr;

    QLineEdit* Edit1;
    QLineEdit* MaskEdit1;
    QPushButton *Button1, *Button2;
    QPlainTextEdit* Memo1;
    TDBLookupComboBox* DBLookupComboBox1; // projects
    TDBLookupComboBox* DBLookupComboBox2; // activities

    void EditTask(TProject* task);
    int NewTask();
    void FormShow();
    void FormClose();
    // Stores what the dialog shows into the task (a new one for "&Add"); false, with the
    // message shown and nothing changed, when the recorded time is no valid time.
    bool Button1Click();

    // The recorded time typed as h:mm:ss with the locale's time separator, as a fraction of
    // a day; false when it is no valid time (hours 0-9999, minutes and seconds 0-59).
    static bool parseRecordedTime(const QString& text, double& days);
    static QString timeSeparator();

protected:
    void showEvent(QShowEvent* event) override;
    void done(int result) override;

private:
    WorkRecords& records_;
    TForm1* mainWindow_;
    QString shownTime_;
};
