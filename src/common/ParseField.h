// Reading one whitespace-separated field of a text as a value of type T.
#pragma once

#include <sstream>
#include <string>

#include "com/com.h"
#include "kelv/kelv.h"
#include "qorqm/MessageText.h"

// Field `n` (counted from 0) of `text`, read by formatted stream extraction:
// the fields 0 to n are extracted one after another and the last value is
// returned. Characters after a number inside the field are ignored ("12abc"
// read as int gives 12). Throws KelvResult E_UNEXPECTED "Found invalid field
// in the string " followed by the text (at most 200 characters of it, control
// characters escaped) when an extraction fails (no field, not a number, out of
// range) and for a negative n.
template <class T>
T ParseField(std::string text, int n)
{
    // One stream per thread, reset for each text: making a stream costs more
    // than reading a number from it.
    thread_local std::istringstream stream;
    stream.clear();
    stream.str(text);
    T value{};
    bool ok = n >= 0;
    for (int i = 0; ok && i <= n; ++i) {
        stream >> value;
        ok = !stream.fail() && !stream.bad();
    }
    if (!ok) {
        throw KelvResult(E_UNEXPECTED, "Found invalid field in the string " + MessageText::Excerpt(text));
    }
    return value;
}
