// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The dial faces of the six meters, drawn once at start-up.

#include <QImage>
#include <QString>

namespace monitor {

// A light half-circle dial of the given pixel size: a black arc, red marks and
// figures at 0, a quarter, half, three quarters and full scale, the red legend
// in the middle and the dark pivot at the bottom centre.
QImage dialImage(int widthPx, int heightPx, int fullScale, const QString &legend);

} // namespace monitor
