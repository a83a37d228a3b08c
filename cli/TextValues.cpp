#include "TextValues.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>

namespace quorvane::cli
{

std::string lowerCase (std::string s)
{
    for (auto& c : s)
        c = (char) std::tolower ((unsigned char) c);
    return s;
}

std::string foldedName (const std::string& s)
{
    std::string out;
    for (char c : s)
        if (c != ' ' && c != '-' && c != '_')
            out += (char) std::tolower ((unsigned char) c);
    return out;
}

bool endsWithIgnoringCase (const std::string& text, const std::string& ending)
{
    return text.size() >= ending.size() && lowerCase (text.substr (text.size() - ending.size())) == ending;
}

std::string number (double v)
{
    char text[64];
    std::snprintf (text, sizeof (text), "%g", v);
    return text;
}

bool parseNumber (const std::string& text, double& out)
{
    if (text.empty() || std::isspace ((unsigned char) text.front()))
        return false;
    char* end = nullptr;
    errno = 0;
    const double v = std::strtod (text.c_str(), &end);
    if (end != text.c_str() + text.size() || errno == ERANGE || ! std::isfinite (v))
        return false;
    out = v;
    return true;
}

bool parseUnsigned (const std::string& text, unsigned long long maximum, unsigned long long& out)
{
    if (text.empty() || text.size() > 20
        || ! std::all_of (text.begin(), text.end(), [] (char c) { return c >= '0' && c <= '9'; }))
        return false;
    errno = 0;
    const unsigned long long v = std::strtoull (text.c_str(), nullptr, 10);
    if (errno == ERANGE || v > maximum)
        return false;
    out = v;
    return true;
}

} // namespace quorvane::cli
