// The host object of a mesh node is released exactly once by the node's mesh
// extraction, whichever way it ends: read whole, without data to read, too
// large for 16-bit indices, or with wrong skin weights. A counting view over
// a scene document's host views counts the releases made before the node
// pass begins (that is, by the mesh pass).
#include <gtest/gtest.h>

#include <map>
#include <memory>
#include <string>
#include <vector>

#include "exporter/extract/host_extraction.h"
#include "host/document_views.h"
#include "host/recording_host.h"
#include "host/scene_document.h"

namespace kavro {
namespace {

class CountingScene;

// A host node that passes every call on, counts releases of its object, and
// can pretend to have no object at all.
class CountingNode : public max::IGameNode {
 public:
  CountingNode(max::IGameNode& inner, CountingScene& scene) : inner_(inner), scene_(scene) {}
  int GetNodeID() const override { return inner_.GetNodeID(); }
  const std::string& GetName() const override { return inner_.GetName(); }
  max::INode* GetMaxNode() const override { return inner_.GetMaxNode(); }
  bool IsTarget() const override { return inner_.IsTarget(); }
  bool IsNodeHidden() const override { return inner_.IsNodeHidden(); }
  int GetChildCount() const override { return inner_.GetChildCount(); }
  max::IGameNode* GetNodeChild(int i) const override;
  max::IGameNode* GetNodeParent() const override;
  max::IGameMaterial* GetNodeMaterial() const override { return inner_.GetNodeMaterial(); }
  max::IGameObject* GetIGameObject() override {
    return without_object ? nullptr : inner_.GetIGameObject();
  }
  void ReleaseIGameObject() override;
  max::Matrix3 GetWorldTM(max::TimeValue t) const override { return inner_.GetWorldTM(t); }
  max::Matrix3 GetObjectTM(max::TimeValue t) const override { return inner_.GetObjectTM(t); }

  bool without_object = false;
  int mesh_pass_releases = 0;

 private:
  max::IGameNode& inner_;
  CountingScene& scene_;
};

// The IGame scene of a document with every node seen through a CountingNode.
// The node pass is the first to ask for a top-level node.
class CountingScene : public max::IGameScene {
 public:
  explicit CountingScene(max::IGameScene& inner) : inner_(inner) {}
  CountingNode* wrap(max::IGameNode* n) {
    if (n == nullptr) return nullptr;
    auto& slot = nodes_[n];
    if (!slot) slot = std::make_unique<CountingNode>(*n, *this);
    return slot.get();
  }
  CountingNode* named(const std::string& name) {
    for (max::IGameNode* n : inner_.GetIGameNodeByType(max::IGAME_MESH)) {
      if (n->GetName() == name) return wrap(n);
    }
    return nullptr;
  }

  void InitialiseIGame() override { inner_.InitialiseIGame(); }
  void InitialiseIGame(const std::vector<max::INode*>& nodes) override {
    inner_.InitialiseIGame(nodes);
  }
  void SetStaticFrame(int frame) override { inner_.SetStaticFrame(frame); }
  max::TimeValue GetSceneStartTime() const override { return inner_.GetSceneStartTime(); }
  max::TimeValue GetSceneEndTime() const override { return inner_.GetSceneEndTime(); }
  int GetSceneTicks() const override { return inner_.GetSceneTicks(); }
  std::string GetSceneFileName() const override { return inner_.GetSceneFileName(); }
  int GetTopLevelNodeCount() const override { return inner_.GetTopLevelNodeCount(); }
  max::IGameNode* GetTopLevelNode(int i) const override {
    node_pass = true;
    return const_cast<CountingScene*>(this)->wrap(inner_.GetTopLevelNode(i));
  }
  int GetTotalNodeCount() const override { return inner_.GetTotalNodeCount(); }
  std::vector<max::IGameNode*> GetIGameNodeByType(max::IGameType type) override {
    std::vector<max::IGameNode*> out;
    for (max::IGameNode* n : inner_.GetIGameNodeByType(type)) out.push_back(wrap(n));
    return out;
  }
  int GetRootMaterialCount() const override { return inner_.GetRootMaterialCount(); }
  max::IGameMaterial* GetRootMaterial(int i) const override { return inner_.GetRootMaterial(i); }
  max::IGameNode* GetIGameNode(const max::INode* node) const override {
    return const_cast<CountingScene*>(this)->wrap(inner_.GetIGameNode(node));
  }
  void ReleaseIGame() override { inner_.ReleaseIGame(); }

  mutable bool node_pass = false;

