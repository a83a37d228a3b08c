#pragma once

#include <string>

namespace quorvane::cli
{

// Text helpers of the option parser. Values are read strictly: the whole text must be the value.

/** The text in lower case (ASCII). */
std::string lowerCase (std::string s);

/** Lower case without spaces, hyphens and underscores, so "lv426", "LV-426" and "large_room" match. */
std::string foldedName (const std::string& s);

/** True when text ends with ending (given in lower case), letter case ignored. */
bool endsWithIgnoringCase (const std::string& text, const std::string& ending);

/** A number in the shortest general notation, for messages. */
std::string number (double v);

/** Reads a finite decimal number that makes up the whole text. */
bool parseNumber (const std::string& text, double& out);

/** Reads a non-negative whole number (digits only) no larger than maximum. */
bool parseUnsigned (const std::string& text, unsigned long long maximum, unsigned long long& out);

} // namespace quorvane::cli
