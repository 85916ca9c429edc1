#pragma once
// The base of automation server classes: a class lists its members once, by name, and the base
// answers IDispatch from that table, so a server class reads as its object model does.
//
//   class TTaskItem : public TDispatchObject<TTaskItem> {
//    public:
//     static constexpr std::string_view DispatchTypeName = "TaskItem";
//     static std::vector<TMember> DispatchMembers() {
//       return {{"Subject", [](TTaskItem& S, const TDispatchArgs&) { return TOleVariant(S.FSubject); },
//                           [](TTaskItem& S, const TDispatchArgs& A) { S.FSubject = A.String(0); }}};
//     }
//   };
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "com/ComObject.h"
#include "com/OleVariant.h"

// The arguments of one call, read with the member's name at hand so that a wrong one says where
// ("TaskItem.PercentComplete: argument 1 is String \"x\", not an integer"). For a property write
// the value is argument 0.
class TDispatchArgs {
 public:
  TDispatchArgs(std::string_view AType, std::string_view AMember, const TOleVariant* AArgs, size_t ACount,
                bool AIsPut) noexcept
      : FType(AType), FMember(AMember), FArgs(AArgs), FCount(ACount), FIsPut(AIsPut) {}

  size_t Count() const noexcept { return FCount; }
  // Present and not left out as Missing.
  bool Given(size_t AIndex) const noexcept;
  // The argument, raising DISP_E_PARAMNOTFOUND when it is not given.
  const TOleVariant& operator[](size_t AIndex) const;
  // Converted, raising DISP_E_TYPEMISMATCH when the argument does not convert.
  int32_t Integer(size_t AIndex) const;
  double Date(size_t AIndex) const;
  bool Boolean(size_t AIndex) const;
  std::string String(size_t AIndex) const;
  // Raises DISP_E_BADPARAMCOUNT unless AMin <= Count() <= AMax.
  void Expect(size_t AMin, size_t AMax) const;
  // Raises EOleError with "Type.Member: " before the text.
  [[noreturn]] void Fail(const std::string& AWhy, HRESULT ACode = E_INVALIDARG) const;
  std::string Where() const;

 private:
  std::string Which(size_t AIndex) const;
  template <class F>
  auto Convert(size_t AIndex, const char* AWanted, F AConvert) const;

  std::string_view FType;
  std::string_view FMember;
  const TOleVariant* FArgs;
  size_t FCount;
  bool FIsPut;
};

template <class T>
struct TDispatchMember {
  std::string_view Name;
  // A method or a property read; null for a write-only property.
  TOleVariant (*Get)(T& ASelf, const TDispatchArgs& AArgs) = nullptr;
  // A property write; null for methods and read-only properties.
  void (*Put)(T& ASelf, const TDispatchArgs& AValue) = nullptr;
};

// Folded member names to table positions, built once per class.
class TDispatchNames {
 public:
  explicit TDispatchNames(const std::vector<std::string_view>& ANames);
  // The position of the name in any case, or -1.
  int Find(std::string_view AName) const;

 private:
  std::unordered_map<std::string, int> FIndex;
};

namespace dispatch_detail {
[[noreturn]] void UnknownMember(std::string_view AType, std::string_view AName);
[[noreturn]] void WrongKind(std::string_view AType, std::string_view AName, bool AIsPut);
// Inside a catch block: an EOleError passes unchanged, any other failure becomes one naming the
// member, keeping the result code of an ELumetaError.
[[noreturn]] void RaiseFromMember(std::string_view AType, std::string_view AName);
}  // namespace dispatch_detail

template <class T>
class TDispatchObject : public TImplements<TComObject, IDispatch> {
 public:
  using TMember = TDispatchMember<T>;
  using TImplements::TImplements;

  std::string GetTypeName() override { return std::string(T::DispatchTypeName); }

  TOleVariant Invoke(std::string_view AName, TInvokeKind AKind, const TOleVariant* AArgs, size_t ACount) override {
    const TTable& table = Table();
    const int index = table.Names.Find(AName);
    if (index < 0) dispatch_detail::UnknownMember(T::DispatchTypeName, AName);
    const TMember& member = table.Members[static_cast<size_t>(index)];
    const bool isPut = AKind == TInvokeKind::PropertyPut;
    if (isPut ? !member.Put : !member.Get) dispatch_detail::WrongKind(T::DispatchTypeName, member.Name, isPut);
    const TDispatchArgs args(T::DispatchTypeName, member.Name, AArgs, ACount, isPut);
    try {
      if (isPut) {
        args.Expect(1, 1);
        member.Put(static_cast<T&>(*this), args);
        return {};
      }
      return member.Get(static_cast<T&>(*this), args);
    } catch (...) {
      dispatch_detail::RaiseFromMember(T::DispatchTypeName, member.Name);
    }
  }

 private:
  struct TTable {
    std::vector<TMember> Members;
    TDispatchNames Names;
    explicit TTable(std::vector<TMember> AMembers) : Members(std::move(AMembers)), Names(NamesOf(Members)) {}
    static std::vector<std::string_view> NamesOf(const std::vector<TMember>& AMembers) {
      std::vector<std::string_view> names;
      for (const TMember& member : AMembers) names.push_back(member.Name);
      return names;
    }
  };
  static const TTable& Table() {
    static const TTable table(T::DispatchMembers());
    return table;
  }
};
