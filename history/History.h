// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The History window: the energy of past days, months and years, in pages of
// a tab widget (the "Energy" page first, then "Trends"; others are added
// beside them).

#include "ui/Services.h"

#include <QDialog>
#include <QString>

class QTabWidget;

namespace history {

class EnergyPage;
class TrendsPage;

class History : public QDialog {
    Q_OBJECT
public:
    History(const ui::Services &services, QWidget *parent = nullptr);

    // Adds a page after the others; the window owns it.
    void addPage(QWidget *page, const QString &title);
    // Today's energy as the main window counts it (Wh): today's bar grows with
    // it between the rewrites of energy.csv, which the window reads each minute.
    void setToday(double wattHours);

    EnergyPage *energyPage() const { return m_energy; }
    TrendsPage *trendsPage() const { return m_trends; }
    QTabWidget *tabs() const { return m_tabs; }

protected:
    // Each page owns its keys: the keys that reach the tab bar or the window
    // go to the page shown first.
    bool eventFilter(QObject *watched, QEvent *event) override;
    void keyPressEvent(QKeyEvent *e) override;

private:
    // Sends a key to the page shown; true when the page took it.
    bool offerToPage(QKeyEvent *e);
    bool m_offering = false;
    QTabWidget *m_tabs;
    EnergyPage *m_energy;
    TrendsPage *m_trends;
};

} // namespace history
