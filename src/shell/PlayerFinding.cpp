#include "PlayerFinding.h"

#include "ScanGames.h"
#include "browser/PlayerSearch.h"
#include "browser/ui/PlayerFinder.h"
#include "options/LiveSettings.h"

#include <QBoxLayout>

namespace vantry {

browser::PlayerFinder& addPlayerFinder(TForm1& form)
{
    auto* search = new browser::PlayerSearch(
        form.queries(), form.servers(), form.clock(), [&form] { return form.liveSettings().listRate(); },
        &form);
    auto* finder = new browser::PlayerFinder(*search, form.centralWidget());
    if (auto* column = qobject_cast<QBoxLayout*>(form.centralWidget()->layout()))
        column->insertWidget(1, finder);
    return *finder;
}

} // namespace vantry
