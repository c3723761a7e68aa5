#pragma once

class QMenu;
class QStatusBar;
class V2DataProvider;

// The setting "Share followed cars through this server", next to the
// connection data in the File menu: kept in the settings, handed to the
// provider's TeamFollowSync, its entry saying why sharing does not work
// when the server has no team channel or refuses this user's uploads, and
// that news said once on the status bar.
namespace TeamFollowMenu {

void install(QMenu* fileMenu, QStatusBar* statusBar, V2DataProvider* provider);

} // namespace TeamFollowMenu
