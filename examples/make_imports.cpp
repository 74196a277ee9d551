// Writes the example files from modelling tools: examples/walker.glb, a
// skinned and animated glTF binary (a three-segment column over three bones
// that bends and straightens in one second), and examples/kiosk.fbx, an
// ASCII FBX as 3ds Max writes it (Z up, centimetres) with quads, a
// hierarchy, two materials and a billboard sign marked by a user property.
//
//   example_make_imports [FOLDER]      (default: examples)
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

namespace {

using nlohmann::json;

class Buffer {
 public:
  // Appends data as one buffer view and accessor; returns the accessor.
  int add(json& gltf, const void* data, std::size_t bytes, json accessor) {
    while (bin_.size() % 4) bin_ += '\0';
    int view = static_cast<int>(gltf["bufferViews"].size());
    gltf["bufferViews"].push_back(
        {{"buffer", 0}, {"byteOffset", bin_.size()}, {"byteLength", bytes}});
    bin_.append(static_cast<const char*>(data), bytes);
    accessor["bufferView"] = view;
    int index = static_cast<int>(gltf["accessors"].size());
    gltf["accessors"].push_back(accessor);
    return index;
  }
  int floats(json& gltf, const std::vector<float>& v, const char* type, int width) {
    json a = {{"componentType", 5126},
              {"count", v.size() / static_cast<std::size_t>(width)},
              {"type", type}};
    if (width == 3) {
      std::vector<float> lo = {v[0], v[1], v[2]}, hi = lo;
      for (std::size_t i = 0; i < v.size(); ++i) {
        lo[i % 3] = std::min(lo[i % 3], v[i]);
        hi[i % 3] = std::max(hi[i % 3], v[i]);
      }
      a["min"] = lo;
      a["max"] = hi;
    }
    if (width == 1) {
      a["min"] = {v.front()};
      a["max"] = {v.back()};
    }
    return add(gltf, v.data(), v.size() * 4, a);
  }
  const std::string& bytes() const { return bin_; }

