#include "exporter/imd/matrix_array.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <utility>
#include <vector>

#include "tests/exporter/imd/geometry_support.h"

namespace kavro {
namespace {

using test::make_node;
using test::tri;

SkinInfluence influence(std::vector<std::pair<int, float>> pairs) {
  SkinInfluence inf;
  for (auto [id, w] : pairs) {
    inf.node_ids.push_back(id);
    inf.weights.push_back(w);
  }
  return inf;
}

PolygonSet rigid_set(int node_id) {
  PolygonSet set;
  set.node_id = node_id;
  set.positions = {{0, 0, 0}, {0.1f, 0, 0}, {0, 0.1f, 0}};
  set.triangles = {tri(0, 1, 2)};
  return set;
}

PolygonSet skinned_set(int node_id, std::vector<SkinInfluence> weights) {
  PolygonSet set;
  set.node_id = node_id;
  for (std::size_t v = 0; v < weights.size(); ++v) {
    set.positions.edit().push_back({0.01f * static_cast<float>(v), 0, 0});
  }
  set.weights = std::move(weights);
  return set;
}

struct Written {
  std::string envelope, matrices;
};

Written write_blocks(ExportScene& scene) {
  MatrixTable table = build_matrix_table(scene);
  OutputFile env, mtx;
  write_envelope_list(env, scene, scene.log(), table);
  write_matrix_array(mtx, scene, scene.log(), table);
  return {test::lf(env.text()), test::lf(mtx.text())};
}

// The sort as written: every later item greater than the one at p is
// swapped into p.
template <class T, class Key>
void naive_exchange_sort(std::vector<T>& items, Key key) {
  for (std::size_t p = 0; p < items.size(); ++p) {
    for (std::size_t i = p + 1; i < items.size(); ++i) {
      if (key(items[p]) < key(items[i])) std::swap(items[p], items[i]);
    }
  }
}

TEST(ExchangeSort, MatchesTheSwapSortOnRandomInput) {
  std::mt19937 rng(7);
  for (int round = 0; round < 300; ++round) {
    std::size_t n = rng() % 40;
    int range = 1 + static_cast<int>(rng() % 6);
    std::vector<std::pair<int, int>> items;  // key, identity
    for (std::size_t i = 0; i < n; ++i) {
      items.emplace_back(static_cast<int>(rng() % static_cast<unsigned>(range)),
                         static_cast<int>(i));
    }
    auto expected = items;
    auto key = [](const std::pair<int, int>& p) { return p.first; };
    naive_exchange_sort(expected, key);
    exchange_sort(items, key);
    ASSERT_EQ(items, expected) << "round " << round;
  }
}

TEST(ExchangeSort, IsNotStable) {
  // Keys 1, 1, 2: the 2 is swapped with the first 1, which lands last.
  std::vector<std::pair<int, char>> items = {{1, 'a'}, {1, 'b'}, {2, 'c'}};
  exchange_sort(items, [](const std::pair<int, char>& p) { return p.first; });
  EXPECT_EQ(items, (std::vector<std::pair<int, char>>{{2, 'c'}, {1, 'b'}, {1, 'a'}}));
}

TEST(Influences, EqualityByCountAndPercentages) {
  EXPECT_EQ(weight_percent(0.333f), 33);
  EXPECT_EQ(weight_percent(0.3334f), 33);
  EXPECT_EQ(weight_percent(0.335f), 34);
  EXPECT_EQ(weight_percent(-0.3f), -29);
  auto a = influence({{1, 0.333f}, {2, 0.667f}});
  auto b = influence({{2, 0.6666f}, {1, 0.3334f}});
  auto c = influence({{1, 0.34f}, {2, 0.66f}});
  auto d = influence({{1, 0.333f}, {2, 0.667f}, {3, 0.0f}});
  EXPECT_TRUE(influences_equal(a, b));
  EXPECT_FALSE(influences_equal(a, c));
  EXPECT_FALSE(influences_equal(a, d));
  EXPECT_EQ(influence_key(a), influence_key(b));
  EXPECT_NE(influence_key(a), influence_key(c));
  EXPECT_NE(influence_key(a), influence_key(d));
  // Counts equal, pairs not the same both ways.
  auto twice = influence({{1, 0.5f}, {1, 0.5f}});
  auto two = influence({{1, 0.5f}, {2, 0.5f}});
  EXPECT_FALSE(influences_equal(twice, two));
  EXPECT_NE(influence_key(twice), influence_key(two));
}

TEST(Influences, ClassesPerVertex) {
  PolygonSet set = skinned_set(9, {influence({{1, 0.5f}, {2, 0.5f}}), influence({{3, 1.0f}}),
                                   influence({{2, 0.501f}, {1, 0.499f}}), influence({})});
  EXPECT_EQ(influence_classes(set), (std::vector<int>{0, 1, 0, 2}));
  // A vertex without influences follows its own node.
  SkinInfluence own = vertex_influence(set, 3);
  EXPECT_EQ(own.node_ids, std::vector<int>{9});
  EXPECT_EQ(own.weights, std::vector<float>{1.0f});
  EXPECT_TRUE(influence_classes(rigid_set(1)).empty());
}

TEST(MatrixArray, RigidMeshNodesInNodeOrder) {
  ExportScene scene;
  scene.nodes = {make_node(10, "a"), make_node(11, "b"), make_node(12, "c"),
                 make_node(13, "joint", kNodeJoint)};
  scene.polygons = {rigid_set(12), rigid_set(10), rigid_set(11), rigid_set(13)};
  Written w = write_blocks(scene);
  EXPECT_EQ(w.envelope, "");
  EXPECT_EQ(w.matrices,
            "\n<matrix_array size=\"3\">\n"
            "\t<matrix index=\"0\" mtx_weight=\"1\" node_idx=\"0\"/>\n"
            "\t<matrix index=\"1\" mtx_weight=\"1\" node_idx=\"1\"/>\n"
            "\t<matrix index=\"2\" mtx_weight=\"1\" node_idx=\"2\"/>\n"
            "</matrix_array>\n");
  EXPECT_EQ(scene.polygons[0].matrix_list, std::vector<int>{2});
  EXPECT_EQ(scene.polygons[1].matrix_list, std::vector<int>{0});
  EXPECT_EQ(scene.polygons[2].matrix_list, std::vector<int>{1});
  // A set drawn by a node that is not a mesh gets no matrix.
  EXPECT_TRUE(scene.polygons[3].matrix_list.empty());
}

TEST(MatrixArray, BlendsOfEqualCountKeepTheirFirstMetOrder) {
  ExportScene scene;
  scene.nodes = {make_node(10, "body"), make_node(20, "thigh", kNodeJoint),
                 make_node(21, "shin", kNodeJoint)};
  scene.polygons = {
      skinned_set(10, {influence({{20, 0.5f}, {21, 0.5f}}), influence({{20, 0.3f}, {21, 0.7f}}),
                       influence({{20, 1.0f}}), influence({{21, 0.5f}, {20, 0.5f}})})};
  Written w = write_blocks(scene);
  EXPECT_EQ(w.envelope,
            "\n<envelope>\n"
            "\t<weight size=\"4\">\n"
            "\t\t50 50 30 70 \n"
            "\t</weight>\n"
            "\t<node_idx size=\"4\">\n"
            "\t\t1 2 1 2 \n"
            "\t</node_idx>\n"
            "</envelope>\n");
  EXPECT_EQ(w.matrices,
            "\n<matrix_array size=\"3\">\n"
            "\t<matrix index=\"0\" mtx_weight=\"2\" envelope_head=\"0\"/>\n"
            "\t<matrix index=\"1\" mtx_weight=\"2\" envelope_head=\"2\"/>\n"
            "\t<matrix index=\"2\" mtx_weight=\"1\" node_idx=\"1\"/>\n"
            "</matrix_array>\n");
  EXPECT_EQ(scene.polygons[0].matrix_list, (std::vector<int>{0, 1, 2, 0}));
}

TEST(MatrixArray, SortPutsMostInfluencesFirstThenNodesByPosition) {
  ExportScene scene;
  scene.nodes = {make_node(10, "body"), make_node(20, "a", kNodeJoint),
                 make_node(21, "b", kNodeJoint), make_node(22, "c", kNodeJoint),
                 make_node(30, "prop")};
  scene.polygons = {skinned_set(10, {influence({{22, 1.0f}}), influence({{21, 1.0f}}),
                                     influence({{20, 0.5f}, {21, 0.5f}}),
                                     influence({{20, 0.2f}, {21, 0.3f}, {22, 0.5f}})}),
                    rigid_set(30)};
  Written w = write_blocks(scene);
  EXPECT_EQ(w.matrices,
            "\n<matrix_array size=\"5\">\n"
            "\t<matrix index=\"0\" mtx_weight=\"3\" envelope_head=\"0\"/>\n"
            "\t<matrix index=\"1\" mtx_weight=\"2\" envelope_head=\"3\"/>\n"
            "\t<matrix index=\"2\" mtx_weight=\"1\" node_idx=\"2\"/>\n"
            "\t<matrix index=\"3\" mtx_weight=\"1\" node_idx=\"3\"/>\n"
            "\t<matrix index=\"4\" mtx_weight=\"1\" node_idx=\"4\"/>\n"
            "</matrix_array>\n");
  EXPECT_EQ(scene.polygons[0].matrix_list, (std::vector<int>{3, 2, 1, 0}));
  EXPECT_EQ(scene.polygons[1].matrix_list, std::vector<int>{4});
}

TEST(MatrixArray, SingleNodeListsOfOneNodeFollowTheExchangeOrder) {
  // Two one-influence lists on the same joint (100% and 90%) met before a
  // blend: the list sort swaps the blend to the front and the 100% list
  // behind the 90% one; the table sort keeps equal entries where they are.
  ExportScene scene;
  scene.nodes = {make_node(10, "body"), make_node(20, "a", kNodeJoint),
                 make_node(21, "b", kNodeJoint)};
  scene.polygons = {skinned_set(
      10, {influence({{20, 1.0f}}), influence({{20, 0.9f}}), influence({{20, 0.5f}, {21, 0.5f}})})};
  Written w = write_blocks(scene);
  EXPECT_EQ(scene.polygons[0].matrix_list, (std::vector<int>{2, 1, 0}));
  EXPECT_NE(w.matrices.find("\t<matrix index=\"1\" mtx_weight=\"1\" node_idx=\"1\"/>\n"
                            "\t<matrix index=\"2\" mtx_weight=\"1\" node_idx=\"1\"/>\n"),
            std::string::npos);
}

TEST(MatrixArray, PercentageEqualListsShareOneMatrix) {
  ExportScene scene;
  scene.nodes = {make_node(10, "body"), make_node(20, "a", kNodeJoint),
                 make_node(21, "b", kNodeJoint)};
  scene.polygons = {skinned_set(
      10, {influence({{20, 0.333f}, {21, 0.667f}}), influence({{20, 0.3334f}, {21, 0.6666f}})})};
  Written w = write_blocks(scene);
  EXPECT_NE(w.matrices.find("<matrix_array size=\"1\">"), std::string::npos);
  EXPECT_NE(w.envelope.find("\t\t33 67 \n"), std::string::npos);
  EXPECT_EQ(scene.polygons[0].matrix_list, (std::vector<int>{0, 0}));
}

TEST(MatrixArray, WeightsTenToALineAndZeroWeightsLeftOut) {
  ExportScene scene;
  scene.nodes = {make_node(10, "body")};
  for (int j = 0; j < 5; ++j) scene.nodes.push_back(make_node(20 + j, "j", kNodeJoint));
  scene.polygons = {
      skinned_set(10, {influence({{20, 0.25f}, {21, 0.25f}, {22, 0.25f}, {23, 0.25f}}),
                       influence({{20, 0.1f}, {21, 0.2f}, {22, 0.3f}, {24, 0.4f}}),
                       influence({{22, 0.5f}, {23, 0.25f}, {24, 0.25f}, {20, 0.0f}})})};
  Written w = write_blocks(scene);
  EXPECT_EQ(w.envelope,
            "\n<envelope>\n"
            "\t<weight size=\"11\">\n"
            "\t\t25 25 25 25 10 20 30 40 50 25 \n"
            "\t\t25 \n"
            "\t</weight>\n"
            "\t<node_idx size=\"11\">\n"
            "\t\t1 2 3 4 1 2 3 5 3 4 \n"
            "\t\t5 \n"
            "\t</node_idx>\n"
            "</envelope>\n");
  EXPECT_NE(w.matrices.find("\t<matrix index=\"2\" mtx_weight=\"3\" envelope_head=\"8\"/>\n"),
            std::string::npos);
}

TEST(MatrixArray, ForceFullWeightWritesNoEnvelope) {
  ExportScene scene;
  scene.nodes = {make_node(10, "body"), make_node(20, "a", kNodeJoint),
                 make_node(21, "b", kNodeJoint)};
  scene.polygons = {skinned_set(10, {influence({{20, 0.5f}, {21, 0.5f}})})};
  scene.force_full_weight = 1;
  Written w = write_blocks(scene);
  EXPECT_EQ(w.envelope, "");
  EXPECT_NE(w.matrices.find("envelope_head=\"0\""), std::string::npos);
}

TEST(MatrixArray, RigidNodeThatIsAlsoASingleInfluenceIsCountedOnce) {
  // The body draws rigid geometry and is the single influence of a skinned
  // vertex of the arm: one entry, and the size says so.
  ExportScene scene;
  scene.nodes = {make_node(10, "body"), make_node(11, "arm"), make_node(12, "j", kNodeJoint)};
  scene.polygons = {rigid_set(10), skinned_set(11, {influence({{10, 1.0f}}),
                                                    influence({{10, 0.5f}, {12, 0.5f}})})};
  Written w = write_blocks(scene);
  EXPECT_EQ(w.matrices,
            "\n<matrix_array size=\"2\">\n"
            "\t<matrix index=\"0\" mtx_weight=\"2\" envelope_head=\"0\"/>\n"
            "\t<matrix index=\"1\" mtx_weight=\"1\" node_idx=\"0\"/>\n"
            "</matrix_array>\n");
  EXPECT_EQ(scene.polygons[0].matrix_list, std::vector<int>{1});
  EXPECT_EQ(scene.polygons[1].matrix_list, (std::vector<int>{1, 0}));
}

TEST(MatrixArray, OverThirtyOneMatricesWarns) {
  for (int count : {31, 32}) {
    ExportScene scene;
    for (int i = 0; i < count; ++i) {
      scene.nodes.push_back(make_node(i + 1, "n"));
      scene.polygons.push_back(rigid_set(i + 1));
    }
    Written w = write_blocks(scene);
    bool warned = !scene.warnings().empty() &&
                  scene.warnings()[0] ==
                      "Warning: The number of matrices for displaying this model is over 31. 32";
    EXPECT_EQ(warned, count == 32);
    EXPECT_NE(w.matrices.find("<matrix_array size=\"" + std::to_string(count) + "\">"),
              std::string::npos);
  }
}

TEST(MatrixArray, DeletedSetsAndEmptyScenesWriteNothing) {
  ExportScene scene;
  scene.nodes = {make_node(10, "body")};
  scene.polygons = {rigid_set(10)};
  scene.polygons[0].deleted = true;
  scene.polygons[0].matrix_list = {5};
  Written w = write_blocks(scene);
  EXPECT_EQ(w.matrices, "");
  EXPECT_EQ(w.envelope, "");
  EXPECT_EQ(scene.polygons[0].matrix_list, std::vector<int>{5});  // deleted sets are left alone
}

}  // namespace
}  // namespace kavro
