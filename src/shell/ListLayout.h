#pragma once

class QTabWidget;

namespace vantry::browser {
class ListView;
}

namespace vantry {

// The server list's columns at their design widths with compact cells; the name column takes
// the room the other columns leave.
void layOutServerList(browser::ListView& list);
// The details tabs compact, the players' kills and the rules' names whole beside what stretches.
void layOutDetails(QTabWidget& tabs, browser::ListView& players, browser::ListView& rules);

} // namespace vantry
