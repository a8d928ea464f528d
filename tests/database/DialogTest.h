#pragma once

#include "database/DatabaseDialog.h"
#include "support/Databases.h"
#include "support/Fixture.h"

#include <QLocale>
#include <QObject>
#include <memory>

// What the Database dialog's tests share: both engines for the whole run, and for each test
// function a fixture's work records with the dialog on them, numbers in en_US notation.
class DialogTest : public QObject {
protected:
    std::unique_ptr<TestDatabases> dbs_;
    std::unique_ptr<Fixture> f_;
    std::unique_ptr<DatabaseDialog> setup_;

    void startRun() { dbs_ = std::make_unique<TestDatabases>(); }
    void endRun() { dbs_.reset(); }
    void startTest() {
        f_ = std::make_unique<Fixture>();
        setup_ = std::make_unique<DatabaseDialog>(f_->records());
        QLocale::setDefault(QLocale(QStringLiteral("en_US")));
    }
    void endTest() {
        setup_.reset();
        f_.reset();
        QLocale::setDefault(QLocale::c());
    }
};
