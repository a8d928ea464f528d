#include "desktop/AboutDialog.h"
#include "support/Fixture.h"

#include <QLabel>
#include <QPushButton>
#include <QtTest>

class TestAbout : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void versionFromRecord() {
        Fixture f;
        AboutDialog about;
        QCOMPARE(about.windowTitle(), QStringLiteral("About"));
        QCOMPARE(child<QLabel>(&about, "StaticText2")->text(), QStringLiteral("Version 1.5.1.109"));
        QVERIFY(!child<QLabel>(&about, "Label4")->isVisibleTo(&about));
        QVERIFY(child<QLabel>(&about, "StaticText5")->isVisibleTo(&about));
        QVERIFY(!about.isVisible());
        about.show();
        QTest::mouseClick(child<QLabel>(&about, "StaticText5"), Qt::LeftButton);
        QCOMPARE(f.desktopShell.opened, QStringList({platform::webAddress()}));
        QVERIFY(about.isVisible());
        QTest::mouseClick(child<QPushButton>(&about, "Button1"), Qt::LeftButton);
        QVERIFY(!about.isVisible());
    }

    // By keyboard: OK has the focus, Tab reaches the address and Enter opens it; Escape
    // closes the box.
    void addressByKeyboard() {
        Fixture f;
        AboutDialog about;
        about.show();
        QVERIFY(QTest::qWaitForWindowActive(&about));
        QCOMPARE(QApplication::focusWidget(), child<QPushButton>(&about, "Button1"));
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        QCOMPARE(QApplication::focusWidget(), child<QLabel>(&about, "StaticText5"));
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
        QCOMPARE(f.desktopShell.opened, QStringList({platform::webAddress()}));
        QVERIFY(about.isVisible());
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Escape);
        QVERIFY(!about.isVisible());
    }

    void noRecordOrOtherTranslation() {
        Fixture f;
        f.desktopShell.hasRecord = false;
        {
            AboutDialog about;
            QCOMPARE(child<QLabel>(&about, "StaticText2")->text(), QStringLiteral("Version 1.3"));
        }
        f.desktopShell.hasRecord = true;
        f.desktopShell.record.translations = {{0x0409, 0x04E4}};
        AboutDialog about;
        QCOMPARE(child<QLabel>(&about, "StaticText2")->text(),
                 QStringLiteral("Version 1.3")); // no "040904E4" table
    }

    void buildRecordCarriesProjectVersion() {
        platform::SystemShell shell;
        QVERIFY(shell.versionRecord());
        QCOMPARE(shell.versionRecord()
                     ->strings.value(QStringLiteral("040504E2"))
                     .value(QStringLiteral("FileVersion")),
                 QStringLiteral(KORVAN_VERSION));
    }
};

QTEST_MAIN(TestAbout)
#include "tst_aboutdialog.moc"
