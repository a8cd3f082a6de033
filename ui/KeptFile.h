// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// One of the program's own files (settings, totals, the power curve), read
// whole with a parser. What is done when it is missing, cannot be read or is
// damaged, and what the user is told, is decided here for all of them:
// - missing: nothing is moved; told (when the owner has a text for it);
//   make() can write the defaults in its place;
// - unreadable: left as it is, since it may hold what the user made (or, for
//   a file that is ours to replace, kept aside like a damaged one);
// - damaged: kept aside under a free numbered name (keepAside), never over an
//   older copy, so that a fresh file can take its place;
// - each condition is told once, and again only after the file was read or
//   made in between.

#include <QByteArray>
#include <QSet>
#include <QString>
#include <QStringList>
#include <optional>
#include <string>
#include <string_view>
#include <type_traits>
#include <utility>

class QObject;

namespace ui {

class MessageService;

class KeptFile {
public:
    enum class State { Read, Missing, Unreadable, Damaged };

    // What the user is told; an empty text is not told. In each, %1 is the
    // file as the platform spells it, %2 why it could not be read (the
    // parser's words when it is damaged), %3 the name it was kept as, and
    // %4 to %9 the owner's `details`.
    struct Texts {
        QString missing;
        QString unreadable;
        QString damaged;
        // Damaged (or unreadable, when kept aside too) and it could not be moved.
        QString notKept;
        // make() wrote the defaults (told every time), or could not.
        QString made, notMade;
        QStringList details;
    };
    struct Policy {
        // The file is ours to replace: one that cannot be read is kept aside.
        bool asideUnreadable = false;
        // A link to nothing is taken as the file (found unreadable) rather
        // than as missing, so that nothing is written through it.
        bool linkIsFile = false;
        // Tell with a message that waits for OK (else one that does not).
        bool wait = false;
    };

    struct Outcome {
        State state = State::Missing;
        QString reason;
        // Where it was moved aside; empty when it was not.
        QString keptAs;
        // The text for what was found (empty when there is none), whether
        // told now or already before.
        QString text;
        // Unreadable or damaged, and still in the file's place.
        bool inTheWay() const
        {
            return (state == State::Unreadable || state == State::Damaged) && keptAs.isEmpty();
        }
    };
    template <class T>
    struct Loaded : Outcome {
        std::optional<T> value; // when Read
    };

    // Without a message service nothing is told.
    KeptFile(QString path, MessageService *messages, QObject *owner, Texts texts, Policy policy);
    KeptFile(QString path, MessageService *messages, QObject *owner, Texts texts);

    const QString &path() const { return m_path; }
    Texts &texts() { return m_texts; }

    // Reads the file and gives it to `parse(std::string_view text, std::string
    // *words)`, which returns std::optional<T>: nullopt (with its words, when
    // it has any) for a damaged file.
    template <class Parse>
    auto load(Parse &&parse)
    {
        using T = typename std::invoke_result_t<Parse, std::string_view, std::string *>::value_type;
        Loaded<T> loaded;
        if (const std::optional<QByteArray> bytes = read(loaded)) {
            std::string words;
            loaded.value = parse(std::string_view(bytes->constData(), size_t(bytes->size())), &words);
            parsed(loaded, loaded.value.has_value(), words);
        }
        return loaded;
    }

    // Writes `bytes` (the defaults) where the file is missing; false when
    // they could not be written.
    bool make(const QByteArray &bytes);

    // Tells `text` once for the owner's own `condition` (a name other than
    // "missing", "unreadable", "damaged" and "notMade").
    void tell(const QString &condition, const QString &text);

private:
    std::optional<QByteArray> read(Outcome &outcome);
    void parsed(Outcome &outcome, bool ok, const std::string &words);
    void moveAside(Outcome &outcome, const QString &kept, const QString &condition);
    QString filled(const QString &text, const Outcome &outcome) const;
    void say(const QString &text);

    QString m_path;
    MessageService *m_messages;
    QObject *m_owner;
    Texts m_texts;
    Policy m_policy;
    QSet<QString> m_told;
};

// A settings file of our own that every text reads as (what is not
// understood takes its default), so it is never damaged: `parse`'s settings,
// the defaults when the file is missing. When it is there but cannot be
// read, `reason` (when given) says why; its owner tells the rest.
template <class Settings>
Settings readOwnSettings(const QString &path, Settings (*parse)(std::string_view), QString *reason = nullptr)
{
    KeptFile file(path, nullptr, nullptr, {});
    const auto loaded = file.load([parse](std::string_view text, std::string *) { return std::optional(parse(text)); });
    if (reason && loaded.state == KeptFile::State::Unreadable)
        *reason = loaded.reason;
    return loaded.value.value_or(Settings());
}

} // namespace ui
