// Reading one whitespace-separated field of a text as a number.
#pragma once

#include <string>

// Field `n` (counted from 0) of `line` read as a double: the fields 0 to n
// are extracted one after another, so each of them must read as a number; a
// field that begins with a number and goes on with other characters ("1.5abc")
// gives that number. Throws KelvResult E_UNEXPECTED "Found invalid field in
// the string " followed by the line when an extraction fails (also for a
// negative n).
double GetFieldAsDouble(std::string line, int n);
