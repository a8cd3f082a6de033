// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Messages for a program without windows: each one a line on standard error
// (or the stream given), so a terminal or a service's log shows it.

#include "Services.h"

#include <QByteArray>
#include <cstdio>

namespace ui {

class Clock;

class StreamMessageService : public MessageService {
public:
    // What stands before each line: nothing; the journal's priority ("<3>"
    // for a message a window would wait on, "<4>" for one it would not, "<6>"
    // for what the program tells of itself), as the journal adds its own
    // time; or the local time ("2026-12-08 14:05:15 ").
    enum class Prefix { None, Journal, Time };

    explicit StreamMessageService(std::FILE *out = stderr, Prefix prefix = Prefix::None,
                                  const Clock *clock = nullptr)
        : m_out(out), m_prefix(prefix), m_clock(clock)
    { }

    void inform(QObject *owner, const QString &text) override;
    void notify(QObject *owner, const QString &text) override;
    // No one can answer: the answer is No, and the line says so.
    bool ask(QObject *owner, const QString &question) override;
    // What the program says of itself (started, settings read again, ending).
    void info(const QString &text);

    // The line written for `text`, ending in "\n": its line breaks become
    // blanks so that a log reader keeps each message on one line. Anything a
    // log wants in front of the text goes here.
    static QByteArray line(const QString &text);
    // Journal when `out` is the stream the journal gave this process
    // (JOURNAL_STREAM names its device and inode), else Time.
    static Prefix prefixFor(std::FILE *out);

private:
    void write(const char *priority, const QString &text);

    std::FILE *m_out;
    Prefix m_prefix;
    const Clock *m_clock;
};

} // namespace ui
