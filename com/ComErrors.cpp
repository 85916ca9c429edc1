#include "com/ComErrors.h"

ELumetaError::ELumetaError(const std::string& AMessage, HRESULT ACode) : std::runtime_error(AMessage), FCode(ACode) {}
ELumetaError::~ELumetaError() = default;

ENotImplemented::ENotImplemented() : ELumetaError("Method not implemented.", E_NOTIMPL) {}
ENotImplemented::~ENotImplemented() = default;

EInvalidOperation::EInvalidOperation(const std::string& AMessage) : ELumetaError(AMessage, E_UNEXPECTED) {}
EInvalidOperation::~EInvalidOperation() = default;

EConvertError::EConvertError(const std::string& AMessage) : ELumetaError(AMessage, DISP_E_TYPEMISMATCH) {}
EConvertError::~EConvertError() = default;

EClassNotFound::EClassNotFound(const std::string& AMessage) : ELumetaError(AMessage, CLASS_E_CLASSNOTAVAILABLE) {}
EClassNotFound::~EClassNotFound() = default;

ENoInterface::ENoInterface(const std::string& AMessage) : ELumetaError(AMessage, E_NOINTERFACE) {}
ENoInterface::~ENoInterface() = default;

EListError::EListError(const std::string& AMessage) : ELumetaError(AMessage, DISP_E_BADINDEX) {}
EListError::~EListError() = default;

EListError EListError::OutOfBounds(long long AIndex) {
  return EListError("List index out of bounds (" + std::to_string(AIndex) + ")");
}

EOleError::EOleError(const std::string& AMessage, HRESULT ACode) : ELumetaError(AMessage, ACode) {}
EOleError::~EOleError() = default;
