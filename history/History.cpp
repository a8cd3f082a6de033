// SPDX-License-Identifier: GPL-3.0-or-later
#include "History.h"

#include "EnergyPage.h"
#include "TrendsPage.h"

#include "ui/Twips.h"

#include <QCoreApplication>
#include <QKeyEvent>
#include <QTabBar>
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
    m_trends = new TrendsPage(services, {}, m_tabs);
    addPage(m_trends, QStringLiteral("Trends"));

    // The tab bar takes the focus when it is clicked, and when a page's
    // focused button is disabled; its arrows then belong to the page shown.
    m_tabs->tabBar()->installEventFilter(this);

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

bool History::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == m_tabs->tabBar() && event->type() == QEvent::KeyPress
        && offerToPage(static_cast<QKeyEvent *>(event)))
        return true;
    return QDialog::eventFilter(watched, event);
}

void History::keyPressEvent(QKeyEvent *e)
{
    // A key that reaches the window itself: nothing inside took it.
    if (e->key() == Qt::Key_Escape || !offerToPage(e))
        QDialog::keyPressEvent(e);
}

bool History::offerToPage(QKeyEvent *e)
{
    QWidget *page = m_tabs->currentWidget();
    // A key the page does not take comes back up through this window.
    if (!page || m_offering)
        return false;
    m_offering = true;
    // Handlers that do not take a key ignore it.
    e->accept();
    QCoreApplication::sendEvent(page, e);
    m_offering = false;
    return e->isAccepted();
}

void History::setToday(double wattHours) { m_energy->setToday(wattHours); }

} // namespace history
