#include <gtest/gtest.h>

#include <memory>
#include <stdexcept>
#include <vector>

#include "CommandTestFakes.h"
#include "commands/Changes.h"
#include "commands/Subject.h"

namespace {

// An object that observers watch, with the subject aggregated into it.
class TWatched : public TAggregableObject {
 public:
  TWatched() : FSubject(std::make_unique<TSubject>(static_cast<IUnknown*>(this))) {}

 protected:
  HRESULT QueryAggregated(const GUID& AIid, void** AObject) noexcept override {
    return FSubject->InnerQueryInterface(AIid, AObject);
  }

 private:
  std::unique_ptr<TSubject> FSubject;
};

TEST(Subject, ObserversHearOfTheControllerOnceEachAndSeeTheChanges) {
  ComPtr<TWatched> watched = make<TWatched>();
  ComPtr<ISubject> subject = QueryAs<ISubject>(watched.get());
  ASSERT_TRUE(subject);
  IUnknown* identity = QueryAs<IUnknown>(watched.get()).get();

  ComPtr<TCountingObserver> observer = make<TCountingObserver>();
  int seenData = -1;
  observer->OnUpdate = [&](IUnknown* ASubject) {
    ComPtr<IChanges> changes = QueryAs<ISubject>(ASubject)->GetChanges();
    ASSERT_TRUE(changes->Contains(7) && !changes->Contains(8));
    seenData = dynamic_cast<TChange&>(*changes->GetItem(0)).GetData();
  };
  subject->Attach(observer.get());
  subject->Attach(QueryAs<IObserver>(static_cast<ISubjectLink*>(observer.get())).get());
  EXPECT_EQ(observer->Attached, 1) << "attaching twice has no effect";
  EXPECT_EQ(observer->LastSubject, identity);

  subject->AddChange(7, nullptr, 42);
  EXPECT_EQ(observer->Updates, 1);
  EXPECT_EQ(observer->LastSubject, identity);
  EXPECT_EQ(seenData, 42);
  EXPECT_EQ(subject->GetChanges()->GetCount(), 0);

  subject->Detach(observer.get());
  subject->Detach(observer.get());
  EXPECT_EQ(observer->Detached, 1);
  subject->AddChange(7, nullptr);
  EXPECT_EQ(observer->Updates, 1);
}

TEST(Subject, UpdateCounterNotifiesOnceAtTheOutermostEnd) {
  TSubject subject;
  ComPtr<TCountingObserver> observer = make<TCountingObserver>();
  subject.Attach(observer.get());

  subject.EndUpdate();  // unbalanced: ignored
  subject.BeginUpdate();
  subject.BeginUpdate();
  subject.AddChange(3, nullptr);  // notifies at once, whatever the counter says
  EXPECT_EQ(observer->Updates, 1);
  subject.EndUpdate();
  EXPECT_EQ(observer->Updates, 1);
  subject.EndUpdate();
  EXPECT_EQ(observer->Updates, 2);
  subject.EndUpdate();
  EXPECT_EQ(observer->Updates, 2);
}

TEST(Subject, ChangesAreClearedEvenWhenAnObserverRaises) {
  TSubject subject;
  ComPtr<TCountingObserver> failing = make<TCountingObserver>();
  failing->OnUpdate = [](IUnknown*) { throw std::runtime_error("observer failed"); };
  subject.Attach(failing.get());
  EXPECT_THROW(subject.AddChange(5, nullptr), std::runtime_error);
  EXPECT_EQ(subject.GetChanges()->GetCount(), 0);
}

TEST(Subject, ObserversMayDetachThemselvesOrOthersDuringUpdate) {
  TSubject subject;
  ComPtr<TCountingObserver> first = make<TCountingObserver>(), second = make<TCountingObserver>(), third = make<TCountingObserver>(),
                    late = make<TCountingObserver>();
  first->OnUpdate = [&](IUnknown*) {
    subject.Detach(first.get());
    subject.Detach(third.get());
    subject.Attach(late.get());
  };
  for (auto* observer : {first.get(), second.get(), third.get()}) subject.Attach(observer);

  subject.Notify();
  EXPECT_EQ(second->Updates, 1);
  EXPECT_EQ(third->Updates, 0) << "detached before its turn";
  EXPECT_EQ(late->Updates, 0) << "attached during the round";
  subject.Notify();
  EXPECT_EQ(first->Updates, 1);
  EXPECT_EQ(second->Updates, 2);
  EXPECT_EQ(late->Updates, 1);
}

TEST(Subject, ObserverHeldOnlyByTheSubjectSurvivesDetachingItself) {
  TSubject subject;
  bool destroyed = false, aliveAfterDetach = false;
  {
    ComPtr<TCountingObserver> observer = make<TCountingObserver>();
    observer->Destroyed = &destroyed;
    observer->OnUpdate = [&, raw = observer.get()](IUnknown*) {
      subject.Detach(raw);
      aliveAfterDetach = !destroyed;
    };
    subject.Attach(observer.get());
  }
  subject.Notify();
  EXPECT_TRUE(aliveAfterDetach);
  EXPECT_TRUE(destroyed) << "freed once the round ended";
}

TEST(Subject, ObserverDetachedInANestedRoundLivesUntilTheOuterRoundEnds) {
  TSubject subject;
  bool destroyed = false, aliveAtOuterEnd = false;
  ComPtr<TCountingObserver> first = make<TCountingObserver>();
  {
    ComPtr<TCountingObserver> second = make<TCountingObserver>();  // then held only by the subject
    second->Destroyed = &destroyed;
    subject.Attach(first.get());
    subject.Attach(second.get());
    first->OnUpdate = [&, raw = second.get()](IUnknown*) {
      if (first->Updates == 1) return subject.AddChange(2, nullptr);  // a nested round
      subject.Detach(raw);
    };
  }
  ComPtr<TCountingObserver> last = make<TCountingObserver>();
  last->OnUpdate = [&](IUnknown*) { aliveAtOuterEnd = !destroyed; };
  subject.Attach(last.get());

  subject.AddChange(1, nullptr);
  EXPECT_EQ(first->Updates, 2);
  EXPECT_EQ(last->Updates, 2);
  EXPECT_TRUE(aliveAtOuterEnd) << "the outer round still walks past it";
  EXPECT_TRUE(destroyed) << "freed once the outer round ended";
  EXPECT_EQ(subject.ObserverCount(), 2);
}

TEST(Subject, ChangesWithoutObserversAreDroppedAtOnce) {
  TSubject subject;
  subject.GetChanges()->Add(4, nullptr);
  subject.AddChange(5, nullptr);
  EXPECT_EQ(subject.GetChanges()->GetCount(), 0);
  subject.BeginUpdate();
  subject.AddChange(6, nullptr);
  EXPECT_EQ(subject.GetChanges()->GetCount(), 0) << "an open batch keeps nothing for nobody";
  subject.EndUpdate();
}

TEST(Subject, AChangeAnObserverKeepsStaysAsItWasAndObjectsAreLetGoAfterTheRound) {
  TSubject subject;
  ComPtr<TCountingObserver> observer = make<TCountingObserver>();
  ComPtr<IChange> kept;
  std::vector<int32_t> seen;
  observer->OnUpdate = [&](IUnknown* ASubject) {
    ComPtr<IChanges> changes = QueryAs<ISubject>(ASubject)->GetChanges();
    for (int32_t i = 0; i < changes->GetCount(); ++i) seen.push_back(changes->GetItem(i)->GetKind());
    if (!kept) kept = changes->GetItem(0);
  };
  subject.Attach(observer.get());

  bool destroyed = false;
  {
    ComPtr<TCountingObserver> object = make<TCountingObserver>();
    object->Destroyed = &destroyed;
    subject.AddChange(1, object.get());
  }
  EXPECT_FALSE(destroyed) << "the kept change still holds its object";
  kept->SetObject(nullptr);
  EXPECT_TRUE(destroyed);

  bool alsoDestroyed = false;
  for (int32_t kind = 2; kind <= 4; ++kind) {
    ComPtr<TCountingObserver> object = make<TCountingObserver>();
    object->Destroyed = &alsoDestroyed;
    subject.AddChange(kind, object.get());
    object.reset();
    EXPECT_TRUE(alsoDestroyed) << "a cleared change keeps no object alive";
    alsoDestroyed = false;
  }
  EXPECT_EQ(kept->GetKind(), 1);
  EXPECT_EQ(seen, (std::vector<int32_t>{1, 2, 3, 4}));
  EXPECT_THROW(subject.GetChanges()->GetItem(0), EListError);
}

}  // namespace
