// Names of files the launcher makes from texts it is given (package names, start times).
#pragma once

#include <cstddef>
#include <string>

#include "../shared/local_time.h"
#include "../shared/stamped_file_name.h"

namespace Tevrian {

// "<sanitized package name>_2024-12-08-23-05-09.log", at most `maxLength` characters: a long
// package name is cut so that the name always ends with the time and ".log". Empty when not even
// that fits.
std::wstring LogFileName(std::wstring packageName, const LocalTime& time, std::size_t maxLength = 255);

}  // namespace Tevrian