 private:
  std::string bin_;
};

void put32(std::string& out, std::uint32_t v) {
  for (int i = 0; i < 4; ++i) out += static_cast<char>((v >> (8 * i)) & 0xFF);
}

bool write(const std::string& path, const std::string& bytes) {
  std::ofstream out(path, std::ios::binary);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  if (!out) std::fprintf(stderr, "example_make_imports: cannot write %s\n", path.c_str());
  return static_cast<bool>(out);
}

// A square column of four rings (heights 0, 1, 2, 3), its sides made of
// triangles; ring r follows bone r (the top ring the last bone).
std::string walker_glb() {
  json g;
  g["asset"] = {{"version", "2.0"}, {"generator", "KAVRO example_make_imports"}};
  g["scene"] = 0;
  Buffer buf;
  std::vector<float> pos, normals, uv, weights;
  std::vector<std::uint8_t> joints;
  std::vector<std::uint16_t> idx;
  const float corners[4][2] = {{-0.25f, -0.25f}, {0.25f, -0.25f}, {0.25f, 0.25f}, {-0.25f, 0.25f}};
  for (int ring = 0; ring < 4; ++ring) {
    for (int c = 0; c <= 4; ++c) {  // the seam repeats the first corner for its UV
      const float* xz = corners[c % 4];
      pos.insert(pos.end(), {xz[0], static_cast<float>(ring), xz[1]});
      // Corner normals point out diagonally.
      normals.insert(normals.end(), {xz[0] * 2.8284271f, 0, xz[1] * 2.8284271f});
      uv.insert(uv.end(), {static_cast<float>(c) / 4, static_cast<float>(ring) / 3});
      int bone = ring < 3 ? ring : 2;
      joints.insert(joints.end(), {static_cast<std::uint8_t>(bone), 0, 0, 0});
      weights.insert(weights.end(), {1, 0, 0, 0});
    }
  }
  for (int ring = 0; ring < 3; ++ring) {
    for (int c = 0; c < 4; ++c) {
      auto a = static_cast<std::uint16_t>(ring * 5 + c), b = static_cast<std::uint16_t>(a + 1),
           d = static_cast<std::uint16_t>(a + 5), e = static_cast<std::uint16_t>(a + 6);
      idx.insert(idx.end(), {a, b, e, a, e, d});
    }
  }
  int a_pos = buf.floats(g, pos, "VEC3", 3);
  int a_nrm = buf.floats(g, normals, "VEC3", 3);
  int a_uv = buf.floats(g, uv, "VEC2", 2);
  int a_w = buf.floats(g, weights, "VEC4", 4);
  int a_j = buf.add(g, joints.data(), joints.size(),
                    {{"componentType", 5121}, {"count", joints.size() / 4}, {"type", "VEC4"}});
  int a_i = buf.add(g, idx.data(), idx.size() * 2,
                    {{"componentType", 5123}, {"count", idx.size()}, {"type", "SCALAR"}});
  // Bones one unit apart up the column; bind matrices move each to the origin.
  std::vector<float> ibm;
  for (int b = 0; b < 3; ++b) {
    ibm.insert(ibm.end(), {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, static_cast<float>(-b), 0, 1});
  }
  int a_ibm = buf.floats(g, ibm, "MAT4", 16);
  // Each upper bone bends 30 degrees about X at half a second.
  const float s = std::sin(0.2617994f), c = std::cos(0.2617994f);
  int a_t = buf.floats(g, {0, 0.5f, 1}, "SCALAR", 1);
  int a_r = buf.floats(g, {0, 0, 0, 1, s, 0, 0, c, 0, 0, 0, 1}, "VEC4", 4);
  g["scenes"] = {{{"name", "Walker"}, {"nodes", {0, 1}}}};
  g["nodes"] = {{{"name", "Column"}, {"mesh", 0}, {"skin", 0}, {"extras", {{"Kvs_no_cut", true}}}},
                {{"name", "Hip"}, {"children", {2}}},
                {{"name", "Knee"}, {"translation", {0, 1, 0}}, {"children", {3}}},
                {{"name", "Ankle"}, {"translation", {0, 1, 0}}}};
  g["skins"] = {{{"joints", {1, 2, 3}}, {"inverseBindMatrices", a_ibm}, {"skeleton", 1}}};
  g["materials"] = {
      {{"name", "Cloth"},
       {"pbrMetallicRoughness", {{"baseColorFactor", {0.8, 0.4, 0.2, 1}}, {"metallicFactor", 0}}}}};
  g["meshes"] = {{{"name", "Column"},
                  {"primitives",
                   {{{"attributes",
                      {{"POSITION", a_pos},
                       {"NORMAL", a_nrm},
                       {"TEXCOORD_0", a_uv},
                       {"JOINTS_0", a_j},
                       {"WEIGHTS_0", a_w}}},
                     {"indices", a_i},
                     {"material", 0}}}}}};
  g["animations"] = {{{"name", "Bend"},
                      {"samplers", {{{"input", a_t}, {"output", a_r}}}},
                      {"channels",
                       {{{"sampler", 0}, {"target", {{"node", 2}, {"path", "rotation"}}}},
                        {{"sampler", 0}, {"target", {{"node", 3}, {"path", "rotation"}}}}}}}};
  g["buffers"] = {{{"byteLength", buf.bytes().size()}}};
  std::string text = g.dump();
  while (text.size() % 4) text += ' ';
  std::string bin = buf.bytes();
  while (bin.size() % 4) bin += '\0';
  std::string out = "glTF";
  put32(out, 2);
  put32(out, static_cast<std::uint32_t>(12 + 8 + text.size() + 8 + bin.size()));
  put32(out, static_cast<std::uint32_t>(text.size()));
  out += "JSON";
  out += text;
  put32(out, static_cast<std::uint32_t>(bin.size()));
  out += std::string("BIN\0", 4);
  out += bin;
  return out;
}

std::string kiosk_fbx() {
  // A box of 200 x 200 x 250 cm made of six quads; a sign above it.
  return R"(; FBX 7.4.0 project file
; Written by example_make_imports: a kiosk as 3ds Max exports it.
FBXHeaderExtension:  {
	FBXHeaderVersion: 1003
	FBXVersion: 7400
	Creator: "KAVRO example_make_imports"
}
GlobalSettings:  {
	Version: 1000
	Properties70:  {
		P: "UpAxis", "int", "Integer", "",2
		P: "UpAxisSign", "int", "Integer", "",1
		P: "FrontAxis", "int", "Integer", "",1
		P: "FrontAxisSign", "int", "Integer", "",-1
		P: "CoordAxis", "int", "Integer", "",0
		P: "CoordAxisSign", "int", "Integer", "",1
		P: "UnitScaleFactor", "double", "Number", "",1
		P: "TimeMode", "enum", "", "",6
	}
}
Objects:  {
	Geometry: 1001, "Geometry::Booth", "Mesh" {
		Vertices: *24 {
			a: -100,-100,0,100,-100,0,100,100,0,-100,100,0,-100,-100,250,100,-100,250,100,100,250,-100,100,250
		}
		PolygonVertexIndex: *24 {
			a: 0,3,2,-2,4,5,6,-8,0,1,5,-5,1,2,6,-6,2,3,7,-7,3,0,4,-8
		}
		LayerElementMaterial: 0 {
			Version: 101
			Name: ""
			MappingInformationType: "ByPolygon"
			ReferenceInformationType: "IndexToDirect"
			Materials: *6 {
				a: 0,1,0,0,0,0
			}
		}
		Layer: 0 {
			Version: 100
			LayerElement:  {
				Type: "LayerElementMaterial"
				TypedIndex: 0
			}
		}
	}
	Geometry: 1002, "Geometry::Sign", "Mesh" {
		Vertices: *12 {
			a: -80,0,0,80,0,0,80,0,60,-80,0,60
		}
		PolygonVertexIndex: *4 {
			a: 0,1,2,-4
		}
	}
	Model: 2001, "Model::Booth", "Mesh" {
		Version: 232
		Properties70:  {
			P: "Lcl Rotation", "Lcl Rotation", "", "A",0,0,30
		}
	}
	Model: 2002, "Model::Sign", "Mesh" {
		Version: 232
		Properties70:  {
			P: "Lcl Translation", "Lcl Translation", "", "A",0,0,300
			P: "Kvs_billboard", "KString", "", "U", "Y-Billboard"
		}
	}
	Material: 3001, "Material::Wood", "" {
		Version: 102
		ShadingModel: "phong"
		Properties70:  {
			P: "DiffuseColor", "Color", "", "A",0.6,0.4,0.2
			P: "AmbientColor", "Color", "", "A",0.3,0.2,0.1
		}
	}
	Material: 3002, "Material::Roof", "" {
		Version: 102
		ShadingModel: "phong"
		Properties70:  {
			P: "DiffuseColor", "Color", "", "A",0.8,0.1,0.1
		}
	}
}
Connections:  {
	C: "OO",2001,0
	C: "OO",2002,2001
	C: "OO",1001,2001
	C: "OO",1002,2002
	C: "OO",3001,2001
	C: "OO",3002,2001
	C: "OO",3001,2002
}
)";
}

}  // namespace

int main(int argc, char** argv) {
  std::string folder = argc > 1 ? argv[1] : "examples";
  bool ok =
      write(folder + "/walker.glb", walker_glb()) && write(folder + "/kiosk.fbx", kiosk_fbx());
  return ok ? 0 : 1;
}
