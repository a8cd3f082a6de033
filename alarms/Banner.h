// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The main window's alarm banner (white on red, hidden while no alarm is
// raised) and link-status line; each edition places them, the session's
// alarms fill them. The banner's place is the most room it may take: it shows
// every raised alarm whole, on as many lines as that room holds (several on a
// line where they fit, unless its "oneAlarmALine" property is set; shortened to
// "title: value" or to the title when they would not fit, the full texts in
// its tool tip), and it shrinks to the lines it needs, keeping its top, or its
// bottom when aligned to the bottom.

#include <QList>
#include <QStringList>

class QLabel;
class QWidget;

namespace alarms {

QLabel *makeBanner(QWidget *parent);
QLabel *makeStatusLine(QWidget *parent);
// Shows the raised alarms, each given in its three forms longest first
// (none: hidden). The banner's room is its geometry at the first call.
void showBanner(QLabel *banner, const QList<QStringList> &alarms);

} // namespace alarms
