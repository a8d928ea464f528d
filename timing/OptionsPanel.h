#pragma once

#include <QList>
#include <QObject>

class Countdown;
class QCheckBox;
class QGridLayout;
class QLabel;
class QLineEdit;
class QWidget;
class Options;

// The main window's options: automatic saving and the reminder, each every so many minutes,
// the question about time away from the keyboard, starting with the system, and asking for
// a description when the task changes. The boxes show the settings and change them; the
// auto-save and reminder countdowns follow.
//
// Object names as the tests find them: CheckBox1 with Edit2 and StaticText1 (auto-save),
// CheckBox2 with Edit3 and StaticText2 (reminder), CheckBox5 with Edit4 and StaticText3 (time
// away), CheckBox3 (autostart), CheckBox4 (description).
//
// Its controls are the window's own children, laid out by the grid the window places, so
// that the window finds each by its name before those of the dialogs it holds.
class OptionsPanel : public QObject {
    Q_OBJECT
public:
    OptionsPanel(Options& options, Countdown& autoSave, Countdown& reminder, QWidget* window);

    // The controls in their rows, for the window's layout to take.
    QGridLayout* grid() const { return grid_; }
    // The controls in the order Tab visits them.
    QList<QWidget*> tabOrder() const;
    // The window closes: the minutes in the boxes become the options, and the countdowns
    // follow them. A number that is none is said.
    void capture();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void showSettings();
    void autoSaveToggled();
    void reminderToggled();
    void idleToggled();
    void autoStartToggled();
    void requestDescriptionToggled();
    bool autoSaveMinutesLeft();
    bool reminderMinutesLeft();
    bool idleMinutesLeft();
    void minutesTyped(QLineEdit* edit);

    QWidget* window_;
    QGridLayout* grid_;
    Options& options_;
    Countdown &autoSave_, &reminder_;
    bool checkingMinutes_ = false;
    QCheckBox *autoSaveBox_, *reminderBox_, *idleBox_, *autoStartBox_, *requestDescriptionBox_;
    QLineEdit *autoSaveEdit_, *reminderEdit_, *idleEdit_;
    QLabel *autoSaveUnit_, *reminderUnit_, *idleUnit_;
};

// Converts the text of a minute box; false when it is no integer.
bool parseInteger(const QString& text, qint32& value);
