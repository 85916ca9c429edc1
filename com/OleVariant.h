#pragma once
// The automation variant: the value type of late-bound calls, with the conversions automation
// clients expect (an integer reads as text, a numeric string as a number) and the call helpers
// that let client code read like a script: app.Call("GetNamespace", "MAPI").Get("Folders").
#include <concepts>
#include <cstdint>
#include <initializer_list>
#include <string>
#include <string_view>
#include <type_traits>
#include <variant>

#include "com/ComPtr.h"
#include "com/Dispatch.h"

enum class TOleVarType { Empty, Null, Integer, Double, Date, Boolean, String, Dispatch, Error };

class TOleVariant {
 public:
  TOleVariant() noexcept = default;
  TOleVariant(bool AValue) : FValue(AValue) {}
  // Raises EOleError (DISP_E_OVERFLOW) for a value outside 32 bits.
  template <std::integral T>
    requires(!std::same_as<T, bool>)
  TOleVariant(T AValue) : FValue(CheckedInteger(static_cast<long long>(AValue))) {}
  TOleVariant(double AValue) : FValue(AValue) {}
  TOleVariant(const char* AValue) : FValue(std::string(AValue)) {}
  TOleVariant(std::string_view AValue) : FValue(std::string(AValue)) {}
  TOleVariant(std::string AValue) : FValue(std::move(AValue)) {}
  // A null object pointer gives Empty, so "no object" has one form.
  TOleVariant(ComPtr<IDispatch> AValue);
  template <class U>
    requires(std::is_convertible_v<U*, IDispatch*> && !std::same_as<U, IDispatch>)
  TOleVariant(const ComPtr<U>& AValue) : TOleVariant(ComPtr<IDispatch>(AValue)) {}

  static TOleVariant FromDate(double ADate);
  static TOleVariant Null();
  // An optional argument left out (an error value, DISP_E_PARAMNOTFOUND).
  static TOleVariant Missing();
  static TOleVariant FromError(HRESULT ACode);

  TOleVarType Type() const noexcept { return static_cast<TOleVarType>(FValue.index()); }
  bool IsEmpty() const noexcept { return Type() == TOleVarType::Empty; }
  bool IsNull() const noexcept { return Type() == TOleVarType::Null; }
  bool IsMissing() const noexcept;
  // Holds a value: neither Empty nor Null.
  bool Assigned() const noexcept { return !IsEmpty() && !IsNull(); }

  // Conversions raise EConvertError ("Could not convert variant of type (Null) into type
  // (Integer)"); Empty reads as 0, false or "".
  int32_t AsInteger() const;
  double AsDouble() const;
  double AsDate() const;
  bool AsBoolean() const;
  std::string AsString() const;
  ComPtr<IDispatch> AsDispatch() const;
  HRESULT ErrorCode() const noexcept;

  // Late-bound calls on a variant holding an object; a variant without one raises EOleError
  // naming the member.
  template <class... A>
  TOleVariant Call(std::string_view AName, const A&... AArgs) const {
    return Invoke(AName, TInvokeKind::Method, {TOleVariant(AArgs)...});
  }
  template <class... A>
  TOleVariant Get(std::string_view AName, const A&... AArgs) const {
    return Invoke(AName, TInvokeKind::PropertyGet, {TOleVariant(AArgs)...});
  }
  void Put(std::string_view AName, const TOleVariant& AValue) const;
  TOleVariant Invoke(std::string_view AName, TInvokeKind AKind, std::initializer_list<TOleVariant> AArgs) const;

  // "Integer", "String", ... as the conversion errors name them.
  static const char* TypeName(TOleVarType AType);
  // For messages: the type and the value, "String \"abc\"", "Integer 5", "Empty".
  std::string Describe() const;

  // Same type and value; objects compare by identity.
  friend bool operator==(const TOleVariant& ALeft, const TOleVariant& ARight);

 private:
  struct TNull {
    friend bool operator==(TNull, TNull) = default;
  };
  struct TDate {
    double Value = 0;
    friend bool operator==(TDate, TDate) = default;
  };
  struct TError {
    HRESULT Code = 0;
    friend bool operator==(TError, TError) = default;
  };
  static int32_t CheckedInteger(long long AValue);
  [[noreturn]] void CannotConvert(TOleVarType ATarget) const;

  // In the order of TOleVarType.
  std::variant<std::monostate, TNull, int32_t, double, TDate, bool, std::string, ComPtr<IDispatch>, TError> FValue;
};

// Member names and the task program's texts compare ignoring ASCII case.
std::string FoldAscii(std::string_view AText);

// An automation status returned as a value: raises EOleError for a failing code (an error value or
// a negative integer); anything else passes.
void OleCheck(const TOleVariant& AResult, std::string_view AContext);
