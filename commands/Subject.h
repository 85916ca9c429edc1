#pragma once
// A subject meant to be aggregated into the object that observers watch: its controller is that
// outer object, and observers are told about the controller, not about the subject itself.
#include <cstdint>
#include <memory>
#include <vector>

#include "com/InterfaceList.h"
#include "com/AggregableObject.h"
#include "commands/Changes.h"
#include "contract/SubjectIntf.h"

// The outer object owns its subject (e.g. through std::unique_ptr) and answers ISubject by asking
// the subject's InnerQueryInterface. Without a controller the subject stands alone and is its own
// subject for observers.
class TSubject : public TImplements<TAggregableObject, ISubject> {
 public:
  explicit TSubject(IUnknown* AController = nullptr);
  ~TSubject() override;

  void AddChange(int32_t AKind, IUnknown* AObject) override;
  void AddChange(int32_t AKind, IUnknown* AObject, int32_t AData) override;
  void Attach(IObserver* AObserver) override;
  void BeginUpdate() override;
  void Detach(IObserver* AObserver) override;
  void EndUpdate() override;
  ComPtr<IChanges> GetChanges() override;
  // Tells the observers attached when it starts, skipping any detached meanwhile; an observer
  // attached during the round is told from the next one. Clears the changes afterwards, also
  // when an observer raises (the error goes on to the caller).
  void Notify() override;

  // Keeps the subject alive for as long as it lives, so that the rounds meanwhile need not count
  // a reference each: a run that posts several changes per task holds the subject once.
  class THeld {
   public:
    explicit THeld(TSubject* ASubject);
    ~THeld();
    THeld(const THeld&) = delete;
    THeld& operator=(const THeld&) = delete;

   private:
    TSubject* FSubject;
    ComPtr<IUnknown> FHold;
  };

  int32_t UpdateCount() const noexcept { return FUpdateCount; }
  int32_t ObserverCount() const noexcept { return FObservers ? FObservers->Count() : 0; }

 private:
  // What observers are told about: the controller, or this subject when it stands alone.
  IUnknown* Subject() noexcept;
  void ClearChanges();

  ComPtr<TChanges> FChanges;
  std::unique_ptr<TInterfaceList<IObserver>> FObservers;
  // Observers detached while a round runs, kept alive until the outermost round ends: the round
  // walks uncounted pointers.
  std::vector<ComPtr<IObserver>> FDetached;
  int32_t FUpdateCount = 0;
  int32_t FNotifying = 0;  // rounds running, nested ones included
  int32_t FHeld = 0;       // THeld scopes alive
};
