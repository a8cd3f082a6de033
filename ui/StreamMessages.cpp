// SPDX-License-Identifier: GPL-3.0-or-later
#include "StreamMessages.h"

#include "Clock.h"

#include <QDateTime>
#include <QRegularExpression>
#include <sys/stat.h>

namespace ui {

QByteArray StreamMessageService::line(const QString &text)
{
    // A run of breaks (a blank line between paragraphs, CR LF) is one blank.
    static const QRegularExpression breaks(QStringLiteral("[\\r\\n\\x{2028}\\x{2029}]+"));
    QString flat = text;
    flat.replace(breaks, QStringLiteral(" "));
    return flat.trimmed().toLocal8Bit() + '\n';
}

StreamMessageService::Prefix StreamMessageService::prefixFor(std::FILE *out)
{
    const QByteArray stream = qgetenv("JOURNAL_STREAM");
    const int colon = stream.indexOf(':');
    struct stat st { };
    if (colon > 0 && fstat(fileno(out), &st) == 0) {
        bool devOk = false, inoOk = false;
        const qulonglong dev = stream.left(colon).toULongLong(&devOk);
        const qulonglong ino = stream.mid(colon + 1).toULongLong(&inoOk);
        if (devOk && inoOk && dev == qulonglong(st.st_dev) && ino == qulonglong(st.st_ino))
            return Prefix::Journal;
    }
    return Prefix::Time;
}

void StreamMessageService::write(const char *priority, const QString &text)
{
    QByteArray bytes;
    if (m_prefix == Prefix::Journal)
        bytes = priority;
    else if (m_prefix == Prefix::Time)
        bytes = (m_clock ? m_clock->now() : QDateTime::currentDateTime())
                    .toString(QStringLiteral("yyyy-MM-dd HH:mm:ss "))
                    .toLatin1();
    // One write per line, so that lines of several writers never interleave.
    bytes += line(text);
    std::fwrite(bytes.constData(), 1, size_t(bytes.size()), m_out);
    std::fflush(m_out);
}

void StreamMessageService::inform(QObject *, const QString &text) { write("<3>", text); }

void StreamMessageService::notify(QObject *, const QString &text) { write("<4>", text); }

void StreamMessageService::info(const QString &text) { write("<6>", text); }

bool StreamMessageService::ask(QObject *, const QString &question)
{
    write("<4>", question + QStringLiteral(" Answered No: there is no window to ask in."));
    return false;
}

} // namespace ui
