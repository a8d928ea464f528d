#include "widgets/BusyCursor.h"

#include <QCursor>
#include <QGuiApplication>

namespace {
int gDepth = 0;
}

BusyCursor::BusyCursor() {
    if (qobject_cast<QGuiApplication*>(QCoreApplication::instance())) {
        QGuiApplication::setOverrideCursor(Qt::WaitCursor);
        active_ = true;
    }
    ++gDepth;
}

BusyCursor::~BusyCursor() {
    if (active_)
        QGuiApplication::restoreOverrideCursor();
    --gDepth;
}

int BusyCursor::depth() {
    return gDepth;
}
