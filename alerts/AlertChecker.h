// Alert evaluation: after a record's quote page was parsed, compares the
// record with its sell and buy targets and raises each reached target once.
#pragma once

#include <string>

// "Y" once a day-high ("HH") or day-low ("LL") notice was raised for any
// stock in this run; "N" at start. Not stored, never reset during a run.
extern std::string DayHighNoticed;
extern std::string DayLowNoticed;

// Checks record i of the watch list ("H", "L", "HH", "LL", in this order) and
// delivers each raised alert by the chosen notification method.
void AlertChecker(int i);
