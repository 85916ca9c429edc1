#include <gtest/gtest.h>

#include <thread>
#include <vector>

#include "com/ErrorInfo.h"
#include "com/InterfaceList.h"
#include "com/AggregableObject.h"

namespace {

struct IAlpha : virtual IUnknown {
  static constexpr GUID Iid = MakeGuid("11111111-0000-0000-0000-000000000001");
  virtual int Alpha() = 0;
};
struct IBeta : virtual IAlpha {
  static constexpr GUID Iid = MakeGuid("11111111-0000-0000-0000-000000000002");
  virtual int Beta() = 0;
};
struct IGamma : virtual IUnknown {
  static constexpr GUID Iid = MakeGuid("11111111-0000-0000-0000-000000000003");
  virtual int Gamma() = 0;
};
struct IUnused : virtual IUnknown {
  static constexpr GUID Iid = MakeGuid("11111111-0000-0000-0000-000000000004");
};

int GDestroyed = 0;

class TAlpha : public TImplements<TAggregableObject, IAlpha> {
 public:
  using TImplements::TImplements;
  ~TAlpha() override { ++GDestroyed; }
  int Alpha() override { return 1; }
};

// Derived class adding an interface whose parent the base already implements.
class TBeta : public TImplements<TAlpha, IBeta> {
 public:
  using TImplements::TImplements;
  int Beta() override { return 2; }
};

// Outer object holding an inner TBeta as an aggregated part.
class TOuter : public TImplements<TAggregableObject, IGamma> {
 public:
  TOuter() : FInner(new TBeta(static_cast<IGamma*>(this))) {}
  ~TOuter() override { delete FInner; }
  int Gamma() override { return 3; }
  TBeta* Inner() { return FInner; }

 protected:
  HRESULT QueryAggregated(const GUID& AIid, void** AObject) noexcept override {
    return FInner->InnerQueryInterface(AIid, AObject);
  }

