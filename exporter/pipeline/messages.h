// The one service through which the exporter shows messages: a message box
// outside a batch, an error line of the batch log while a batch runs.
#pragma once

#include <string>

#include "exporter/pipeline/format.h"
#include "host/host.h"

namespace kavro {

void show_error(host::Host& host, const std::string& text, const std::string& caption);
void show_message(host::Host& host, const std::string& text, const std::string& caption,
                  host::MessageIcon icon);

}  // namespace kavro
