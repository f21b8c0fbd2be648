#pragma once

namespace vantry::browser {
class PlayerFinder;
}

namespace vantry {

class TForm1;

// Puts the player search between the main window's buttons and the server list; its servers
// are the window's list, asked at the list rate of the live settings.
browser::PlayerFinder& addPlayerFinder(TForm1& form);

} // namespace vantry