 private:
  TBeta* FInner;
};

TEST(Guid, ParsesAndPrintsBracedUpperCase) {
  constexpr GUID id = MakeGuid("d1be7f7d-a80a-4ff7-bcd9-1fcdb9cb27cd");
  EXPECT_EQ(GuidToString(id), "{D1BE7F7D-A80A-4FF7-BCD9-1FCDB9CB27CD}");
  EXPECT_EQ(ParseGuid("{D1BE7F7D-A80A-4FF7-BCD9-1FCDB9CB27CD}"), id);
  EXPECT_FALSE(ParseGuid("{D1BE7F7D-A80A-4FF7-BCD9-1FCDB9CB27C}"));
  EXPECT_FALSE(ParseGuid("D1BE7F7D-A80A-4FF7-BCD9+1FCDB9CB27CD"));
  EXPECT_FALSE(ParseGuid("G1BE7F7D-A80A-4FF7-BCD9-1FCDB9CB27CD"));
}

TEST(CountedObject, AnswersEachImplementedInterfaceAndNoOtherWithOneIdentity) {
  ComPtr<TBeta> beta = make<TBeta>();
  EXPECT_EQ(beta.as<IAlpha>()->Alpha(), 1);
  EXPECT_EQ(beta.as<IBeta>()->Beta(), 2);
  EXPECT_EQ(beta.as<IAlpha>().as<IUnknown>().get(), beta.as<IBeta>().as<IUnknown>().get());
  void* unused = reinterpret_cast<void*>(1);
  EXPECT_EQ(beta->QueryInterface(uuidof<IUnused>(), &unused), E_NOINTERFACE);
  EXPECT_EQ(unused, nullptr);
  EXPECT_THROW(beta.as<IGamma>(), ENoInterface);
}

TEST(CountedObject, LastReleaseFreesAndCountStartsAtOne) {
  GDestroyed = 0;
  {
    ComPtr<TAlpha> alpha = make<TAlpha>();
    EXPECT_EQ(alpha->AddRef(), 2u);
    EXPECT_EQ(alpha->Release(), 1u);
    ComPtr<IAlpha> copy = alpha.as<IAlpha>();
    alpha.reset();
    EXPECT_EQ(GDestroyed, 0);
  }
  EXPECT_EQ(GDestroyed, 1);
}

// Counting from several threads at once loses no step: the object dies once, at the last release.
TEST(CountedObject, CountsAtomicallyAcrossThreads) {
  GDestroyed = 0;
  ComPtr<TAlpha> alpha = make<TAlpha>();
  std::vector<std::thread> threads;
  for (int t = 0; t < 4; ++t)
    threads.emplace_back([object = alpha.get()] {
      for (int i = 0; i < 100'000; ++i) {
        object->AddRef();
        object->Release();
      }
    });
  for (std::thread& thread : threads) thread.join();
  EXPECT_EQ(alpha->AddRef(), 2u);
  EXPECT_EQ(alpha->Release(), 1u);
  EXPECT_EQ(GDestroyed, 0);
  alpha.reset();
  EXPECT_EQ(GDestroyed, 1);
}

TEST(Aggregation, InnerForwardsIdentityAndDiesWithOuter) {
  GDestroyed = 0;
  ComPtr<TOuter> outer = make<TOuter>();
  TBeta* inner = outer->Inner();
  EXPECT_EQ(inner->GetController(), static_cast<IGamma*>(outer.get()));
  // The outer answers for the inner's interfaces; the inner answers for the outer's.
  ComPtr<IBeta> beta = outer.as<IBeta>();
  EXPECT_EQ(beta->Beta(), 2);
  ComPtr<IGamma> gamma = QueryAs<IGamma>(static_cast<IAlpha*>(inner));
  ASSERT_TRUE(gamma);
  EXPECT_EQ(gamma->Gamma(), 3);
  for (IUnknown* part : {static_cast<IUnknown*>(beta.get()), static_cast<IUnknown*>(gamma.get())})
    EXPECT_EQ(QueryAs<IUnknown>(part).get(), static_cast<IUnknown*>(outer.get()));
  // References taken through the inner keep the outer alive.
  outer.reset();
  gamma.reset();
  EXPECT_EQ(GDestroyed, 0);
  beta.reset();
  EXPECT_EQ(GDestroyed, 1);
}

TEST(ErrorInfo, ExceptionBecomesResultAndTextAtTheBoundary) {
  const HRESULT result = CallGuarded([] { throw ENotImplemented(); }, uuidof<IAlpha>(), "test");
  EXPECT_EQ(result, E_NOTIMPL);
  auto info = GetErrorInfo();
  ASSERT_TRUE(info);
  EXPECT_EQ(info->Description, "Method not implemented.");
  EXPECT_EQ(info->Iid, uuidof<IAlpha>());
  EXPECT_FALSE(GetErrorInfo()) << "taking the information clears it";

  CallGuarded([] { throw EClassNotFound("{X}"); });
  try {
    CheckResult(CLASS_E_CLASSNOTAVAILABLE, "lib.so");
    FAIL();
  } catch (const ELumetaError& error) {
    EXPECT_STREQ(error.what(), "lib.so: {X}");
    EXPECT_EQ(error.Code(), CLASS_E_CLASSNOTAVAILABLE);
  }
  EXPECT_EQ(CallGuarded([] {}), S_OK);
}

TEST(InterfaceList, FindsByIdentityAndRejectsBadIndexes) {
  TInterfaceList<IAlpha> list;
  ComPtr<TBeta> first = make<TBeta>();
  ComPtr<TAlpha> second = make<TAlpha>();
  list.Add(first.as<IAlpha>());
  list.Add(second.as<IAlpha>());
  EXPECT_EQ(list.IndexOf(first.as<IBeta>().get()), 0);
  EXPECT_EQ(list.IndexOf(second.get()), 1);
  list.Exchange(0, 1);
  EXPECT_EQ(list.IndexOf(second.get()), 0);
  EXPECT_THROW(list.Items(2), EListError);
  EXPECT_THROW(list.Items(-1), EListError);
  EXPECT_EQ(list.Remove(second.get()), 0);
  EXPECT_EQ(list.Count(), 1);
}

}  // namespace
