#include "desktop/About.h"
#include "support/Fixture.h"
#include "timing/MainWindow.h"

#include <QAction>
#include <QLabel>
#include <QPushButton>
#include <QtTest>

class TestAbout : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void versionFromRecord() {
        Fixture f;
        QCOMPARE(Form3->windowTitle(), QStringLiteral("About"));
        QCOMPARE(child<QLabel>(Form3, "StaticText2")->text(), QStringLiteral("Version 1.5.1.109"));
        QVERIFY(!child<QLabel>(Form3, "Label4")->isVisibleTo(Form3));
        QVERIFY(child<QLabel>(Form3, "StaticText5")->isVisibleTo(Form3));
        QVERIFY(!Form3->isVisible());
        child<QAction>(Form1, "About1")->trigger();
        QVERIFY(Form3->isVisible());
        QTest::mouseClick(child<QLabel>(Form3, "StaticText5"), Qt::LeftButton);
        QCOMPARE(f.desktopShell.opened, QStringList({platform::webAddress()}));
        QVERIFY(Form3->isVisible());
        child<QPushButton>(Form3, "Button1")->click();
        QVERIFY(!Form3->isVisible());
    }

    // The About box alone, without the rest of the program.
    void noRecordOrOtherTranslation() {
        Fixture f(false);
        f.desktopShell.hasRecord = false;
        {
            TForm3 about;
            QCOMPARE(child<QLabel>(&about, "StaticText2")->text(), QStringLiteral("Version 1.3"));
        }
        f.desktopShell.hasRecord = true;
        f.desktopShell.record.translations = {{0x0409, 0x04E4}};
        TForm3 about;
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
#include "tst_about.moc"