 private:
  max::IGameScene& inner_;
  std::map<max::IGameNode*, std::unique_ptr<CountingNode>> nodes_;
};

max::IGameNode* CountingNode::GetNodeChild(int i) const {
  return scene_.wrap(inner_.GetNodeChild(i));
}
max::IGameNode* CountingNode::GetNodeParent() const {
  return scene_.wrap(inner_.GetNodeParent());
}
void CountingNode::ReleaseIGameObject() {
  if (!scene_.node_pass) ++mesh_pass_releases;
  inner_.ReleaseIGameObject();
}

class CountingHost : public max::HostScene {
 public:
  explicit CountingHost(std::unique_ptr<max::DocumentHost> inner)
      : inner_(std::move(inner)), igame_(inner_->GetIGameInterface()) {}
  max::Interface& GetCOREInterface() override { return inner_->GetCOREInterface(); }
  max::IGameScene& GetIGameInterface() override { return igame_; }
  CountingScene& igame() { return igame_; }

 private:
  std::unique_ptr<max::DocumentHost> inner_;
  CountingScene igame_;
};

std::string mesh(const std::string& vertices, const std::string& more = "") {
  return R"({"vertices":[)" + vertices + R"(],"faces":[[0,1,2]])" + more + "}";
}

const std::string kTriangle = "[0,0,0],[1,0,0],[0,1,0]";

struct Case {
  const char* what;
  std::string node;  // the node "N" under test, with id 1
  bool without_object = false;
  int mesh_pass_releases;
  bool extracted;
};

TEST(HostObjectRelease, MeshExtractionReleasesOnceOnEveryExit) {
  std::string big;
  for (int i = 0; i < 65537; ++i) big += (i ? ",[" : "[") + std::to_string(i % 7) + ",0,0]";
  const std::string bones = R"(,{"id":2,"name":"BoneA","object":{"class":"bone"}},
                                {"id":3,"name":"BoneB","object":{"class":"bone"}})";
  const Case cases[] = {
      {"read whole",
       R"({"id":1,"name":"N","object":{"class":"mesh","mesh":)" + mesh(kTriangle) + "}}", false, 1,
       true},
      {"no data to read", R"({"id":1,"name":"N","object":{"class":"mesh"}})", false, 1, true},
      {"too many vertices",
       R"({"id":1,"name":"N","object":{"class":"mesh","mesh":)" + mesh(big) + "}}", false, 1,
       false},
      {"wrong skin weights",
       R"({"id":1,"name":"N","object":{"class":"mesh","mesh":)" + mesh(kTriangle) +
           R"(,"modifiers":[{"type":"skin","bones":[2,3],
               "weights":[[[1,1.0]],[[0,0.5],[1,0.4]],[[0,0.0005]]]}]}})" +
           bones,
       false, 1, false},
      // Nothing taken, nothing to release.
      {"no object",
       R"({"id":1,"name":"N","object":{"class":"mesh","mesh":)" + mesh(kTriangle) + "}}", true, 0,
       true},
      {"subdivision",
       R"({"id":1,"name":"N","object":{"class":"mesh","mesh":)" + mesh(kTriangle) +
           R"(,"modifiers":[{"type":"other","internal_name":"SmoothMod"}]}})",
       false, 0, true},
      {"filtered out",
       R"({"id":1,"name":"N","hidden":true,"object":{"class":"mesh","mesh":)" + mesh(kTriangle) +
           R"(}},{"id":4,"name":"Shown"})",
       false, 0, true},
  };
  for (const Case& c : cases) {
    doc::LoadResult loaded = doc::parse_scene_document(
        R"({"format":"kavro-scene","version":1,"materials":[],"nodes":[)" + c.node + "]}",
        "test.kscene");
    ASSERT_TRUE(loaded.ok) << c.what << ": " << loaded.error;
    auto owned =
        std::make_unique<CountingHost>(max::make_document_host(std::move(loaded.document)));
    CountingHost& counting = *owned;
    host::RecordingHost host;
    HostExtraction ex(std::move(owned), host);
    ExportScene scene;
    scene.host_interface = &host;
    ExportOptions options{};
    reset_options(options, true);
    ex.initialise(true);
    CountingNode* n = counting.igame().named("N");
    ASSERT_NE(n, nullptr) << c.what;
    n->without_object = c.without_object;
    const bool ok = ex.extract_materials(scene, options) && ex.extract_nodes(scene, options);
    EXPECT_EQ(ok, c.extracted) << c.what;
    EXPECT_EQ(n->mesh_pass_releases, c.mesh_pass_releases) << c.what;
    ex.release();
  }
}

}  // namespace
}  // namespace kavro
