#pragma once
// Change notification: subjects record changes and tell their observers at once.
#include <cstdint>

#include "com/ComPtr.h"

struct IChange : virtual IUnknown {
  static constexpr GUID Iid = MakeGuid("37591C3B-0CBF-4595-922A-D3694A29795D");
  virtual int32_t GetKind() = 0;
  virtual ComPtr<IUnknown> GetObject() = 0;
  virtual void SetKind(int32_t AKind) = 0;
  virtual void SetObject(IUnknown* AObject) = 0;
};

struct IChanges : virtual IUnknown {
  static constexpr GUID Iid = MakeGuid("9D613EBD-FEFF-4D2B-981D-344576886960");
  virtual void Add(int32_t AKind, IUnknown* AObject) = 0;
  virtual void Add(int32_t AKind, IUnknown* AObject, int32_t AData) = 0;
  virtual void Clear() = 0;
  // True when any change has the kind.
  virtual bool Contains(int32_t AKind) = 0;
  virtual int32_t GetCount() = 0;
  virtual ComPtr<IChange> GetItem(int32_t AIndex) = 0;
};

struct IObserver;

struct ISubject : virtual IUnknown {
  static constexpr GUID Iid = MakeGuid("2B63BE66-5BF7-459C-BDB3-56816B6F3F5B");
  // Records a change and notifies at once, whatever the update counter says.
  virtual void AddChange(int32_t AKind, IUnknown* AObject) = 0;
  virtual void AddChange(int32_t AKind, IUnknown* AObject, int32_t AData) = 0;
  // Appends the observer unless it is attached already.
  virtual void Attach(IObserver* AObserver) = 0;
  virtual void BeginUpdate() = 0;
  virtual void Detach(IObserver* AObserver) = 0;
  // Notifies when the outermost EndUpdate runs; unbalanced calls are ignored.
  virtual void EndUpdate() = 0;
  virtual ComPtr<IChanges> GetChanges() = 0;
  virtual void Notify() = 0;
};

struct IObserver : virtual IUnknown {
  static constexpr GUID Iid = MakeGuid("57CFF851-11F3-4792-87A3-F23526E76A25");
  // ASubject is the notifying subject's controller.
  virtual void Update(IUnknown* ASubject) = 0;
};

// Implemented by observers that want to know when they are attached to or detached from a subject.
struct ISubjectLink : virtual IUnknown {
  static constexpr GUID Iid = MakeGuid("0944FFF7-B365-4E74-8EE0-EB12D0649370");
  virtual void SubjectAttached(IUnknown* ASubject) = 0;
  virtual void SubjectDetached(IUnknown* ASubject) = 0;
};
