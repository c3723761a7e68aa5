#pragma once

#include <QPoint>
#include <QRect>

#include <array>

class QWidget;
class ToolWindow;
class V2DataProvider;

// The panels of the program, one row each, in their fixed order: layouts,
// the primary-desktop arrangement and the frame option walk them in this
// order. A row is the one source of a panel's settings group, its own
// default place and its place in the built-in layout; the panel's
// constructor takes its group and own default from its row (`place`).
namespace PanelRegistry {

enum Row {
    DayTime,
    SessionInfo,
    Standing,
    StandingCombined,
    StandingFastestLap,
    ClassResults,
    TrackLimits,
    PitIn,
    PitOut,
    PitLights,
    TimingInfo,
    Follow,
    RaceControl,
    Meteo,
    LapChart,
    Positioning,
    Stints,
    Flags,
    Tyres,
    AdditionalStandings,
    TrackPreview,
    Alerts,
    DriveTime,
    PitWindow,
    GapChart,
    RowCount,
};

// The display options a panel takes from the main window.
enum Option {
    UsaUnits = 1,
    BikeLayout = 2,
    NewestFirst = 4,
    OpenGL = 8,
};

using Factory = ToolWindow* (*)(V2DataProvider* provider, QWidget* parent);
using Factories = std::array<Factory, RowCount>;

struct Panel {
    const char* group;      // settings group inside a layout
    const char* title;      // window title (translated in the "MainWindow" context)
    const char* actionName; // object name of its "Window" menu action
    const char* menuText;
    const char* toolTip;    // empty for none
    QPoint primaryPosition; // "Bring all to primary desktop"
    // The panel's own default place and shown flag: what it takes where the
    // layout being read has no value for it (a panel first opened in a saved
    // layout, a layout that is gone). Not the built-in layout's place.
    QRect ownGeometry;
    bool ownShow;
    QRect layoutGeometry; // in the built-in layout "default"
    bool layoutShow;      // likewise
    int options;
};

const Panel& info(int row);

// Gives a panel its row's settings group and its own default place.
void place(ToolWindow* panel, int row);

// The panels the program has, by row; null where a panel is not built yet.
Factories factories();

// The main window in the built-in layout "default".
QRect mainWindowLayoutGeometry();

} // namespace PanelRegistry
