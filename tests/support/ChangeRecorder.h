#pragma once
// An observer that records the kind and the node ID of every change its subject reports, in order.
#include <algorithm>
#include <string>
#include <utility>
#include <vector>

#include "com/AggregableObject.h"
#include "contract/LumetaIntf.h"
#include "contract/SubjectIntf.h"

class TChangeRecorder : public TImplements<TAggregableObject, IObserver> {
 public:
  void Update(IUnknown* ASubject) override {
    ComPtr<IChanges> changes = QueryAs<ISubject>(ASubject)->GetChanges();
    for (int32_t i = 0; i < changes->GetCount(); ++i) {
      ComPtr<IChange> change = changes->GetItem(i);
      ComPtr<INode> node = QueryAs<INode>(change->GetObject().get());
      Changes.emplace_back(change->GetKind(), node ? node->GetID() : std::string());
    }
  }
  int Count(int32_t AKind) const {
    return static_cast<int>(std::count_if(Changes.begin(), Changes.end(), [&](const auto& AChange) { return AChange.first == AKind; }));
  }
  // The IDs of the nodes changes of the kind reported, in order.
  std::vector<std::string> Nodes(int32_t AKind) const {
    std::vector<std::string> ids;
    for (const auto& [kind, id] : Changes)
      if (kind == AKind && !id.empty()) ids.push_back(id);
    return ids;
  }

  std::vector<std::pair<int32_t, std::string>> Changes;
};
