// The reader's value kinds: JSON pointer paths, points, rotations and
// animation tracks.
#include <cmath>
#include <functional>
#include <string>

#include "host/scene_document_json.h"

namespace kavro::doc::json_reader {

std::string pointer_escape(const std::string& key) {
  std::string out;
  for (char c : key) {
    if (c == '~') {
      out += "~0";
    } else if (c == '/') {
      out += "~1";
    } else {
      out += c;
    }
  }
  return out;
}

max::Point3 read_point(const Value& v) {
  v.expect_array();
  if (v.size() != 3) v.fail("expected 3 numbers, found " + std::to_string(v.size()) + " values");
  return {v.at(0).real(), v.at(1).real(), v.at(2).real()};
}

max::Quat read_rotation(const Value& v) {
  v.expect_array();
  if (v.size() == 3) {
    constexpr float k = 3.14159265358979f / 180.0f;
    float a[3] = {v.at(0).real() * k, v.at(1).real() * k, v.at(2).real() * k};
    return max::EulerToQuat(a);
  }
  if (v.size() == 4) {
    max::Quat q{v.at(0).real(), v.at(1).real(), v.at(2).real(), v.at(3).real()};
    double l = std::sqrt(static_cast<double>(q.x) * q.x + static_cast<double>(q.y) * q.y +
                         static_cast<double>(q.z) * q.z + static_cast<double>(q.w) * q.w);
    if (!(l > 1e-6)) v.fail("a rotation quaternion must not be zero");
    return max::Normalize(q);
  }
  v.fail("expected 3 Euler angles in degrees or a quaternion of 4 numbers, found " +
         std::to_string(v.size()) + " values");
}

namespace {

template <class T>
Track<T> read_track(const Value& v, const std::function<T(const Value&)>& read_value) {
  Track<T> track;
  if (!v.raw().is_object()) {
    track.value = read_value(v);
    return track;
  }
  v.only({"keys"});
  if (!v.has("keys")) v.fail("a track needs \"keys\"");
  Value keys = v.at("keys");
  keys.expect_array();
  if (keys.size() == 0) keys.fail("a track needs at least one key");
  track.keys.reserve(keys.size());
  for (std::size_t i = 0; i < keys.size(); ++i) {
    Value key = keys.at(i);
    key.only({"frame", "value"});
    if (!key.has("frame")) key.fail("a key needs \"frame\"");
    if (!key.has("value")) key.fail("a key needs \"value\"");
    double frame = key.at("frame").number();
    if (std::fabs(frame) > kMaxFrameValue) key.at("frame").fail("the frame is out of range");
    if (!track.keys.empty() && frame <= track.keys.back().frame) {
      key.at("frame").fail("key frames must ascend");
    }
    track.keys.push_back({frame, read_value(key.at("value"))});
  }
  track.value = track.keys.front().value;
  return track;
}

}  // namespace

FloatTrack read_float_track(const Value& v) {
  return read_track<float>(v, [](const Value& x) { return x.real(); });
}
PointTrack read_point_track(const Value& v) {
  return read_track<max::Point3>(v, read_point);
}
RotationTrack read_rotation_track(const Value& v) {
  return read_track<max::Quat>(v, read_rotation);
}

}  // namespace kavro::doc::json_reader
