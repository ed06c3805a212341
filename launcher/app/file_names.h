// Names of files the launcher makes from texts it is given (package names, start times).
#pragma once

#include <string>

#include "log.h"

namespace Tevrian {

// Replaces each character that a file name cannot hold, or that makes it awkward on a command
// line (\ / : * ? " < > | space tab ;), with "_".
void SanitizeFileName(std::wstring& text);

// "<sanitized package name>_2024-12-08-23-05-09.log"
std::wstring LogFileName(std::wstring packageName, const LocalTime& time);

}  // namespace Tevrian
