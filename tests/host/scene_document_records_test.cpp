// The scene reader takes materials and nodes from the parser one by one:
// messages, their order and the records read are those of reading the
// document as one tree.
#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "host/scene_document.h"

namespace kavro {
namespace {

const std::string kHead = R"({"format":"kavro-scene","version":1,)";

std::string refusal(const std::string& text) {
  doc::LoadResult r = doc::parse_scene_document(text, "t.kscene");
  EXPECT_FALSE(r.ok);
  return r.error;
}

doc::SceneDocument parse(const std::string& text) {
  doc::LoadResult r = doc::parse_scene_document(text, "t.kscene");
  EXPECT_TRUE(r.ok) << r.error;
  return std::move(r.document);
}

std::vector<std::string> material_names(const std::vector<doc::Material>& ms) {
  std::vector<std::string> out;
  for (const doc::Material& m : ms) out.push_back(m.name);
  return out;
}

TEST(DocumentRecords, AFailureInsideARecordNamesItsPath) {
  EXPECT_EQ(
      refusal(kHead + R"("materials":[{"name":"a"},{"name":"b"},{"name":"c","diffuse":[1,2]}]})"),
      "t.kscene, at /materials/2/diffuse: expected 3 numbers, found 2 values");
  EXPECT_EQ(
      refusal(
          kHead +
          R"("materials":[{"name":"m","class":"multi","sub_materials":[{"name":"s0"},{"name":"s1","opacity":"x"}]}]})"),
      "t.kscene, at /materials/0/sub_materials/1/opacity: expected a number, found a string");
  EXPECT_EQ(
      refusal(
          kHead +
          R"("materials":[{"name":"a","diffuse":{"keys":[{"frame":0,"value":[0,0,0]},{"frame":0,"value":[1,1,1]}]}}]})"),
      "t.kscene, at /materials/0/diffuse/keys/1/frame: key frames must ascend");
  // Elements that are no objects: a plain value and an array.
  EXPECT_EQ(refusal(kHead + R"("materials":[{"name":"a"},5]})"),
            "t.kscene, at /materials/1: expected an object, found a number");
  EXPECT_EQ(refusal(kHead + R"("materials":[[1]]})"),
            "t.kscene, at /materials/0: expected an object, found an array");
  EXPECT_EQ(
      refusal(
          kHead +
          R"("materials":[{"name":"a"}],"nodes":[{"id":1,"name":"n","material":0},{"id":2,"name":"k","material":1}]})"),
      "t.kscene, at /nodes/1/material: there is no material 1 (the scene has 1)");
  // Checks across nodes, after every node is read.
  EXPECT_EQ(refusal(kHead + R"("nodes":[{"id":1,"name":"a"},{"id":2,"name":"b","parent":9}]})"),
            "t.kscene, at /nodes/1/parent: no node has the id 9");
  EXPECT_EQ(refusal(kHead +
                    R"("nodes":[{"id":1,"name":"a","parent":2},{"id":2,"name":"b","parent":1}]})"),
            "t.kscene, at /nodes/0/parent: the node hierarchy has a cycle through the node 1");
}

TEST(DocumentRecords, TheFirstFailureInReadingOrderIsReported) {
  // Top-level fields are checked before the records, wherever they stand.
  EXPECT_EQ(refusal(kHead + R"("materials":[{"name":5}],"colour":1})"),
            "t.kscene, at /colour: unknown field \"colour\"");
  EXPECT_EQ(refusal(R"({"format":"kavro-scene","materials":[{"name":5}],"version":2})"),
            "t.kscene, at /version: version 2 is not supported (this program reads version 1)");
  // Materials before nodes, whichever comes first in the text.
  EXPECT_EQ(refusal(kHead + R"("nodes":[{"id":1,"name":5}],"materials":[{"name":6}]})"),
            "t.kscene, at /materials/0/name: expected a string, found a number");
  EXPECT_EQ(refusal(kHead + R"("materials":[{"name":6}],"nodes":[{"id":1,"name":5}]})"),
            "t.kscene, at /materials/0/name: expected a string, found a number");
  // The first of several bad records.
  EXPECT_EQ(refusal(kHead + R"("materials":[{"name":"a"},{"name":1},{"name":2}]})"),
            "t.kscene, at /materials/1/name: expected a string, found a number");
  EXPECT_EQ(refusal(kHead + R"("nodes":[{"id":1,"name":"a","hidden":1},{"id":2}]})"),
            "t.kscene, at /nodes/0/hidden: expected true or false, found a number");
  // A document that is no object, whatever it holds.
  EXPECT_EQ(refusal(R"([[{"name":5}],{"materials":[1]}])"),
            "t.kscene, at the top level: expected an object, found an array");
  // Text that is no JSON is refused as such, even after a bad record.
  EXPECT_EQ(refusal(kHead + R"("materials":[{"name":5}],"nodes":[})")
                .rfind("t.kscene: not valid JSON", 0),
            0u);
}

TEST(DocumentRecords, RecordsKeepTheirOrderAndARepeatedKeyItsLastValue) {
  doc::SceneDocument d = parse(
      kHead +
      R"("materials":[{"name":"m0"},{"name":"m1","class":"multi","sub_materials":[{"name":"s0"},{"name":"s1"},{"name":"s2"}]},
          {"name":"m2","params":{"zeta":1,"alpha":true,"mid":0.5}}],
         "nodes":[{"id":5,"name":"n5","material":2,"user_properties":{"b":"x","a":1}},{"id":3,"name":"n3","parent":5},{"id":4,"name":"n4"}]})");
  EXPECT_EQ(material_names(d.materials), (std::vector<std::string>{"m0", "m1", "m2"}));
  EXPECT_EQ(material_names(d.materials[1].sub_materials),
            (std::vector<std::string>{"s0", "s1", "s2"}));
  // Members of an object come in the order of their names.
  const std::vector<std::pair<std::string, double>> params = {
      {"alpha", 1.0}, {"mid", 0.5}, {"zeta", 1.0}};
  EXPECT_EQ(d.materials[2].params, params);
  ASSERT_EQ(d.nodes.size(), 3u);
  EXPECT_EQ(d.nodes[0].id, 5);
  EXPECT_EQ(d.nodes[1].id, 3);
  EXPECT_EQ(d.nodes[2].id, 4);
  EXPECT_EQ(d.nodes[0].material, 2);
  ASSERT_EQ(d.nodes[0].user_properties.size(), 2u);
  EXPECT_EQ(d.nodes[0].user_properties[0].key, "a");
  EXPECT_EQ(d.nodes[0].user_properties[1].key, "b");

