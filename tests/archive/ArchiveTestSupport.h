#pragma once
// The archive with the plug-in's own managers and a comparison of two maps attribute by attribute.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "contract/ActionAttributesIntf.h"
#include "attributes/LumetaAttributeFactory.h"
#include "host/LumetaMapSettings.h"
#include "host/xml/LumetaXmlArchive.h"
#include "plugin/ActionProperty.h"
#include "plugin/LumetaNodeDateProperty.h"
#include "plugin/LumetaNodeLinksProperty.h"
#include "tests/support/InProcessPlugIn.h"
#include "tests/support/TestFiles.h"

namespace archive_test {

struct TPlugInSetup {
  // The node's property stored under the element, attached on first use.
  template <class I>
  ComPtr<I> Property(TLumetaNode* ANode, const char* AElement) {
    IPropertyManager* manager = Archive.ManagerFor(AElement);
    ComPtr<IProperty> property = ANode->FindProperty(manager->GetDescription());
    if (!property) {
      property = manager->NewProperty();
      ANode->SetProperty(property.get());
    }
    return property.as<I>();
  }
  ComPtr<IActionAttribute> Action(TLumetaNode* ANode) { return Property<IActionAttribute>(ANode, "Action"); }
  ComPtr<INodeLinkList2> Links(TLumetaNode* ANode, const char* AElement = "TaskLinks") {
    return Property<INodeLinkList2>(ANode, AElement);
  }
  // Stores the link on both ends, as the link commands do.
  void Link(TLumetaNode* APredecessor, TLumetaNode* ASuccessor, TTaskLinkType AType) {
    Links(ASuccessor)->AddLink(static_cast<INode*>(APredecessor)).as<ITaskLink>()->SetLinkType(AType);
    Links(APredecessor, "SuccessorTaskLinks")->AddLink(static_cast<INode*>(ASuccessor)).as<ITaskLink>()->SetLinkType(AType);
  }

  TLumetaXmlArchive Archive;
  TInProcessPlugIn PlugIn{Archive};  // after Archive: registers its managers
};

using TMapPtr = std::unique_ptr<TLumetaMap>;
inline TMapPtr Own(std::unique_ptr<TLumetaMap> AMap) { return AMap; }

// Every stored attribute of a tree as "Full.Name = text" lines; link items add their type, which
// their equality ignores.
inline void Describe(IAttribute* AAttribute, const std::string& APrefix, std::vector<std::string>& ALines) {
  const std::string name = APrefix + AAttribute->GetName();
  if (auto structure = QueryAs<IStructuredAttribute>(AAttribute)) {
    ALines.push_back(name + " (" + std::to_string(structure->GetChildCount()) + ")");
    for (int32_t i = 0; i < structure->GetChildCount(); ++i) Describe(structure->GetChild(i).get(), name + ".", ALines);
    return;
  }
  std::string line = name + " = " + AAttribute->SaveToString();
  if (auto link = QueryAs<ITaskLink>(AAttribute)) line += " type " + std::to_string(link->GetLinkType());
  ALines.push_back(line);
}

inline std::vector<std::string> DescribeMap(TLumetaMap& AMap) {
  std::vector<std::string> lines;
  auto node = [&](TLumetaNode* ANode) {
    const auto& data = ANode->HostData();
    const std::string id = "node " + ANode->GetID();
    lines.push_back(id + " under " + (ANode->Parent() ? ANode->Parent()->GetID() : "-") + " at " +
                    std::to_string(ANode->IndexInParent()) + ": " + ANode->Title());
    lines.push_back(id + " notes " + data.Notes + (data.Expanded ? " expanded" : " collapsed"));
    for (const auto& [name, email] : data.Resources) lines.push_back(id + " resource " + name + " <" + email + ">");
    for (const auto& [name, location] : data.Attachments) lines.push_back(id + " attachment " + name + " at " + location);
    for (const auto& text : data.Categories) lines.push_back(id + " category " + text);
    for (int64_t other : data.Connections) lines.push_back(id + " connection " + std::to_string(other));
    for (int32_t i = 0; i < ANode->GetPropertyCount(); ++i)
      Describe(ANode->GetPropertyItem(i).as<IAttribute>().get(), id + " ", lines);
  };
  node(AMap.Root());
  AMap.ForEachNode(node);
  return lines;
}

// Compares line by line so that a failure names the first differing attribute.
inline void ExpectSameMaps(TLumetaMap& AExpected, TLumetaMap& AActual) {
  const std::vector<std::string> expected = DescribeMap(AExpected), actual = DescribeMap(AActual);
  for (size_t i = 0; i < std::min(expected.size(), actual.size()); ++i) ASSERT_EQ(expected[i], actual[i]) << "line " << i;
  EXPECT_EQ(expected.size(), actual.size());
  EXPECT_TRUE(QueryAs<IAttribute>(AExpected.Settings())->EqualTo(QueryAs<IAttribute>(AActual.Settings()).get()));
  EXPECT_EQ(AExpected.HighestID(), AActual.HighestID());
}

}  // namespace archive_test
