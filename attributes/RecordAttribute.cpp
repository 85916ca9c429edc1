#include "attributes/RecordAttribute.h"

#include <algorithm>
#include <span>

#include "attributes/LumetaAttributeFactory.h"

TRecordAttribute::TRecordAttribute(std::span<const char* const> AChildNames, IUnknown* AController) noexcept
    : TImplements(AController), FChildNames(AChildNames) {}

ComPtr<IAttribute> TRecordAttribute::AddChildOfType(const GUID& AIid) {
  ComPtr<IAttribute> child = AttributeFactory()->CreateAttribute(AIid);
  AddChild(child.get());
  return child;
}

std::string TRecordAttribute::GetChildCaption(int32_t AIndex) { return GetChildName(AIndex); }

std::string TRecordAttribute::GetChildName(int32_t AIndex) {
  if (AIndex < 0 || static_cast<size_t>(AIndex) >= FChildNames.size() || !FChildNames[AIndex]) return {};
  return FChildNames[AIndex];
}

int32_t TRecordAttribute::GetChildCount() { return Count(); }

void TRecordAttribute::Apply(IAttribute* ASource) {
  if (!ASource || ASource->IsCleared()) {
    for (int32_t i = 0; i < Count(); ++i) ChildAt(i)->Assign(nullptr);
    return;
  }
  ComPtr<IRecordAttribute> source = QueryAs<IRecordAttribute>(ASource);
  if (!source) return Assign(ASource);
  const int32_t count = std::min(Count(), source->GetChildCount());
  for (int32_t i = 0; i < count; ++i) {
    ComPtr<IAttribute> sourceChild = source->GetChild(i);
    if (sourceChild->IsModified() && !sourceChild->IsMixed()) ChildAt(i)->Apply(sourceChild.get());
  }
}

void TRecordAttribute::Assign(IAttribute* ASource) {
  if (!ASource) return TAttribute::Assign(nullptr);
  if (ASource == Self()) return;
  // One of our own records (most sources are) is copied child object to child object, found
  // without counted queries.
  TAttribute* object = FromInterface(ASource);
  TStructuredAttribute* structure = object ? object->AsStructure() : nullptr;
  if (structure && structure->ImplementsInterface(uuidof<IRecordAttribute>())) {
    AssignChildren(*structure);
    return FinishAssign(ASource);
  }
  ComPtr<IRecordAttribute> source = QueryAs<IRecordAttribute>(ASource);
  if (!source) return TAttribute::Assign(ASource);
  const int32_t count = std::min(Count(), source->GetChildCount());
  for (int32_t i = 0; i < count; ++i) {
    ComPtr<IAttribute> sourceChild = source->GetChild(i);
    ChildAt(i)->Assign(sourceChild.get());
  }
  FinishAssign(ASource);
}

void TRecordAttribute::AssignChildren(TStructuredAttribute& ASource) {
  const size_t count = static_cast<size_t>(std::min(Count(), ASource.GetChildCount()));
  const std::span<const TChild> mine = ChildEntries(), theirs = ASource.ChildEntries();
  for (size_t i = 0; i < count; ++i) {
    TAttribute* target = mine[i].Object();
    TAttribute* source = theirs[i].Object();
    if (target && source)
      target->AssignObject(*source);
    else
      mine[i].Interface()->Assign(theirs[i].Interface());
  }
}

void TRecordAttribute::MergeChildren(TStructuredAttribute& AOther) {
  const size_t otherCount = static_cast<size_t>(AOther.GetChildCount());
  const std::span<const TChild> mine = ChildEntries(), theirs = AOther.ChildEntries();
  for (size_t i = 0; i < mine.size(); ++i) {
    if (i >= otherCount)
      mine[i].Interface()->Merge(nullptr);
    else if (mine[i].Object() && theirs[i].Object())
      mine[i].Object()->MergeObject(*theirs[i].Object());
    else
      mine[i].Interface()->Merge(theirs[i].Interface());
  }
}

void TRecordAttribute::AssignObject(TAttribute& ASource) {
  if (&ASource == this || !SameClassAs(ASource)) return TAttribute::AssignObject(ASource);
  auto& source = static_cast<TRecordAttribute&>(ASource);
  AssignChildren(source);
  FinishAssign(source.Self());
}

bool TRecordAttribute::EqualToObject(TAttribute& AOther) {
  if (!SameClassAs(AOther)) return TAttribute::EqualToObject(AOther);
  return EqualChildren(static_cast<TRecordAttribute&>(AOther));
}

void TRecordAttribute::MergeObject(TAttribute& AOther) {
  if (!SameClassAs(AOther)) return TAttribute::MergeObject(AOther);
  MergeChildren(static_cast<TRecordAttribute&>(AOther));
}

void TRecordAttribute::Merge(IAttribute* AOther) {
  if (TAttribute* object = FromInterface(AOther); object && object->AsStructure()) return MergeChildren(*object->AsStructure());
  ComPtr<IStructuredAttribute> other = QueryAs<IStructuredAttribute>(AOther);
  if (!other) {
    for (int32_t i = 0; i < Count(); ++i) ChildAt(i)->SetMixed(true);
    return;
  }
  const int32_t otherCount = other->GetChildCount();
  for (int32_t i = 0; i < Count(); ++i) {
    ComPtr<IAttribute> otherChild = i < otherCount ? other->GetChild(i) : ComPtr<IAttribute>();
    ChildAt(i)->Merge(otherChild.get());
  }
}

GUID TRecordAttribute::GetClassID() { return uuidof<IRecordAttribute>(); }
