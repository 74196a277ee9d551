// Plug-in class data: the data the host keeps in a scene for plug-in classes
// that ask to save some. A scene holds, per plug-in class id, that class's
// chunks by chunk id. When a scene is loaded the host hands each loaded class
// the chunks stored for it; when a scene is saved it asks each loaded class
// for its chunks. Data of classes that are not loaded is kept as it was read.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace kavro::host {

class Host;

struct ClassId {
  std::uint32_t a = 0, b = 0;
  friend bool operator==(const ClassId&, const ClassId&) = default;
};

struct ClassDataChunk {
  std::uint16_t id = 0;
  std::vector<std::uint8_t> data;
};

// The chunks of one plug-in class, in the order they were stored.
struct PluginClassData {
  ClassId class_id;
  std::vector<ClassDataChunk> chunks;
};

// A loaded plug-in class that keeps data in scenes.
class ClassDataOwner {
 public:
  virtual ~ClassDataOwner() = default;
  virtual ClassId class_id() const = 0;
  // A scene is being saved: append the chunks to store (none: nothing is
  // stored for the class).
  virtual void save_class_data(Host& host, std::vector<ClassDataChunk>& chunks) = 0;
  // A scene that carries data of this class was loaded from `source`.
  virtual void load_class_data(Host& host, const std::string& source,
                               const std::vector<ClassDataChunk>& chunks) = 0;
};

// The loaded classes that keep data (the host's class directory). Adding an
// owner twice, or a second owner of the same class id, changes nothing.
void register_class_data_owner(ClassDataOwner& owner);
void unregister_class_data_owner(ClassDataOwner& owner);

// Loading a scene: every registered class that the scene holds data of gets
// its chunks.
void load_scene_class_data(Host& host, const std::string& source,
                           const std::vector<PluginClassData>& section);

// Saving a scene: the section to store. Registered classes give their chunks
// (a class that gives none is left out); the data of classes that are not
// registered is kept from `loaded`, the section the scene was read with.
std::vector<PluginClassData> save_scene_class_data(Host& host,
                                                   const std::vector<PluginClassData>& loaded);

// Base64 (RFC 4648, with padding), the text form of chunk data in documents.
std::string base64_encode(const std::vector<std::uint8_t>& data);
// False when `text` is not padded base64 of the standard alphabet.
bool base64_decode(const std::string& text, std::vector<std::uint8_t>& data);

}  // namespace kavro::host
