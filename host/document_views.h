// The host views (max_views.h) served from a scene document.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "host/max_views.h"
#include "host/scene_document.h"

namespace kavro::max {

class DocumentHost : public HostScene {
 public:
  ~DocumentHost() override = default;
  // Node names that are not in the scene, from a list of names.
  virtual std::vector<std::string> unknown_names(const std::vector<std::string>& names) const = 0;
  // Makes the named nodes the selection, in the order given (every node of a
  // name that several nodes share). False when a name is unknown.
  virtual bool select_by_names(const std::vector<std::string>& names) = 0;
  virtual const doc::SceneDocument& document() const = 0;
};

std::unique_ptr<DocumentHost> make_document_host(doc::SceneDocument document);

}  // namespace kavro::max
