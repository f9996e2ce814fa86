#pragma once

#include <cstdint>

class Control;
class Form;

// The screens that show the outcome of sessions: the results of a session
// ("game0702"), the timing screen of a running weekend ("game07"), the
// championship standings after an event ("Sim11", "Arcade09"), the results
// of an event ("Sim13") and the track records ("Sim12", "Arcade10"). They
// read the championship and the track records and write nothing but the
// standings order.
//
// Their tables are column labels, one row per rider, each row ending with a
// line break; names upper-cased, times "%02d:%02d:%02d" or "-:-:-". A
// table's label that the screen lacks throws "not found"; captions and
// pictures that it lacks are left out.

// The menu states the standings screens lead to at the end of a season.
inline constexpr std::int32_t kSimSeasonEndState = 104;
inline constexpr std::int32_t kArcadeSeasonEndState = 105;
inline constexpr std::int32_t kNetworkLobbyState = 201;
// The state in which "Sim13" shows the event just run.
inline constexpr std::int32_t kEventResultsState = 107;

// "game0702": the current event's results of its session kind in
// "lbl_position", "lbl_Rider", "lbl_bike" and "lbl_time" (best lap in the
// timed sessions, race time in the races; the sessions 4 to 6 keep no
// results and show none); the player's row is the current row.
void ShowSessionResults(Form& form);

// "game07": the track picture and the captions of the session kind, then
// the table of "game0702".
void ShowWeekendTiming(Form& form);
// The commands take the screen and the control that reported (its
// UserID tells them apart).
// "game07" commands: 1 toggles "accelerate_time" between its rows 0
// (normal time) and 1 (the session clock runs faster), 2 puts it back to
// row 0.
bool WeekendTimingCommand(Form& form, Control& control);
// Whether "accelerate_time" asks for the faster clock (a row other than 0).
bool AcceleratedTime(const Form& form);

// "Sim11", "Arcade09": the championship standings after the current event.
void ShowStandings(Form& form);
// "Sim11" and "Arcade09" commands: the question before leaving, the next
// event (or the end of the season), saving the championship.
bool StandingsCommand(Form& form, Control& control);

// "Sim13": the results of one event ("Track_var") in one view ("Race_var":
// 0 and 1 the qualifying sessions, 2 and 3 the races, 4 the points).
void ShowEventResults(Form& form);
bool EventResultsCommand(Form& form, Control& control);

// "Sim12", "Arcade10": the records of one track ("Track_var") in one list
// ("Lap_var": 0 to 4 the race times of each race length, 5 the best laps),
// from the simulation or the arcade records.
void ShowTrackRecords(Form& form);
bool TrackRecordsCommand(Form& form, Control& control);
