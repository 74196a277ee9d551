// The one service through which the exporter shows messages: a message box
// outside a batch, an error line of the batch log while a batch runs.
#pragma once

#include <string>

#include "host/host.h"

namespace kavro {

void show_error(host::Host& host, const std::string& text, const std::string& caption);
void show_message(host::Host& host, const std::string& text, const std::string& caption,
                  host::MessageIcon icon);

// printf-style formatting into a std::string, always in the "C" locale
// conventions (the program never changes its locale).
std::string format(const char* fmt, ...) __attribute__((format(printf, 1, 2)));

}  // namespace kavro
