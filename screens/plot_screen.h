#pragma once

class Control;
class Form;

// The telemetry plot screen ("game09", called from the telemetry browser
// with the two laps it chose): its plot "plot_tel" shows the laps; the
// buttons toggle channels (UserID 0..99, the channel's number), zoom (100
// in, 101 out), lay the channels over each other (102) or apart (103) and
// show the circuit map (104).
void PlotScreenPrepare(Form& form);
bool PlotScreenCommand(Form& form, Control& control);
bool PlotScreenRelease(Form& form);
