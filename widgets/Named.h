#pragma once

#include <QLabel>
#include <QLatin1String>
#include <QPushButton>

// A control with the object name by which the tests and the user's view know it.
template <class T> T* named(T* widget, const char* name) {
    widget->setObjectName(QLatin1String(name));
    return widget;
}

inline QPushButton* button(const char* name, const QString& caption) {
    return named(new QPushButton(caption), name);
}

inline QLabel* label(const char* name, const QString& caption) {
    return named(new QLabel(caption), name);
}
