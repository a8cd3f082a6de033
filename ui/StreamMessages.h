// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Messages for a program without windows: each one a line on standard error
// (or the stream given), so a terminal or a service's log shows it.

#include "Services.h"

#include <QByteArray>
#include <cstdio>

namespace ui {

class StreamMessageService : public MessageService {
public:
    explicit StreamMessageService(std::FILE *out = stderr) : m_out(out) { }

    void inform(QObject *owner, const QString &text) override;
    void notify(QObject *owner, const QString &text) override;
    // No one can answer: the answer is No, and the line says so.
    bool ask(QObject *owner, const QString &question) override;

    // The line written for `text`, ending in "\n": its line breaks become
    // blanks so that a log reader keeps each message on one line. Anything a
    // log wants in front of the text goes here.
    static QByteArray line(const QString &text);

private:
    void write(const QString &text);

    std::FILE *m_out;
};

} // namespace ui
