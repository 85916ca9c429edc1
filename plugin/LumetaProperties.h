#pragma once
// The base classes of the plug-in's counted objects and of its property managers.
#include <string>

#include "com/ErrorInfo.h"
#include "com/hvSystem.h"
#include "plugin/LumetaIntf.h"

// A counted object whose failures reach the host as error information.
class TLumetaNonComBase : public TImplements<TAggregableObject, ISupportErrorInfo> {
 public:
  using TImplements::TImplements;

  // S_OK for every interface this object implements itself, S_FALSE for any other (including
  // interfaces answered by aggregated parts).
  HRESULT InterfaceSupportsErrorInfo(const GUID& AIid) noexcept override;

 protected:
  // Set-up that needs the finished object. A virtual call from a base constructor would not reach
  // the derived class, so each concrete class runs it from its own constructor.
  virtual void Initialize() {}
};

// The common part of the property managers: the host interactor, registration with the host's
// catalogue and property creation.
class TLumetaPropertyManager : public TImplements<TLumetaNonComBase, IPropertyManager, IPlugin, IPropertyPlugin> {
 public:
  using TImplements::TImplements;

  // Empty in every manager here.
  std::string GetText() override;
  // The class description, as GetClassDescription.
  std::string GetDescription() override;
  // Adds the class description to the catalogue (which must answer IPropertyCatalogue, else
  // ENoInterface); derived managers then give it their CLSID. Answers true.
  bool RegisterWith(IUnknown* ACatalogue) override;
  // Raises ENotImplemented; each manager creates its own property class.
  ComPtr<IProperty> CreateProperty() override;
  // Answers no interface.
  ComPtr<IUnknown> GetExtension() override;
  // Answers nothing; a manager with a UI controller overrides it.
  ComPtr<IUnknown> CreatePlugInUI() override;
  virtual std::string GetClassDescription() = 0;

  ComPtr<IPlugInInteractor> GetHost() override;
  // The manager keeps a counted reference to the interactor.
  void SetHost(IPlugInInteractor* AHost) override;
  ComPtr<IProperty> NewProperty() override;
  // Empty while no interactor has been set.
  ComPtr<IUnknown> GetHostApplication() override;

 private:
  ComPtr<IPlugInInteractor> FHost;
};
