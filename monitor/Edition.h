// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// What differs between the two programs: the main-window layout, the block of
// numeric read-outs and the graph-window positions.

#include <QString>

namespace graph {
class Graph;
}

namespace monitor {

class Logger;

struct Edition {
    QString name;
    // Places every control of the main window (and creates edition-only ones).
    void (*layoutMainWindow)(Logger &logger) = nullptr;
    // Frame processing also sets the read-out holders 7, 8 and 10 to 13.
    bool hasReadoutBlock = false;
    // Moves the graph window's controls; nullptr keeps the row layout.
    void (*layoutGraphWindow)(graph::Graph &graph) = nullptr;
};

} // namespace monitor
