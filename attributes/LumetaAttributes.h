#pragma once
// The attribute tree: scalar leaves under records (fixed named children) and lists (items of one
// interface type). Every read goes through EnsureLoaded, so values held by a lazily loaded map
// are fetched from the host's document source on first use. This header brings in every class
// of the tree.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <type_traits>
#include <typeinfo>
#include <unordered_map>
#include <utility>
#include <vector>

#include "com/AggregableObject.h"
#include "com/ComErrors.h"
#include "com/NumberText.h"
#include "contract/LumetaAttributesIntf.h"
#include "attributes/Attribute.h"
#include "attributes/ListAttribute.h"
#include "attributes/RecordAttribute.h"
#include "attributes/ScalarAttributes.h"
#include "attributes/StructuredAttribute.h"
