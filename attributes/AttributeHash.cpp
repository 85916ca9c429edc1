#include "attributes/AttributeHash_p.h"

#include "attributes/ScalarAttributes.h"

namespace attribute_tree {

namespace {

// The standard scalar classes recognised by their vtable, so that hashing a record hashes their
// stored values in place instead of calling each child: a merge of long lists hashes most of
// their records. Only objects of exactly these classes match (a subclass has a table of its own),
// and the hash is the one those classes' GetValueHash gives.
template <class T>
struct TScalarAccess : T {
  // Names the protected members through a derived class; never made.
  static constexpr auto StoredValue = &TScalarAccess::Value;
  static constexpr auto Loaded = &TScalarAccess::CheckLoaded;
};

const void* TableOf(const TAttribute& AObject) noexcept { return *reinterpret_cast<const void* const*>(&AObject); }

template <class T>
const void* TableOfClass() noexcept {
  const T probe;
  return TableOf(probe);
}

struct TScalarTables {
  const void* Integer = TableOfClass<TIntegerAttribute>();
  const void* Double = TableOfClass<TDoubleAttribute>();
  const void* DateTime = TableOfClass<TDateTimeAttribute>();
  const void* String = TableOfClass<TStringAttribute>();
  const void* WordBool = TableOfClass<TWordBoolAttribute>();
};

template <class T>
auto& StoredOf(TAttribute& AObject) {
  T& object = static_cast<T&>(AObject);
  (object.*TScalarAccess<T>::Loaded)();
  return (object.*TScalarAccess<T>::StoredValue)();
}

}  // namespace

bool StandardScalarHash(TAttribute& AObject, size_t& AHash) {
  static const TScalarTables known;
  const void* table = TableOf(AObject);
  if (table == known.Integer)
    AHash = std::hash<int32_t>{}(StoredOf<TIntegerAttribute>(AObject));
  else if (table == known.Double)
    AHash = DoubleHash(StoredOf<TDoubleAttribute>(AObject));
  else if (table == known.DateTime)
    AHash = DoubleHash(StoredOf<TDateTimeAttribute>(AObject));
  else if (table == known.String)
    AHash = TextHash(StoredOf<TStringAttribute>(AObject));
  else if (table == known.WordBool)
    AHash = StoredOf<TWordBoolAttribute>(AObject) != 0 ? 1 : 0;
  else
    return false;
  return true;
}

}  // namespace attribute_tree