  // Nodes before their materials in the text.
  doc::SceneDocument late = parse(kHead +
                                  R"("nodes":[{"id":1,"name":"n","material":1}],
                                     "materials":[{"name":"a"},{"name":"b"}]})");
  EXPECT_EQ(late.nodes.at(0).material, 1);
  EXPECT_EQ(late.materials.size(), 2u);
  EXPECT_EQ(refusal(kHead + R"("nodes":[{"id":1,"name":"n","material":2}],
                               "materials":[{"name":"a"},{"name":"b"}]})"),
            "t.kscene, at /nodes/0/material: there is no material 2 (the scene has 2)");

  // A repeated key: the last value counts, an earlier bad one is gone.
  doc::SceneDocument twice = parse(kHead +
                                   R"("materials":[{"name":5}],"nodes":[{"id":1,"name":7}],
         "materials":[{"name":"b"},{"name":"c"}],"nodes":[{"id":2,"name":"n","material":1}]})");
  EXPECT_EQ(material_names(twice.materials), (std::vector<std::string>{"b", "c"}));
  ASSERT_EQ(twice.nodes.size(), 1u);
  EXPECT_EQ(twice.nodes[0].id, 2);
  EXPECT_EQ(refusal(kHead + R"("materials":[{"name":"a"}],"materials":[{"name":"b","bad":1}]})"),
            "t.kscene, at /materials/0/bad: unknown field \"bad\"");
}

}  // namespace
}  // namespace kavro
