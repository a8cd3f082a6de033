// SPDX-License-Identifier: GPL-3.0-or-later
// The Archive page of the Options window: what it saves and what it refuses.

#include "archive/ArchivePage.h"
#include "core/Archive.h"
#include "support/TestSupport.h"

#include <QLineEdit>
#include <QtTest>

class TstArchivePage : public QObject {
    Q_OBJECT
private slots:
    void save_data()
    {
        QTest::addColumn<QString>("entry");
        QTest::addColumn<int>("saved"); // -1: refused
        QTest::newRow("a month") << "30" << 30;
        QTest::newRow("for ever") << "0" << 0;
        QTest::newRow("blanks around") << " 365 " << 365;
        QTest::newRow("negative") << "-1" << -1;
        QTest::newRow("a fraction") << "1.5" << -1;
        QTest::newRow("empty") << "" << -1;
        QTest::newRow("words") << "two years" << -1;
    }
    void save()
    {
        QFETCH(QString, entry);
        QFETCH(int, saved);
        testsupport::ProgramFolder folder;
        testsupport::FakeServices fake(folder.path());
        archive::ArchivePage page(fake.services());
        QCOMPARE(page.MinuteDays->text(), QString("730"));
        page.MinuteDays->setText(entry);
        QCOMPARE(page.save(), saved >= 0);
        QCOMPARE(fake.messages.texts.size(), saved >= 0 ? 0 : 1);
        QCOMPARE(folder.exists("archive.cfg"), saved >= 0);
        if (saved >= 0)
            QCOMPARE(core::readArchiveSettings(folder.read("archive.cfg").toStdString()).minuteDays, saved);
    }
};

QTEST_MAIN(TstArchivePage)
#include "tst_archivepage.moc"
