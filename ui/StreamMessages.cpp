// SPDX-License-Identifier: GPL-3.0-or-later
#include "StreamMessages.h"

#include <QRegularExpression>

namespace ui {

QByteArray StreamMessageService::line(const QString &text)
{
    // A run of breaks (a blank line between paragraphs, CR LF) is one blank.
    static const QRegularExpression breaks(QStringLiteral("[\\r\\n\\x{2028}\\x{2029}]+"));
    QString flat = text;
    flat.replace(breaks, QStringLiteral(" "));
    return flat.trimmed().toLocal8Bit() + '\n';
}

void StreamMessageService::write(const QString &text)
{
    // One write per line, so that lines of several writers never interleave.
    const QByteArray bytes = line(text);
    std::fwrite(bytes.constData(), 1, size_t(bytes.size()), m_out);
    std::fflush(m_out);
}

void StreamMessageService::inform(QObject *, const QString &text) { write(text); }

void StreamMessageService::notify(QObject *, const QString &text) { write(text); }

bool StreamMessageService::ask(QObject *, const QString &question)
{
    write(question + QStringLiteral(" Answered No: there is no window to ask in."));
    return false;
}

} // namespace ui
