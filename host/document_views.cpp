#include "host/document_views.h"

#include "host/document_scene_views.h"

namespace kavro::max {

std::unique_ptr<DocumentHost> make_document_host(doc::SceneDocument document) {
  return std::make_unique<docview::Views>(std::move(document));
}

}  // namespace kavro::max
