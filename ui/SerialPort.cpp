// SPDX-License-Identifier: GPL-3.0-or-later
#include "SerialPort.h"

namespace ui {

bool parseLineSettings(const QString &text, LineSettings *out)
{
    const QStringList parts = text.split(QLatin1Char(','));
    if (parts.size() != 4)
        return false;
    bool ok1 = false, ok2 = false, ok3 = false;
    LineSettings s;
    s.baud = parts[0].trimmed().toInt(&ok1);
    const QString parity = parts[1].trimmed().toUpper();
    s.dataBits = parts[2].trimmed().toInt(&ok2);
    s.stopBits = parts[3].trimmed().toInt(&ok3);
    if (!ok1 || !ok2 || !ok3 || s.baud <= 0 || parity.size() != 1 || !QString("NEOMS").contains(parity)
        || s.dataBits < 5 || s.dataBits > 8 || (s.stopBits != 1 && s.stopBits != 2))
        return false;
    s.parity = parity[0].toLatin1();
    if (out)
        *out = s;
    return true;
}

bool SerialPort::setSettings(const QString &settings)
{
    if (!parseLineSettings(settings, nullptr))
        return false;
    m_settings = settings;
    return true;
}

QString systemDeviceForPort(int number)
{
#ifdef Q_OS_WIN
    // Windows names only COM1 to COM9 without the device namespace's prefix.
    return (number < 10 ? QStringLiteral("COM%1") : QStringLiteral("\\\\.\\COM%1")).arg(number);
#else
    return QStringLiteral("/dev/ttyS%1").arg(number - 1);
#endif
}

} // namespace ui
