#include "Banner.h"

#include "ui/Twips.h"

#include <QLabel>

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

void showBanner(QLabel *banner, const QStringList &alarms)
{
    const QString text = alarms.join(QStringLiteral("   "));
    if (banner->text() != text) {
        banner->setText(text);
        banner->setToolTip(alarms.join(QLatin1Char('\n')));
    }
    banner->setVisible(!alarms.isEmpty());
}

} // namespace alarms
