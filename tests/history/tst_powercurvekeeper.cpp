// SPDX-License-Identifier: GPL-3.0-or-later
// The power curve kept across runs: its file at start, the frames the main
// window hands it, saving, reset, and the page that shows it.
#include "core/Number.h"
#include "editions/Editions.h"
#include "history/PowerCurveKeeper.h"
#include "history/PowerCurvePage.h"
#include "monitor/Logger.h"
#include "support/TestSupport.h"

#include <QLabel>
#include <QPushButton>
#include <QTableWidget>
#include <QtTest>

using history::PowerCurveKeeper;
using history::PowerCurvePage;
using testsupport::FakeServices;
using testsupport::ProgramFolder;

namespace {

// 15 V, 3 A: 45 W; 150 RPM; 5 mph (2.2352 m/s, bin 4) with the delivered calibration.
const QByteArray kFrame = "[<V>614.4</V><I>542</I><R>5</R><S>8</S><M>1</M>]";

core::Calibration delivered() { return core::calibrationFrom(core::defaultCalibrationSettings()); }

// A curve of `frames` frames at 4 m/s and 80 W.
QByteArray curveFile(int frames)
{
    core::PowerCurve c;
    for (int i = 0; i < frames; ++i)
        c.add(core::CurveSample{4, 80, std::nullopt}, core::windUnit("m/s"), i, 1772892309 + i);
    return QByteArray::fromStdString(core::powerCurveText(c));
}

struct Keeper {
    explicit Keeper(const QString &units = "mph") : fake(folder.path())
    {
        keeper = std::make_unique<PowerCurveKeeper>(fake.services(), nullptr);
        keeper->setSettings(units.toStdString(), delivered());
    }
    // Live frames 0.5 s apart.
    void frames(int count, double wind = 5, double watts = 45)
    {
        for (int i = 0; i < count; ++i) {
            fake.clock.advanceMs(500);
            core::Reading r;
            r.WindSpeed = wind;
            r.Watts = watts;
            keeper->frame(core::decodeFrame(kFrame.toStdString()), r, core::DataState::Live,
                          fake.clock.monotonicSeconds());
        }
    }
    std::optional<core::PowerCurve> onDisk(const QString &name = "powercurve.csv") const
    {
        return core::readPowerCurve(folder.read(name).toStdString());
    }
    ProgramFolder folder;
    FakeServices fake;
    std::unique_ptr<PowerCurveKeeper> keeper;
};

} // namespace

