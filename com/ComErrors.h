#pragma once
// Failures inside the process are exceptions derived from ELumetaError; each carries the result
// code it becomes at an exported C function. The classes live in the shared COM library so that
// one type identity holds across the host, the plug-in and the factory library.
#include <stdexcept>
#include <string>

#include "com/HResult.h"

class ELumetaError : public std::runtime_error {
 public:
  explicit ELumetaError(const std::string& AMessage, HRESULT ACode = E_FAIL);
  ~ELumetaError() override;
  HRESULT Code() const noexcept { return FCode; }

 private:
  HRESULT FCode;
};

// "Method not implemented." for base operations a class does not support.
class ENotImplemented : public ELumetaError {
 public:
  ENotImplemented();
  ~ENotImplemented() override;
};

class EInvalidOperation : public ELumetaError {
 public:
  explicit EInvalidOperation(const std::string& AMessage);
  ~EInvalidOperation() override;
};

// A value that cannot be assigned or converted ("Cannot assign %s to %s").
class EConvertError : public ELumetaError {
 public:
  explicit EConvertError(const std::string& AMessage);
  ~EConvertError() override;
};

class EClassNotFound : public ELumetaError {
 public:
  explicit EClassNotFound(const std::string& AMessage);
  ~EClassNotFound() override;
};

class ENoInterface : public ELumetaError {
 public:
  explicit ENoInterface(const std::string& AMessage);
  ~ENoInterface() override;
};

// An index outside a list ("List index out of bounds (%d)").
class EListError : public ELumetaError {
 public:
  explicit EListError(const std::string& AMessage);
  ~EListError() override;
  static EListError OutOfBounds(long long AIndex);
};

// A failure of a late-bound automation call: an unknown member, a wrong argument, or the server's
// own error, with the automation result code (DISP_E_UNKNOWNNAME, DISP_E_TYPEMISMATCH, ...).
class EOleError : public ELumetaError {
 public:
  EOleError(const std::string& AMessage, HRESULT ACode);
  ~EOleError() override;
};
