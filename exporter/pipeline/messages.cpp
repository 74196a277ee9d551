#include "exporter/pipeline/messages.h"

namespace kavro {

void show_message(host::Host& host, const std::string& text, const std::string& caption,
                  host::MessageIcon icon) {
  if (host.batch_running()) {
    host.batch_log_error(text);
    return;
  }
  host.message_box(text, caption, icon);
}

void show_error(host::Host& host, const std::string& text, const std::string& caption) {
  show_message(host, text, caption, host::MessageIcon::kError);
}

}  // namespace kavro
