#pragma once

#include <QLabel>
#include <QLatin1String>
#include <QPushButton>
#include <initializer_list>
#include <utility>

#include "platform/Error.h"

// A control with the object name by which the tests and the user's view know it.
template <class T> T* named(T* widget, const char* name) {
    widget->setObjectName(QLatin1String(name));
    return widget;
}

inline QPushButton* button(const char* name, const QString& caption) {
    return named(new QPushButton(caption), name);
}

// Each button's clicks run the window's handler; an error it throws is reported.
template <class W>
void onClicks(W* window, std::initializer_list<std::pair<QPushButton*, void (W::*)()>> handlers) {
    for (const auto& [button, handler] : handlers) {
        const auto h = handler;
        QObject::connect(button, &QPushButton::clicked, window,
                         [window, h] { platform::guarded([window, h] { (window->*h)(); }); });
    }
}

inline QLabel* label(const char* name, const QString& caption) {
    return named(new QLabel(caption), name);
}
