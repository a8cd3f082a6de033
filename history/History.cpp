#include "History.h"

#include "EnergyPage.h"

#include "ui/Twips.h"

#include <QTabWidget>
#include <QVBoxLayout>

namespace history {

History::History(const ui::Services &services, QWidget *parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("History"));
    setWindowTitle(QStringLiteral("History"));
    setFont(QFont(QStringLiteral("Arial"), 9));
    ui::setColours(this, ui::darkGreen(), ui::brightGreen());
    // The least size comes from the pages' own (see addPage).
    resize(860, 480);

    m_tabs = new QTabWidget(this);
    m_tabs->setObjectName(QStringLiteral("tabs"));
    ui::setColours(m_tabs, ui::darkGreen(), ui::brightGreen());
    m_energy = new EnergyPage(services, m_tabs);
    addPage(m_energy, QStringLiteral("Energy"));

    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(6, 6, 6, 6);
    layout->addWidget(m_tabs);
}

void History::addPage(QWidget *page, const QString &title)
{
    m_tabs->addTab(page, title);
    // Every page must fit whole, whichever is shown.
    if (layout())
        resize(size().expandedTo(sizeHint()).expandedTo(minimumSizeHint()));
}

void History::setToday(double wattHours) { m_energy->setToday(wattHours); }

} // namespace history
