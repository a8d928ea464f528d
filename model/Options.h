#pragma once

#include "model/SettingsStore.h"

#include <QObject>

// The user's options as the program holds them: read as Settings, changed through the
// setters, and each change announced, so that whoever keeps them (the store, by way of the
// watchman) hears of it however the change came about.
class Options : public QObject {
    Q_OBJECT
public:
    explicit Options(QObject* parent = nullptr) : QObject(parent) {}

    const Settings& values() const { return values_; }
    // The options as the store holds them: no change of the user's, nothing to announce.
    void load(const Settings& values) { values_ = values; }

    void setUserName(const QString& name) { set(&Settings::userName, name); }
    void setAutoSaveMinutes(qint32 minutes) { set(&Settings::autoSaveMinutes, minutes); }
    void setReminderMinutes(qint32 minutes) { set(&Settings::reminderMinutes, minutes); }
    void setIdleMinutes(qint32 minutes) { set(&Settings::idleMinutes, minutes); }
    void setAutoStart(bool autoStart) { set(&Settings::autoStart, autoStart); }
    void setRequestDescription(bool request) { set(&Settings::requestDescription, request); }
    void setConnection(const QString& connection) { set(&Settings::connection, connection); }

Q_SIGNALS:
    // An option changed: it is to be kept with the tasks.
    void changed();

private:
    template <class T> void set(T Settings::*option, const T& value) {
        if (values_.*option == value)
            return;
        values_.*option = value;
        Q_EMIT changed();
    }

    Settings values_;
};
