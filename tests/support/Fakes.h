// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Stand-ins for the seams a window is built with, for tests and benchmarks:
// a settable clock, a serial port fed by hand, recorded message boxes and
// modal windows run by a script. The programs never link these.

#include "ui/Clock.h"
#include "ui/SerialPort.h"
#include "ui/Services.h"

#include <QByteArray>
#include <QDateTime>
#include <QList>
#include <QString>
#include <QStringList>
#include <functional>
#include <vector>

namespace testsupport {

// A settable clock.
class FakeClock : public ui::Clock {
public:
    explicit FakeClock(QDateTime start = QDateTime(QDate(2026, 3, 7), QTime(14, 5, 9))) : m_now(std::move(start))
    { }
    QDateTime now() const override
    {
        const QDateTime t = m_now;
        m_now = m_now.addMSecs(msPerRead);
        return t;
    }
    // Moves with the time set, as a machine's clock does while it runs (and
    // sleeps), except for steps of the wall clock alone (stepWall).
    double monotonicSeconds() const override { return (m_now.toMSecsSinceEpoch() - m_wallSteps) / 1000.0; }
    void set(const QDateTime &t) { m_now = t; }
    void advanceSeconds(qint64 s) { m_now = m_now.addSecs(s); }
    void advanceMs(qint64 ms) { m_now = m_now.addMSecs(ms); }
    // The wall clock set by hand or by a time server: the monotonic clock
    // goes on as it was.
    void stepWall(qint64 s)
    {
        m_now = m_now.addSecs(s);
        m_wallSteps += s * 1000;
    }
    // Time passes by this much at every read of the wall clock (a start that
    // straddles midnight).
    qint64 msPerRead = 0;

private:
    mutable QDateTime m_now;
    qint64 m_wallSteps = 0;
};

// A serial port without a device: feed() queues bytes and raises received().
class FakeSerialPort : public ui::SerialPort {
    Q_OBJECT
public:
    using ui::SerialPort::SerialPort;
    bool open() override;
    void close() override { m_open = false; }
    bool isOpen() const override { return m_open; }
    QByteArray readAll() override;
    void clearInput() override { m_waiting.clear(); }

    // Test controls.
    void setFailOpen(bool fail) { m_failOpen = fail; }
    // The device the port resolves to; open() records it as the opened one.
    void setDevice(const QString &device) { m_device = device; }
    QString currentDevice() const override { return m_device; }
    void feed(const QByteArray &bytes);
    void loseLink();
    int openCalls() const { return m_openCalls; }
    QList<int> openedPorts() const { return m_openedPorts; }

private:
    bool m_open = false;
    bool m_failOpen = false;
    int m_openCalls = 0;
    QList<int> m_openedPorts;
    QByteArray m_waiting;
    QString m_device = QStringLiteral("fake");
};

// Records messages instead of showing them; questions are recorded apart
// and answered with `answer` (No unless a test says Yes).
class RecordingMessages : public ui::MessageService {
public:
    void inform(QObject *, const QString &text) override { texts << text; }
    void notify(QObject *, const QString &text) override { texts << text; }
    bool ask(QObject *, const QString &question) override
    {
        questions << question;
        return answer;
    }
    QStringList texts;
    QStringList questions;
    bool answer = false;
};

// Runs a callback with the dialog instead of waiting for a person; the callback
// presses buttons or closes the dialog. Without one the dialog is just closed.
class ScriptedModalRunner : public ui::ModalRunner {
public:
    void run(QDialog *dialog) override;
    std::function<void(QDialog *)> onRun;
    int runs = 0;
};

// Answers every file chooser with `answer` ("" = cancelled) and records
// what was asked: the titles, and the start folders or suggested files.
class ScriptedFiles : public ui::FileChooser {
public:
    QString openFile(QObject *, const QString &title, const QString &start, const QString &) override
    {
        return chosen(title, start);
    }
    QString saveFile(QObject *, const QString &title, const QString &suggested, const QString &) override
    {
        return chosen(title, suggested);
    }
    QString answer;
    QStringList asked;
    QStringList starts;

private:
    QString chosen(const QString &title, const QString &start)
    {
        asked << title;
        starts << start;
        return answer;
    }
};

// Fake clock, recorded messages, scripted modal windows and fake ports. Every
// port made is kept in `ports` (the window owns it; the pointer is for tests).
struct FakeServices {
    explicit FakeServices(const QString &folder);
    ui::Services services();

    QString folder;
    FakeClock clock;
    RecordingMessages messages;
    ScriptedModalRunner modal;
    ScriptedFiles files;
    std::vector<FakeSerialPort *> ports;
    bool failOpen = false;
};

} // namespace testsupport
