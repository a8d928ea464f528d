#pragma once

#include "platform/Deferred.h"

#include <QDialog>
#include <functional>

class QCheckBox;
class QLabel;
class QPlainTextEdit;
class QPushButton;
class QWindow;
class Task;
class TaskList;

// Asks for what the user is doing when a task starts.
class DescriptionDialog : public Deferred<QDialog> {
    Q_OBJECT
public:
    explicit DescriptionDialog(TaskList& tasks, QWidget* parent = nullptr);

    // The tray menu stays shut while the prompt is open (a task chosen there would not be
    // the one asked about).
    std::function<void(bool enabled)> setTrayMenuEnabled;
    // The user's answer to "Do not show this dialog next time".
    std::function<void(bool request)> setRequestDescription;
    ~DescriptionDialog() override;

    // Opens the prompt for a task whose clock has just started. While it is open for
    // another task, it stays with that one (its text goes to the task it names), and the
    // prompt for the task started meanwhile opens once it is answered, if that task still
    // runs; of several started meanwhile, the last.
    void prompt(Task* task);
    void done(int result) override;

    // The text with a line break added when its last line is not empty.
    static QString withFreshLine(const QString& text);

protected:
    void buildControls() override;
    void showEvent(QShowEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void onShown();
    void keepTheKeys(QWindow* focused);
    // Object names: Label1 (the request), Label2 ("Task: "), Label3 (the task's name),
    // Memo1, CheckBox1 ("Do not show this dialog next time"), Button1 (OK), Button2.
    QLabel* requestLabel_ = nullptr;
    QLabel* taskCaption_ = nullptr;
    QLabel* taskName_ = nullptr;
    QPlainTextEdit* descriptionEdit_ = nullptr;
    QCheckBox* doNotAskBox_ = nullptr;
    QPushButton* okButton_ = nullptr;
    QPushButton* cancelButton_ = nullptr;
    TaskList& tasks_;
    quint64 promptedTask_ = 0; // by identity: it may be removed meanwhile
    quint64 nextTask_ = 0;     // started while the prompt was open
};
