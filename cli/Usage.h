#pragma once

#include <string>

namespace quorvane::cli
{

/** The text printed by --help. */
std::string helpText();

/** The text printed by --list: every reverb mode and every parameter with range, default and unit. */
std::string listText();

} // namespace quorvane::cli
