// Internal to the document views: the conversions and class ids the views
// of a scene document share.
#pragma once

#include "host/max_views.h"
#include "host/scene_document.h"

namespace kavro::max::docview {

using doc::ObjectClass;

// Host Z-up to IGame Y-up for row vectors: p_y = p_z * kToYUp.
const Matrix3& to_y_up();
const Matrix3& to_z_up();

Class_ID object_class_id(ObjectClass c);
IGameType igame_type(ObjectClass c);
Class_ID material_class_id(const doc::Material& m);

class Views;

}  // namespace kavro::max::docview
