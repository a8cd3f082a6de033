// SPDX-License-Identifier: GPL-3.0-or-later
// The program's own files read through ui::KeptFile: what each load finds,
// what is moved aside and under which name, and what is told how often.

#include "support/Fakes.h"
#include "support/TestSupport.h"
#include "ui/KeptFile.h"

#include <QDir>
#include <QtTest>

using ui::KeptFile;

class TstKeptFile : public QObject {
    Q_OBJECT
private slots:
    void loads_data();
    void loads();
};

void TstKeptFile::loads_data()
{
    // What is in the file's place before each load ("good", "damaged", a
    // "folder", "none"); whether an unreadable file is kept aside too; the
    // states found; what was told, in order; the kept copies there at the end.
    // In the texts, {f} is the file and {d} the folder.
    QTest::addColumn<QString>("name");
    QTest::addColumn<QStringList>("steps");
    QTest::addColumn<bool>("asideUnreadable");
    QTest::addColumn<QString>("states");
    QTest::addColumn<QStringList>("told");
    QTest::addColumn<QStringList>("kept");
    const QString m = "M {f}", u = "U {f} (it is a folder)", d = "D {f} (not good) as {f}.bad";
    QTest::newRow("missing, twice: told once") << "a.cfg" << QStringList{"none", "none"} << false
                                               << "Missing Missing" << QStringList{m} << QStringList();
    QTest::newRow("good") << "a.cfg" << QStringList{"good"} << false << "Read" << QStringList() << QStringList();
    QTest::newRow("unreadable, left alone, told once")
        << "a.cfg" << QStringList{"folder", "folder"} << false << "Unreadable Unreadable" << QStringList{u}
        << QStringList();
    QTest::newRow("unreadable, read, unreadable again: told again")
        << "a.cfg" << QStringList{"folder", "good", "folder"} << false << "Unreadable Read Unreadable"
        << QStringList{u, u} << QStringList();
    QTest::newRow("unreadable, kept aside")
        << "a.cfg" << QStringList{"folder"} << true << "Unreadable"
        << QStringList{"D {f} (it is a folder) as {f}.bad"} << QStringList{"a.cfg.bad"};
    QTest::newRow("damaged twice: two numbered copies, each told")
        << "a.cfg" << QStringList{"damaged", "damaged"} << false << "Damaged Damaged"
        << QStringList{d, "D {f} (not good) as {d}/a.cfg-2.bad"} << QStringList{"a.cfg.bad", "a.cfg-2.bad"};
    QTest::newRow("a % in the name stays") << "a%2b%3.cfg" << QStringList{"damaged"} << false << "Damaged"
                                           << QStringList{d} << QStringList{"a%2b%3.cfg.bad"};
}

void TstKeptFile::loads()
{
    QFETCH(QString, name);
    QFETCH(QStringList, steps);
    QFETCH(bool, asideUnreadable);
    QFETCH(QString, states);
    QFETCH(QStringList, told);
    QFETCH(QStringList, kept);
    testsupport::ProgramFolder folder;
    const QString path = folder.file(name);
    testsupport::RecordingMessages messages;
    KeptFile::Texts texts;
    texts.missing = "M %1";
    texts.unreadable = asideUnreadable ? "D %1 (%2) as %3" : "U %1 (%2)";
    texts.damaged = "D %1 (%2) as %3";
    texts.notKept = "N %1";
    KeptFile::Policy policy;
    policy.asideUnreadable = asideUnreadable;
    KeptFile file(path, &messages, nullptr, texts, policy);
    const char *const words[] = {"Read", "Missing", "Unreadable", "Damaged"};
    QStringList found;
    for (const QString &step : steps) {
        QDir(folder.path()).rmdir(name);
        QFile::remove(path);
        if (step == "good" || step == "damaged")
            folder.write(name, step.toLatin1());
        if (step == "folder")
            QDir(folder.path()).mkdir(name);
        const auto loaded = file.load([](std::string_view text, std::string *why) {
            *why = "not good";
            return text == "good" ? std::optional<int>(7) : std::nullopt;
        });
        found << words[int(loaded.state)];
        QCOMPARE(loaded.value.has_value(), loaded.state == KeptFile::State::Read);
        QCOMPARE(QFileInfo::exists(path), step != "none" && loaded.keptAs.isEmpty());
    }
    QCOMPARE(found.join(' '), states);
    QStringList expected;
    for (QString t : told)
        expected << t.replace("{f}", QDir::toNativeSeparators(path))
                        .replace("{d}/", QDir::toNativeSeparators(folder.path() + '/'))
                        .replace("{d}", QDir::toNativeSeparators(folder.path()));
    QCOMPARE(messages.texts, expected);
    for (const QString &k : kept)
        QVERIFY2(folder.exists(k), qPrintable(k));
}

QTEST_GUILESS_MAIN(TstKeptFile)
#include "tst_keptfile.moc"
