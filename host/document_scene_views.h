// Internal to the document views: the scene itself, the host interface and
// the IGame scene over a scene document, owning every other view.
#pragma once

#include <cstdint>
#include <limits>
#include <memory>
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "host/document_igame_views.h"
#include "host/document_material_views.h"
#include "host/document_node_views.h"
#include "host/document_views.h"

namespace kavro::max::docview {

class Views : public DocumentHost, public Interface, public IGameScene {
 public:
  explicit Views(doc::SceneDocument d) : doc_(std::move(d)), root_(nullptr, *this, -1) {
    const auto& nodes = doc_.nodes;
    inodes_.reserve(nodes.size());
    for (std::size_t i = 0; i < nodes.size(); ++i) {
      inodes_.push_back(std::make_unique<DocINode>(&nodes[i], *this, static_cast<int>(i)));
      by_id_[nodes[i].id] = static_cast<int>(i);
    }
    for (std::size_t i = 0; i < nodes.size(); ++i) {
      DocINode* n = inodes_[i].get();
      n->object_ = std::make_unique<DocObject>(nodes[i].object, *this);
      DocINode* parent =
          nodes[i].parent == doc::kNone ? &root_ : inodes_[by_id_.at(nodes[i].parent)].get();
      n->parent_ = parent;
      parent->children_.push_back(n);
    }
    for (const doc::Material& m : doc_.materials)
      materials_.push_back(std::make_unique<DocMaterial>(m, *this));
    igame_nodes_.reserve(nodes.size());
    for (auto& n : inodes_) igame_nodes_.push_back(std::make_unique<DocIGameNode>(*n, *this));
    for (int id : doc_.selection) selected_.insert(id);
    selection_ = doc_.selection;
  }

  // DocumentHost
  Interface& GetCOREInterface() override { return *this; }
  IGameScene& GetIGameInterface() override { return *this; }
  const doc::SceneDocument& document() const override { return doc_; }
  std::vector<std::string> unknown_names(const std::vector<std::string>& names) const override {
    std::unordered_set<std::string> known;
    for (const doc::Node& n : doc_.nodes) known.insert(n.name);
    std::vector<std::string> unknown;
    for (const std::string& name : names) {
      if (!known.count(name)) unknown.push_back(name);
    }
    return unknown;
  }
  bool select_by_names(const std::vector<std::string>& names) override {
    if (!unknown_names(names).empty()) return false;
    selection_.clear();
    selected_.clear();
    for (const std::string& name : names) {
      for (const doc::Node& n : doc_.nodes) {
        if (n.name == name && selected_.insert(n.id).second) selection_.push_back(n.id);
      }
    }
    return true;
  }

  // Interface
  INode* GetRootNode() override { return &root_; }
  int GetSelNodeCount() override { return static_cast<int>(selection_.size()); }
  INode* GetSelNode(int i) override { return node_by_id(selection_[i]); }
  std::string GetCurFileFolder() const override { return doc_.folder; }
  int GetMapDirCount() const override { return static_cast<int>(doc_.map_paths.size()); }
  std::string GetMapDir(int i) const override {
    return i >= 0 && i < std::ssize(doc_.map_paths) ? doc_.map_paths[i] : std::string();
  }

  // IGameScene
  void InitialiseIGame() override {
    std::vector<DocINode*> tops(root_.children_.begin(), root_.children_.end());
    build(tops);
  }
  void InitialiseIGame(const std::vector<INode*>& list) override {
    std::vector<DocINode*> tops;
    for (INode* n : list) {
      auto* d = dynamic_cast<DocINode*>(n);
      if (d != nullptr && d->data() != nullptr) tops.push_back(d);
    }
    build(tops);
  }
  void SetStaticFrame(int frame) override { static_time_ = frame * doc_.ticks_per_frame; }
  TimeValue GetSceneStartTime() const override { return doc_.start_frame * doc_.ticks_per_frame; }
  TimeValue GetSceneEndTime() const override { return doc_.end_frame * doc_.ticks_per_frame; }
  int GetSceneTicks() const override { return doc_.ticks_per_frame; }
  std::string GetSceneFileName() const override { return doc_.file_name; }
  int GetTopLevelNodeCount() const override { return static_cast<int>(tops_.size()); }
  IGameNode* GetTopLevelNode(int i) const override { return tops_[i]; }
  int GetTotalNodeCount() const override { return static_cast<int>(order_.size()); }
  std::vector<IGameNode*> GetIGameNodeByType(IGameType type) override {
    std::vector<IGameNode*> out;
    for (DocIGameNode* n : order_) {
      if (igame_type(n->inode().data()->object.cls) == type) out.push_back(n);
    }
    return out;
  }
  int GetRootMaterialCount() const override { return static_cast<int>(materials_.size()); }
  IGameMaterial* GetRootMaterial(int i) const override { return materials_[i].get(); }
  IGameNode* GetIGameNode(const INode* node) const override {
    auto* d = dynamic_cast<const DocINode*>(node);
    if (d == nullptr || d->data() == nullptr) return nullptr;
    return igame_nodes_[d->index()].get();
  }
  void ReleaseIGame() override {
    for (auto& n : igame_nodes_) {
      n->children_.clear();
      n->parent_ = nullptr;
    }
    tops_.clear();
    order_.clear();
  }

  // Shared with the views.
  double frame_of(TimeValue t) const {
    if (t == TIME_NegInfinity) return -std::numeric_limits<double>::infinity();
    return static_cast<double>(t) / doc_.ticks_per_frame;
  }
  TimeValue static_time() const { return static_time_; }
  std::int64_t ticks_per_frame() const { return doc_.ticks_per_frame; }
  DocINode* node_by_id(int id) const {
    auto it = by_id_.find(id);
    return it == by_id_.end() ? nullptr : inodes_[it->second].get();
  }
  DocIGameNode* igame_node(int index) const { return igame_nodes_[index].get(); }
  DocMaterial* root_material(int i) const { return materials_[i].get(); }
  bool is_selected(int id) const { return selected_.count(id) != 0; }

 private:
  void build(const std::vector<DocINode*>& tops) {
    ReleaseIGame();
    std::unordered_set<const DocINode*> taken;
    for (DocINode* t : tops) {
      if (taken.insert(t).second) tops_.push_back(igame_nodes_[t->index()].get());
    }
    // Depth first, host order, with an explicit stack.
    std::vector<DocIGameNode*> stack(tops_.rbegin(), tops_.rend());
    while (!stack.empty()) {
      DocIGameNode* n = stack.back();
      stack.pop_back();
      order_.push_back(n);
      for (DocINode* c : n->inode().children_) {
        if (!taken.insert(c).second) continue;
        DocIGameNode* child = igame_nodes_[c->index()].get();
        child->parent_ = n;
        n->children_.push_back(child);
      }
      for (auto it = n->children_.rbegin(); it != n->children_.rend(); ++it) stack.push_back(*it);
    }
  }

  doc::SceneDocument doc_;
  DocINode root_;
  std::vector<std::unique_ptr<DocINode>> inodes_;
  std::unordered_map<int, int> by_id_;
  std::vector<std::unique_ptr<DocMaterial>> materials_;
  std::vector<std::unique_ptr<DocIGameNode>> igame_nodes_;
  std::vector<DocIGameNode*> tops_;
  std::vector<DocIGameNode*> order_;
  std::vector<int> selection_;
  std::unordered_set<int> selected_;
  TimeValue static_time_ = 0;
};

}  // namespace kavro::max::docview
