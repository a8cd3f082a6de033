// SPDX-License-Identifier: GPL-3.0-or-later
#include "Banner.h"

#include "ui/Twips.h"

#include <QLabel>
#include <QVariant>
#include <algorithm>

namespace alarms {

QLabel *makeBanner(QWidget *parent)
{
    auto *l = new QLabel(parent);
    l->setObjectName(QStringLiteral("AlarmBanner"));
    QFont f(QStringLiteral("Arial"), 9);
    f.setBold(true);
    l->setFont(f);
    l->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    l->setIndent(4);
    l->setTextFormat(Qt::PlainText);
    ui::setColours(l, QColor(200, 0, 0), Qt::white);
    l->hide();
    return l;
}

QLabel *makeStatusLine(QWidget *parent)
{
    auto *l = new QLabel(parent);
    l->setObjectName(QStringLiteral("LinkStatus"));
    l->setFont(QFont(QStringLiteral("Arial"), 8));
    l->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    ui::setColours(l, ui::darkGreen(), ui::brightGreen());
    return l;
}

void showBanner(QLabel *banner, const QList<QStringList> &alarms)
{
    // As the edition placed it: the most room the banner may take.
    if (!banner->property("room").isValid())
        banner->setProperty("room", banner->geometry());
    const QRect room = banner->property("room").toRect();
    if (alarms.isEmpty()) {
        banner->setText(QString());
        banner->setToolTip(QString());
        banner->hide();
        return;
    }
    QStringList full;
    for (const QStringList &forms : alarms)
        full << forms.value(0);
    // The alarms go on as few lines as they need, each one whole, in the
    // longest form with which all of them fit the banner's room; the tool tip
    // always holds them in full.
    const QFontMetrics fm(banner->font());
    const int margin = banner->indent() >= 0 ? banner->indent() : 0;
    const int width = room.width() - 2 * margin - 2 * banner->margin();
    const int maxLines = std::max(1, (room.height() - 2 * banner->margin() - 2) / fm.lineSpacing());
    const QString gap = QStringLiteral("   ");
    // An edition whose banner grows into free room gives each alarm a line,
    // as long as they all have one; else they share lines as elsewhere.
    const bool oneALine = banner->property("oneAlarmALine").toBool();
    QStringList lines;
    bool fits = false;
    for (const bool ownLines : {true, false}) {
        if (ownLines && !oneALine)
            continue;
        for (int form = 0; form < 3 && !fits; ++form) {
            lines.clear();
            fits = true;
            for (const QStringList &forms : alarms) {
                const QString part = forms.value(form);
                if (!ownLines && !lines.isEmpty() && fm.horizontalAdvance(lines.last() + gap + part) <= width)
                    lines.last() += gap + part;
                else
                    lines << part;
                fits = fits && fm.horizontalAdvance(lines.last()) <= width;
            }
            fits = fits && lines.size() <= maxLines;
        }
        if (fits)
            break;
    }
    const QString text = lines.join(QLatin1Char('\n'));
    if (banner->text() != text)
        banner->setText(text);
    const QString tip = full.join(QLatin1Char('\n'));
    if (banner->toolTip() != tip)
        banner->setToolTip(tip);
    // The banner takes the lines it needs from its room: from the top, or from
    // the bottom when the edition aligns it there.
    const int height = std::min(room.height(), int(lines.size()) * fm.lineSpacing() + 2 * banner->margin() + 6);
    QRect r = room;
    if (banner->alignment() & Qt::AlignBottom)
        r.setTop(r.bottom() - height + 1);
    else
        r.setHeight(height);
    banner->setGeometry(r);
    banner->show();
}

} // namespace alarms