class TestPowerCurveKeeper : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { core::setDecimalSeparator('.'); }

    // What is in the program folder at start; the name the file is kept
    // aside under, "" when it is not; what the one message names.
    void fileAtStart_data()
    {
        QTest::addColumn<QString>("setup");
        QTest::addColumn<int>("frames");
        QTest::addColumn<QString>("aside");
        QTest::addColumn<QString>("told");
        QTest::newRow("missing") << "" << 0 << "" << "";
        QTest::newRow("the curve") << "curve" << 3 << "" << "";
        QTest::newRow("damaged") << "damaged" << 0 << "powercurve.csv.bad" << "powercurve.csv.bad";
        QTest::newRow("damaged, an older .bad there")
            << "damaged old-bad" << 0 << "powercurve.csv-2.bad" << "powercurve.csv-2.bad";
        QTest::newRow("empty") << "empty" << 0 << "powercurve.csv.bad" << "powercurve.csv.bad";
        QTest::newRow("a folder in its place") << "folder" << 0 << "powercurve.csv.bad" << "powercurve.csv.bad";
        // The clock set back: the curve goes on, mended.
        QTest::newRow("a bin's time range backwards") << "curve reversed" << 3 << "" << "range in bin 8 (4 m/s)";
    }
    void fileAtStart()
    {
        QFETCH(QString, setup);
        QFETCH(int, frames);
        QFETCH(QString, aside);
        QFETCH(QString, told);
        ProgramFolder folder;
        const QByteArray damaged = curveFile(3).replace("\r\n8,", "\r\n8x,");
        if (setup.contains("curve"))
            folder.write("powercurve.csv", curveFile(3));
        if (setup.contains("damaged"))
            folder.write("powercurve.csv", damaged);
        if (setup.contains("reversed"))
            folder.write("powercurve.csv", curveFile(3).replace(",2026-03-07T14:05:09Z,2026-03-07T14:05:11Z,",
                                                                ",2026-03-07T14:05:11Z,2026-03-07T14:05:09Z,"));
        if (setup.contains("old-bad"))
            folder.write("powercurve.csv.bad", "older");
        if (setup == "empty")
            folder.write("powercurve.csv", "");
        if (setup == "folder")
            QDir(folder.path()).mkdir("powercurve.csv");
        FakeServices fake(folder.path());
        {
            PowerCurveKeeper keeper(fake.services(), nullptr);
            keeper.setSettings("m/s", delivered());
            QCOMPARE(int(keeper.curve().frames()), frames);
            QCOMPARE(fake.messages.texts.size(), told.isEmpty() ? 0 : 1);
            if (!told.isEmpty())
                QVERIFY2(fake.messages.texts.front().contains(told), qPrintable(fake.messages.texts.front()));
            if (!aside.isEmpty()) {
                const QString message = fake.messages.texts.front();
                QVERIFY2(message.contains(QDir::toNativeSeparators(folder.file("powercurve.csv")))
                             && message.contains(QDir::toNativeSeparators(folder.file(aside))),
                         qPrintable(message));
                QVERIFY(folder.exists(aside));
                if (setup.contains("damaged"))
                    QCOMPARE(folder.read(aside), damaged);
                if (setup.contains("old-bad"))
                    QCOMPARE(folder.read("powercurve.csv.bad"), QByteArray("older"));
            }
            // Unchanged: nothing to write (a mended curve is written mended).
            QVERIFY(keeper.save());
            QCOMPARE(folder.exists("powercurve.csv"), setup.startsWith("curve"));
            core::Reading r;
            r.WindSpeed = 6;
            keeper.frame(core::decodeFrame(kFrame.toStdString()), r, core::DataState::Live, 0);
        }
        // Written when the keeper ends, with the new frame.
        const auto back = core::readPowerCurve(folder.read("powercurve.csv").toStdString());
        QVERIFY(back);
        QCOMPARE(int(back->frames()), frames + 1);
        QCOMPARE(fake.messages.texts.size(), told.isEmpty() ? 0 : 1);
    }

    // The main window hands every frame over with the state of the data and
    // writes the curve when it closes.
    void framesFromTheMainWindow()
    {
        ProgramFolder folder;
        FakeServices fake(folder.path());
        folder.write("prog.cfg", testsupport::progCfg("1", "0", "0", "60", "0", "1", "1", " MPH "));
        monitor::Logger logger(fake.services(), editions::crestdial());
        testsupport::FakeSerialPort *port = fake.ports.front();
        for (int i = 0; i < 4; ++i) {
            fake.clock.advanceMs(500);
            port->feed(kFrame);
        }
        port->feed("[<V>614.4</V><R>5</R><S>8</S>]"); // no amps: not live
        fake.clock.advanceSeconds(20);
        port->feed("[<V>614.4</V><I>542</I><S>16</S>]"); // live again, 10 mph: bin 9
        const core::PowerCurve &c = logger.powerCurve()->curve();
        QCOMPARE(int(c.frames()), 5);
        QCOMPARE(int(c.bins()[4].frames), 4);
        QCOMPARE(c.bins()[4].meanWatts(), 45.0);
        QCOMPARE(c.bins()[4].meanRPM().value_or(0), 150.0);
        QCOMPARE(int(c.bins()[9].frames), 1);
        QCOMPARE(c.bins()[4].seconds, 1.5);
        const qint64 start = QDateTime(QDate(2026, 3, 7), QTime(14, 5, 9)).toSecsSinceEpoch();
        QCOMPARE(qint64(c.bins()[4].first), start);
        QCOMPARE(qint64(c.bins()[4].last), start + 2);
        QCOMPARE(qint64(c.bins()[9].first), start + 22);
        QVERIFY(!folder.exists("powercurve.csv"));
        logger.close();
        const auto saved = core::readPowerCurve(folder.read("powercurve.csv").toStdString());
        QVERIFY(saved);
        QVERIFY(*saved == c);
        QCOMPARE(fake.messages.texts, QStringList());
    }

    void savesWhileChangedAndTellsAFailureOnce()
    {
        Keeper k;
        QTimer *timer = k.keeper->findChild<QTimer *>();
        QVERIFY(timer && timer->isActive());
        QVERIFY(timer->interval() <= 60 * 1000);
        k.frames(3);
        QVERIFY(k.keeper->save());
        QCOMPARE(int(k.onDisk()->frames()), 3);

        // A folder in the file's place: the write fails, said once.
        QVERIFY(QFile::remove(k.folder.file("powercurve.csv")));
        QVERIFY(QDir(k.folder.path()).mkdir("powercurve.csv"));
        k.frames(1);
        QVERIFY(!k.keeper->save());
        k.frames(1);
        QVERIFY(!k.keeper->save());
        QCOMPARE(k.fake.messages.texts.size(), 1);
        QVERIFY(k.fake.messages.texts.front().contains("could not be written"));
        QVERIFY(QDir(k.folder.file("powercurve.csv")).removeRecursively());
        QVERIFY(k.keeper->save());
        QCOMPARE(int(k.onDisk()->frames()), 5);
        // Nothing new: the file is not written again.
        QVERIFY(QFile::remove(k.folder.file("powercurve.csv")));
        QVERIFY(k.keeper->save());
        QVERIFY(!k.folder.exists("powercurve.csv"));
    }

    void resetKeepsTheOldFile()
    {
        Keeper k;
        PowerCurvePage page(k.keeper.get(), k.fake.services());
        const QStringList &asked = k.fake.messages.questions;
        k.frames(3);
        page.Reset->click();
        QCOMPARE(asked.size(), 1);
        QVERIFY2(asked.front().contains("powercurve-2026-03-07.csv"), qPrintable(asked.front()));
        QCOMPARE(int(k.keeper->curve().frames()), 3);

        k.fake.messages.answer = true;
        page.Reset->click();
        QCOMPARE(int(k.keeper->curve().frames()), 0);
        QCOMPARE(int(k.onDisk("powercurve-2026-03-07.csv")->frames()), 3);
        QCOMPARE(int(k.onDisk()->frames()), 0);
        QCOMPARE(page.HoursOfData->text(), QString("Hours of data: 0 (0 frames)"));

        k.frames(2);
        page.Reset->click();
        QVERIFY2(asked.last().contains("powercurve-2026-03-07-2.csv"), qPrintable(asked.last()));
        QCOMPARE(int(k.onDisk("powercurve-2026-03-07-2.csv")->frames()), 2);
        QCOMPARE(int(k.onDisk("powercurve-2026-03-07.csv")->frames()), 3);
        QCOMPARE(k.fake.messages.texts, QStringList());
    }

    // A flat 100 W over every bin in m/s gives 876 kWh a year at 5 m/s.
    void pageShowsTheEstimate_data()
    {
        QTest::addColumn<QString>("units");
        QTest::addColumn<QString>("row5");
        QTest::addColumn<QString>("at11");
        QTest::addColumn<QString>("note");
        QTest::newRow("m/s") << "m/s" << "5 m/s|876 kWh|100 %" << "Power at 11 m/s: 100 W" << "";
        QTest::newRow("knots, shown beside") << "knots" << "5 m/s (9.7 knots)|876 kWh|100 %" << "Power at 11 m/s: 100 W" << "";
        QTest::newRow("unknown unit") << "furlongs" << "5 m/s||" << "Power at 11 m/s: needs a known unit"
                                      << "needs a known wind speed unit";
    }
    void pageShowsTheEstimate()
    {
        QFETCH(QString, units);
        QFETCH(QString, row5);
        QFETCH(QString, at11);
        QFETCH(QString, note);
        Keeper k(units);
        // Every bin's centre: 0, 0.5, ... 30 in the curve's unit.
        const double perUnit = k.keeper->unit().toMetresPerSecond.value_or(1);
        for (int bin = 0; bin <= 60; ++bin)
            k.frames(10, bin * 0.5 / perUnit, 100);
        PowerCurvePage page(k.keeper.get(), k.fake.services());
        QStringList cells;
        for (int c = 0; c < 3; ++c)
            cells << page.Estimate->item(1, c)->text();
        QCOMPARE(cells.join('|'), row5);
        QCOMPARE(page.Estimate->isEnabled(), note.isEmpty());
        QCOMPARE(page.PowerAt11->text(), at11);
        QVERIFY2(page.Note->text().contains(note), qPrintable(page.Note->text()));
        QVERIFY(page.HoursOfData->text().startsWith("Hours of data: 0.08 (610 frames)"));
    }

    void exportWritesBinsAndEstimate()
    {
        Keeper k;
        k.frames(12);
        PowerCurvePage page(k.keeper.get(), k.fake.services());
        QString &chosen = k.fake.files.answer;
        page.Export->click(); // cancelled
        QCOMPARE(k.fake.files.starts, QStringList{k.folder.file("powercurve-export-2026-03-07.csv")});
        QVERIFY(!k.folder.exists("powercurve-export-2026-03-07.csv"));

        chosen = k.folder.file("out.csv");
        page.Export->click();
        QCOMPARE(k.folder.read("out.csv"),
                 QByteArray::fromStdString(core::powerCurveExportText(k.keeper->curve())));
        QVERIFY(k.folder.read("out.csv").contains("\r\nannual_average_wind_m_s,"));

        chosen = k.folder.file("no such folder/out.csv");
        page.Export->click();
        QCOMPARE(k.fake.messages.texts.size(), 1);
        QVERIFY(k.fake.messages.texts.front().contains("could not be written"));
    }
};

QTEST_MAIN(TestPowerCurveKeeper)
#include "tst_powercurvekeeper.moc"
