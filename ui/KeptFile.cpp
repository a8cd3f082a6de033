// SPDX-License-Identifier: GPL-3.0-or-later
#include "KeptFile.h"

#include "Files.h"
#include "Services.h"

#include <QDir>
#include <QFileInfo>

namespace ui {

namespace {
const QString kMissing = QStringLiteral("missing"), kUnreadable = QStringLiteral("unreadable"),
              kDamaged = QStringLiteral("damaged"), kNotMade = QStringLiteral("notMade");
} // namespace

KeptFile::KeptFile(QString path, MessageService *messages, QObject *owner, Texts texts, Policy policy)
    : m_path(std::move(path)), m_messages(messages), m_owner(owner), m_texts(std::move(texts)), m_policy(policy)
{ }

KeptFile::KeptFile(QString path, MessageService *messages, QObject *owner, Texts texts)
    : KeptFile(std::move(path), messages, owner, std::move(texts), Policy())
{ }

std::optional<QByteArray> KeptFile::read(Outcome &outcome)
{
    const QFileInfo info(m_path);
    if (!info.exists() && !(m_policy.linkIsFile && info.isSymLink())) {
        outcome.state = State::Missing;
        outcome.text = filled(m_texts.missing, outcome);
        tell(kMissing, outcome.text);
        return std::nullopt;
    }
    std::optional<QByteArray> bytes = readWhole(m_path, &outcome.reason);
    if (!bytes) {
        outcome.state = State::Unreadable;
        if (m_policy.asideUnreadable) {
            moveAside(outcome, m_texts.unreadable, kUnreadable);
        } else {
            outcome.text = filled(m_texts.unreadable, outcome);
            tell(kUnreadable, outcome.text);
        }
    }
    return bytes;
}

void KeptFile::parsed(Outcome &outcome, bool ok, const std::string &words)
{
    if (ok) {
        outcome.state = State::Read;
        for (const QString &c : {kMissing, kUnreadable, kDamaged, kNotMade})
            m_told.remove(c);
        return;
    }
    outcome.state = State::Damaged;
    outcome.reason = QString::fromStdString(words);
    moveAside(outcome, m_texts.damaged, kDamaged);
}

void KeptFile::moveAside(Outcome &outcome, const QString &kept, const QString &condition)
{
    outcome.keptAs = keepAside(m_path);
    if (outcome.keptAs.isEmpty()) {
        outcome.text = filled(m_texts.notKept, outcome);
        tell(condition, outcome.text);
    } else {
        // Each file moved aside is another one: told every time.
        outcome.text = filled(kept, outcome);
        say(outcome.text);
    }
}

bool KeptFile::make(const QByteArray &bytes)
{
    const Outcome none;
    if (replaceWhole(m_path, bytes)) {
        m_told.remove(kNotMade);
        m_told.remove(kMissing);
        say(filled(m_texts.made, none));
        return true;
    }
    tell(kNotMade, filled(m_texts.notMade, none));
    return false;
}

void KeptFile::tell(const QString &condition, const QString &text)
{
    if (!m_messages || text.isEmpty() || m_told.contains(condition))
        return;
    m_told.insert(condition);
    say(text);
}

void KeptFile::say(const QString &text)
{
    if (!m_messages || text.isEmpty())
        return;
    if (m_policy.wait)
        m_messages->inform(m_owner, text);
    else
        m_messages->notify(m_owner, text);
}

QString KeptFile::filled(const QString &text, const Outcome &outcome) const
{
    // In one pass, so that a %1 in a file name or a reason stays as it is.
    QStringList args{QDir::toNativeSeparators(m_path), outcome.reason, QDir::toNativeSeparators(outcome.keptAs)};
    args += m_texts.details;
    QString out;
    out.reserve(text.size());
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (text[i] == QLatin1Char('%') && i + 1 < text.size() && text[i + 1].isDigit()) {
            const int n = text[i + 1].digitValue();
            if (n >= 1 && n <= args.size()) {
                out += args[n - 1];
                ++i;
                continue;
            }
        }
        out += text[i];
    }
    return out;
}

} // namespace ui
