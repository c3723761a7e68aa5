#include "PanelRegistry.h"

#include "WidgetAdditionalStandings.h"
#include "WidgetAlerts.h"
#include "WidgetClassResults.h"
#include "WidgetDayTime.h"
#include "WidgetDriveTime.h"
#include "WidgetFollow.h"
#include "WidgetGapChart.h"
#include "WidgetLapChart.h"
#include "WidgetMeteo.h"
#include "WidgetPitIn.h"
#include "WidgetPitLights.h"
#include "WidgetPitOut.h"
#include "WidgetPositioning.h"
#include "WidgetRaceControl.h"
#include "WidgetSessionFlags.h"
#include "WidgetSessionInfo.h"
#include "WidgetStanding.h"
#include "WidgetStandingCombined.h"
#include "WidgetStandingFastestLap.h"
#include "WidgetStints.h"
#include "WidgetTimingInfo.h"
#include "WidgetTrackLimits.h"
#include "WidgetTrackPreview.h"
#include "WidgetTyres.h"
#include "WidgetPitWindow.h"

namespace PanelRegistry {

namespace {

template <typename PanelType>
ToolWindow* make(V2DataProvider* provider, QWidget* parent)
{
    return new PanelType(provider, parent);
}

// clang-format off
const Panel kPanels[RowCount] = {
    {"view_daytime", "Day time", "actionDay_time", "Day time", "", {170, 170}, {8, 430, 500, 150}, true, {8, 430, 500, 150}, true, 0},
    {"view_sessioninfo", "Session Info", "actionSession_Info", "Session Info", "", {50, 50}, {8, 130, 500, 300}, false, {8, 130, 500, 300}, true, 0},
    {"view_standing", "Standing", "actionStanding", "Standing", "", {60, 60}, {100, 100, 200, 200}, true, {725, 26, 378, 566}, false, 0},
    {"view_standing_combined", "Combined Standing", "actionStanding_Combined", "Standing Combined", "", {70, 70}, {100, 100, 900, 500}, false, {725, 26, 378, 566}, false, 0},
    {"view_standing_fastest_lap", "Standing Fastest Lap", "actionStanding_Fastest_Lap", "Standing Fastest Lap", "", {190, 190}, {100, 100, 460, 500}, false, {725, 26, 378, 566}, false, 0},
    {"view_standingclass", "Class Standings", "actionClass_Standing_Panel", "Class Standings", "", {80, 80}, {100, 100, 560, 700}, false, {1118, 26, 154, 566}, false, 0},
    {"view_standingtracklimits", "Track Limits", "actionTrackLimits_Standings_Panel", "Track Limits", "Track Limits Standings", {80, 80}, {500, 100, 500, 600}, false, {1118, 26, 154, 566}, false, 0},
    {"view_pitin", "Pit Entry", "actionPit_Entry", "Pit Entry", "", {100, 100}, {100, 100, 200, 200}, false, {754, 626, 222, 137}, false, 0},
    {"view_pitout", "Pit Exit", "actionPit_Exit", "Pit Exit", "", {110, 110}, {100, 100, 200, 200}, false, {991, 626, 281, 137}, false, 0},
    {"view_pitlights", "Pit Lights", "actionPit_Lights", "Pit Lights", "", {200, 200}, {100, 100, 300, 300}, false, {754, 626, 222, 137}, false, 0},
    {"view_timinginfo", "Sector Info", "actionTiming_Info", "Sector Info", "", {90, 90}, {274, 189, 436, 403}, false, {274, 189, 436, 403}, false, 0},
    {"view_follow", "Participant follow", "actionCar_Follow", "Participant Follow", "", {120, 120}, {100, 100, 200, 200}, false, {8, 113, 251, 479}, false, BikeLayout},
    {"view_racecontrol", "Messages", "actionRace_Control_Messages", "Messages", "", {130, 130}, {100, 100, 200, 200}, false, {7, 626, 390, 137}, false, NewestFirst},
    {"view_meteo", "Meteo", "actionMeteo", "Meteo", "", {140, 140}, {100, 100, 200, 200}, false, {412, 626, 328, 137}, false, UsaUnits},
    {"view_lapchart", "Lap Chart", "actionLap_Chart", "Lap Chart", "", {150, 150}, {100, 100, 200, 200}, false, {0, 0, 500, 200}, false, BikeLayout},
    {"view_positioning", "Positioning", "actionPositioning", "Positioning", "", {160, 160}, {100, 100, 500, 200}, false, {100, 100, 500, 200}, false, BikeLayout | OpenGL},
    {"view_stints", "Stints", "actionStints", "Stints", "", {210, 210}, {100, 100, 700, 800}, false, {100, 100, 222, 137}, false, BikeLayout},
    {"view_flags", "Flags", "actionFlags", "Flags", "", {180, 180}, {1280, 118, 182, 645}, true, {725, 26, 680, 600}, false, NewestFirst},
    {"view_tyres", "Tyres", "actionTyres", "Tyres", "Only allowed users can display this information", {220, 220}, {1000, 26, 690, 600}, false, {725, 26, 680, 600}, false, 0},
    {"view_additional_standings", "Additional Standings", "actionAdditional_Standings", "Additional Standings", "", {230, 230}, {100, 100, 1200, 500}, false, {725, 26, 378, 566}, false, UsaUnits},
    {"view_trackpreview", "Track Preview", "actionTrack_Preview", "Track Preview", "", {240, 240}, {725, 26, 378, 566}, false, {725, 26, 378, 566}, false, 0},
    {"view_alerts", "Alerts", "actionAlerts", "Alerts", "", {250, 250}, {1110, 26, 520, 260}, false, {1118, 26, 520, 260}, false, 0},
    {"view_drivetime", "Drive Time", "actionDrive_Time", "Drive Time", "Drive time of the followed cars' drivers against the rules", {250, 250}, {100, 100, 900, 420}, false, {100, 100, 900, 420}, false, 0},
    {"view_pitwindow", "Pit Window", "actionPit_Window", "Pit Window", "Where a car rejoins if it stops now or in the next laps", {250, 250}, {300, 200, 900, 420}, false, {300, 200, 900, 420}, false, 0},
    {"view_gapchart", "Gap Chart", "actionGap_Chart", "Gap Chart", "", {250, 250}, {100, 100, 700, 400}, false, {100, 100, 700, 400}, false, 0},
};
// clang-format on

} // namespace

const Panel& info(int row)
{
    return kPanels[row];
}

void place(ToolWindow* panel, int row)
{
    panel->setPlace(QLatin1String(kPanels[row].group), kPanels[row].ownGeometry, kPanels[row].ownShow);
}

Factories factories()
{
    Factories built{};
    built[DayTime] = &make<WidgetDayTime>;
    built[SessionInfo] = &make<WidgetSessionInfo>;
    built[Standing] = &make<WidgetStanding>;
    built[Flags] = &make<WidgetSessionFlags>;
    built[TrackLimits] = &make<WidgetTrackLimits>;
    built[PitIn] = &make<WidgetPitIn>;
    built[PitOut] = &make<WidgetPitOut>;
    built[PitLights] = &make<WidgetPitLights>;
    built[RaceControl] = &make<WidgetRaceControl>;
    built[Stints] = &make<WidgetStints>;
    built[Tyres] = &make<WidgetTyres>;
    built[TimingInfo] = &make<WidgetTimingInfo>;
    built[Follow] = &make<WidgetFollow>;
    built[StandingCombined] = &make<WidgetStandingCombined>;
    built[StandingFastestLap] = &make<WidgetStandingFastestLap>;
    built[ClassResults] = &make<WidgetClassResults>;
    built[AdditionalStandings] = &make<WidgetAdditionalStandings>;
    built[LapChart] = &make<WidgetLapChart>;
    built[Meteo] = &make<WidgetMeteo>;
    built[Positioning] = &make<WidgetPositioning>;
    built[TrackPreview] = &make<WidgetTrackPreview>;
    built[Alerts] = &make<WidgetAlerts>;
    built[DriveTime] = &make<WidgetDriveTime>;
    built[PitWindow] = &make<WidgetPitWindow>;
    built[GapChart] = &make<WidgetGapChart>;
    return built;
}

QRect mainWindowLayoutGeometry()
{
    return {8, 30, 500, 0};
}

} // namespace PanelRegistry
