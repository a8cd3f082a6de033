// SPDX-License-Identifier: GPL-3.0-or-later
// The desktop settings text and the Exec line of the autostart entry: an
// argument with blanks, quotes, dollars, backslashes or percent signs must
// reach the program as it was.
#include "core/Desktop.h"

#include <QtTest>

class TestDesktopCore : public QObject {
    Q_OBJECT
private slots:
    void execArgument_data()
    {
        QTest::addColumn<QString>("argument");
        QTest::addColumn<QString>("written");
        QTest::newRow("plain path") << "/usr/bin/crestdial" << "/usr/bin/crestdial";
        QTest::newRow("option") << "--folder" << "--folder";
        QTest::newRow("blank") << "/home/me/wind data" << "\"/home/me/wind data\"";
        QTest::newRow("quote, dollar, backtick")
            << "a\"b$c`d" << "\"a\\\\\"b\\\\$c\\\\`d\"";
        // The string escape comes first, then the quoting: four for one.
        QTest::newRow("backslash") << "a\\b" << "\"a\\\\\\\\b\"";
        QTest::newRow("percent is doubled") << "100%" << "\"100%%\"";
        QTest::newRow("empty") << "" << "\"\"";
        QTest::newRow("not ASCII") << QString::fromUtf8("/home/j\u00f6rg") << QString::fromUtf8("\"/home/j\u00f6rg\"");
    }
    void execArgument()
    {
        QFETCH(QString, argument);
        QFETCH(QString, written);
        QCOMPARE(QString::fromStdString(core::execArgument(argument.toStdString())), written);
    }

    void settings_data()
    {
        QTest::addColumn<QByteArray>("text");
        QTest::addColumn<bool>("keepInTray");
        QTest::addColumn<bool>("notify");
        QTest::newRow("empty: both off") << QByteArray() << false << false;
        QTest::newRow("as written") << QByteArray(core::desktopSettingsText({true, true}).c_str()) << true << true;
        QTest::newRow("one tag") << QByteArray("<Notify>1</Notify>") << false << true;
        QTest::newRow("not 1 is off") << QByteArray("<KeepInTray>yes</KeepInTray>") << false << false;
        QTest::newRow("cut off") << QByteArray("<KeepInTray>1</KeepInTray><Notify>1") << true << false;
    }
    void settings()
    {
        QFETCH(QByteArray, text);
        QFETCH(bool, keepInTray);
        QFETCH(bool, notify);
        const core::DesktopSettings s = core::readDesktopSettings(text.toStdString());
        QCOMPARE(s.keepInTray, keepInTray);
        QCOMPARE(s.notify, notify);
    }
};

QTEST_APPLESS_MAIN(TestDesktopCore)
#include "tst_desktop.moc"
