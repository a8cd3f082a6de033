#pragma once
// The main window's alarm banner (white on red, hidden while no alarm is
// raised) and link-status line; each edition places them, the session's
// alarms fill them.

#include <QStringList>

class QLabel;
class QWidget;

namespace alarms {

QLabel *makeBanner(QWidget *parent);
QLabel *makeStatusLine(QWidget *parent);
// Shows the raised alarms (none: hidden), each whole in the tool tip.
void showBanner(QLabel *banner, const QStringList &alarms);

} // namespace alarms
