#pragma once

class QMenuBar;
class QWidget;
class V2DataProvider;

// The "Drive time" menu: its rules dialog saves the rules and hands them to
// every open drive-time panel.
namespace DriveTimeMenu {

// Adds the menu to the bar before its last menu (Help).
void install(QMenuBar* bar, QWidget* window, V2DataProvider* provider);

} // namespace DriveTimeMenu
