#pragma once

#include "model/TaskList.h"

#include <QIcon>
#include <QWidget>
#include <functional>
#include <unordered_map>
#include <vector>

class QCheckBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QTableView;
class QTimer;
class TaskGridModel;
class TPopupMenu;
class TTrayIcon;

// The main window: the task list and its grid, the task commands, the options, the tray
// icon with its menu and the three timers. It alone decides which task runs.
class TForm2;
class TForm5;

class TForm1 : public QWidget {
    Q_OBJECT
public:
    // The dialogs it opens for adding, editing and describing tasks.
    void attachDialogs(TForm2* editDialog, TForm5* descriptionPrompt) {
        editDialog_ = editDialog;
        descriptionPrompt_ = descriptionPrompt;
    }
    explicit TForm1(TaskList& tasks, QWidget* parent = nullptr);
    ~TForm1() override;

    // The task list it shows and commands.
    TaskList& Tasks;

    // Settings.
    QString UserName;
    qint32 AutoSaveMinutes = 0;
    qint32 ReminderMinutes = 0;
    bool AutoStart = false;
    bool RequestDescription = false;
    QString ConnectionString;

    // Controls.
    QTableView* StringGrid1;
    QPushButton *Button1, *Button2, *Button3, *Button4, *Button5, *Button6, *Button7, *Button8,
        *Button9, *Button10;
    QCheckBox *CheckBox1, *CheckBox2, *CheckBox3, *CheckBox4;
    QLineEdit *Edit2, *Edit3;
    QLabel *StaticText1, *StaticText2;
    QTimer *Timer1, *Timer2, *Timer3;
    TTrayIcon* TrayIcon1;
    TPopupMenu* PopupMenu1;
    QAction *N1, *About1, *Add1, *N2, *Exit1;

    // Operations used by the rest of the program.
    void RefreshGrid();
    void RefreshMenu();
    void StopAll();
    void SetTaskButtons(bool enabled);
    void LoadSettings();
    void SaveSettings();
    TProject* selectedTask() const;
    void selectTaskRow(int index);

    void setTrayHint(const QString& hint);
    void requestDescriptionFor(TProject* task);
    void runningChanged();
    // The tray menu's entry of a task.
    QAction* menuEntry(const TProject* task) const;
    // The caption an entry shows, without the mnemonic escaping of the menu.
    static QString entryCaption(const QAction* item);
    // The running task's name, empty when none runs.
    QString runningTaskName() const;

    // Event handlers.
    void FormShow();
    void FormHide();
    void Timer1Timer();
    void Timer2Timer();
    void Timer3Timer();
    void Button1Click();
    void Button2Click();
    void Button3Click();
    void Button4Click();
    void Button5Click();
    void Button6Click();
    void Button7Click();
    void Button8Click();
    void Button9Click();
    void Button10Click();
    void StringGrid1DblClick();
    void Add1Click();
    void About1Click();
    void Exit1Click();
    void PopupMenu1Popup();
    void TrayIcon1DblClick();
    void TrayIcon1BalloonClick();
    void CheckBox1Click();
    void CheckBox2Click();
    void CheckBox3Click();
    void CheckBox4Click();
    bool Edit2Exit();
    bool Edit3Exit();

    // Moves the task entries of a menu into caption order; stable, as the bubble sort
    // of the menu code was.
    static void SortMenuEntries(TPopupMenu* menu);

    // Windows the main window opens; set once they exist.
    std::function<void()> openSaveToDb, openDatabase, openAbout;

protected:
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void FormCreate();
    void FormDestroy();
    void buildControls();
    void buildMenu();
    void setUpAutoSaveControls();
    void setUpReminderControls();
    void captureSettings();

    TaskGridModel* gridModel_;
    QIcon idleImage_, runningImage_;
    bool trayShowsRunning_ = false;
    bool checkingMinutes_ = false;
    QTimer* trayCheck_ = nullptr;
    bool firstShow_ = true;

private:
    void followTasks();
    void addEntry(TProject* task);
    void refreshEntry(const TProject* task);

    std::unordered_map<const TProject*, QAction*> menuEntries_;
    TForm2* editDialog_ = nullptr;
    TForm5* descriptionPrompt_ = nullptr;
};

// The data of the tray menu entries that stand for tasks.
constexpr int kTaskMenuTag = 100;

// Converts the text of a minute box; false when it is no integer.
bool parseInteger(const QString& text, qint32& value);
