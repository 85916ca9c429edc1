#include "commands/Subject.h"

#include <algorithm>
#include <array>
#include <span>
#include <vector>

#include "commands/Changes.h"

TSubject::TSubject(IUnknown* AController) : TImplements(AController) {}

TSubject::~TSubject() = default;

TSubject::THeld::THeld(TSubject* ASubject) : FSubject(ASubject) {
  if (!FSubject) return;
  FHold = ComPtr<IUnknown>(FSubject->Subject());
  ++FSubject->FHeld;
}

TSubject::THeld::~THeld() {
  if (FSubject) --FSubject->FHeld;
}

IUnknown* TSubject::Subject() noexcept {
  if (IUnknown* controller = GetController()) return controller;
  return static_cast<ISubject*>(this);
}

void TSubject::AddChange(int32_t AKind, IUnknown* AObject) { AddChange(AKind, AObject, 0); }

void TSubject::AddChange(int32_t AKind, IUnknown* AObject, int32_t AData) {
  // Nobody to tell: the round would only clear the list.
  if (!FObservers) return ClearChanges();
  if (!FChanges) FChanges = make<TChanges>();
  // The caller holds AObject for the length of this call, and the round below clears the list
  // before it returns: the change need not count a reference unless an observer keeps it.
  FChanges->AddBorrowed(AKind, AObject, AData);
  Notify();
}

void TSubject::Attach(IObserver* AObserver) {
  if (!AObserver) return;
  if (!FObservers) FObservers = std::make_unique<TInterfaceList<IObserver>>();
  if (FObservers->IndexOf(AObserver) >= 0) return;
  FObservers->Add(AObserver);
  if (auto link = QueryAs<ISubjectLink>(AObserver)) link->SubjectAttached(Subject());
}

void TSubject::BeginUpdate() { ++FUpdateCount; }

void TSubject::Detach(IObserver* AObserver) {
  if (!FObservers || !AObserver) return;
  const int index = FObservers->IndexOf(AObserver);
  if (index < 0) return;
  // The list may hold the last reference; keep the observer alive until it has been told.
  ComPtr<IObserver> observer = FObservers->Items(index);
  if (auto link = observer.try_as<ISubjectLink>()) link->SubjectDetached(Subject());
  // SubjectDetached may have changed the list; find the observer again.
  if (FObservers) FObservers->Remove(observer.get());
  if (FNotifying > 0) FDetached.push_back(std::move(observer));
  if (FObservers && FObservers->Empty()) FObservers.reset();
}

void TSubject::EndUpdate() {
  if (FUpdateCount <= 0) return;
  if (--FUpdateCount == 0) Notify();
}

ComPtr<IChanges> TSubject::GetChanges() {
  if (!FChanges) FChanges = make<TChanges>();
  return ComPtr<IChanges>(FChanges.get());
}

void TSubject::ClearChanges() {
  if (FChanges) FChanges->Clear();
}

void TSubject::Notify() {
  if (!FObservers) return ClearChanges();
  // Observers may attach or detach (themselves or others) or drop their reference to the subject
  // from Update. The held reference keeps the subject alive; an observer detached meanwhile waits
  // in FDetached until the outermost round ends, so the uncounted snapshot stays valid.
  IUnknown* const subject = Subject();
  ComPtr<IUnknown> hold;
  if (FHeld == 0) hold = subject;
  struct TRound {
    TSubject& Subject;
    explicit TRound(TSubject& ASubject) : Subject(ASubject) { ++Subject.FNotifying; }
    ~TRound() {
      Subject.ClearChanges();
      if (--Subject.FNotifying == 0) Subject.FDetached.clear();
    }
  } round(*this);
  // The usual case, once per change of a run: nobody can have detached the only observer before
  // it is told, so it needs neither a snapshot nor a check.
  if (FObservers->Count() == 1) return FObservers->First()->Update(subject);
  // A run of commands notifies once per change, and a subject rarely has more than a few
  // observers: their snapshot then stays off the heap.
  constexpr size_t KInline = 4;
  std::array<IObserver*, KInline> few;
  std::vector<IObserver*> many;
  std::span<IObserver* const> observers;
  const size_t count = static_cast<size_t>(FObservers->Count());
  if (count <= KInline) {
    std::transform(FObservers->begin(), FObservers->end(), few.begin(),
                   [](const ComPtr<IObserver>& AItem) { return AItem.get(); });
    observers = std::span(few.data(), count);
  } else {
    many.reserve(count);
    for (const ComPtr<IObserver>& item : *FObservers) many.push_back(item.get());
    observers = many;
  }
  // Whether the observer is still attached: the very pointer is nearly always there, which spares
  // the identity queries of IndexOf.
  const auto attached = [this](IObserver* AObserver) {
    if (!FObservers) return false;
    for (const ComPtr<IObserver>& item : *FObservers)
      if (item.get() == AObserver) return true;
    return FObservers->IndexOf(AObserver) >= 0;
  };
  for (IObserver* observer : observers)
    if (attached(observer)) observer->Update(subject);
}
