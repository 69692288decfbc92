#include "Nuvantobjectutil.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

// Counts its own destruction, so a test can see who destroyed what.
class Tracked : public clNuvantObject {
 public:
  explicit Tracked(int* destroyed) : destroyed_(destroyed) {}
  ~Tracked() override { ++*destroyed_; }

 private:
  int* destroyed_;
};

std::vector<clNuvantObject*> chain(const clNuvantObjectList& list) {
  std::vector<clNuvantObject*> objects;
  for (clNuvantObject* o = First(&list); o != nullptr; o = o->next) objects.push_back(o);
  return objects;
}

TEST(Nuvantobjectutil, NewObjectsAndLists) {
  clNuvantObject object;
  clNuvantObjectList list;
  EXPECT_EQ(object.kind, 0);
  EXPECT_EQ(list.kind, 1);
  for (const clNuvantObject* o :
       {static_cast<const clNuvantObject*>(&object), static_cast<const clNuvantObject*>(&list)}) {
    EXPECT_EQ(o->previous, nullptr);
    EXPECT_EQ(o->next, nullptr);
    EXPECT_EQ(o->owner, nullptr);
  }
  EXPECT_EQ(object.Reserved1(), 0);
  EXPECT_EQ(list.Reserved2(), 0);
  EXPECT_EQ(First(&list), nullptr);
  EXPECT_EQ(Last(&list), nullptr);
  EXPECT_EQ(Count(&list), 0u);
}

TEST(Nuvantobjectutil, AppendLinksBothWaysAndLeavesTheOwnerAlone) {
  clNuvantObjectList list;
  clNuvantObject a, b, c;
  Append(&list, &a);
  EXPECT_EQ(First(&list), &a);
  EXPECT_EQ(Last(&list), &a);
  EXPECT_EQ(a.previous, nullptr);
  EXPECT_EQ(a.next, nullptr);

  Append(&list, &b);
  EXPECT_EQ(a.next, &b);
  EXPECT_EQ(b.previous, &a);
  EXPECT_EQ(b.next, nullptr);
  Append(&list, &c);
  EXPECT_EQ(chain(list), (std::vector<clNuvantObject*>{&a, &b, &c}));
  EXPECT_EQ(Last(&list), &c);
  EXPECT_EQ(Count(&list), 3u);
  EXPECT_EQ(b.owner, nullptr);

  // No object, no list, or an object already held: nothing changes (a second append would loop).
  Append(&list, nullptr);
  Append(nullptr, &a);
  Append(&list, &b);
  Append(&list, &c);
  EXPECT_EQ(chain(list), (std::vector<clNuvantObject*>{&a, &b, &c}));
  list.Clear();
}

TEST(Nuvantobjectutil, ClearDestroysOwnedObjectsOnlyAndEmptiesTheList) {
  int destroyed = 0;
  Tracked foreign(&destroyed);
  clNuvantObjectList list;
  AppendOwned(&list, new Tracked(&destroyed));
  Append(&list, &foreign);
  AppendOwned(&list, new Tracked(&destroyed));
  EXPECT_EQ(First(&list)->owner, &list);
  EXPECT_EQ(foreign.owner, nullptr);

  list.Clear();
  EXPECT_EQ(destroyed, 2);
  EXPECT_EQ(First(&list), nullptr);
  EXPECT_EQ(Count(&list), 0u);
  // The foreign object keeps no links to objects that are gone.
  EXPECT_EQ(foreign.previous, nullptr);
  EXPECT_EQ(foreign.next, nullptr);
}

TEST(Nuvantobjectutil, DestroyingAListRunsTheBaseClearEvenWhenADerivedListOverridesIt) {
  class SkippingList : public clNuvantObjectList {
   public:
    void Clear() override { head = nullptr; }  // would leak every object it holds
  };
  int destroyed = 0;
  {
    SkippingList list;
    AppendOwned(&list, new Tracked(&destroyed));
    AppendOwned(&list, new Tracked(&destroyed));
  }
  EXPECT_EQ(destroyed, 2);
}

TEST(Nuvantobjectutil, AnOwnedListDestroysWhatItOwnsInTurn) {
  int destroyed = 0;
  clNuvantObjectList outer;
  auto* inner = new clNuvantObjectList;
  AppendOwned(inner, new Tracked(&destroyed));
  AppendOwned(&outer, inner);
  AppendOwned(&outer, new Tracked(&destroyed));
  outer.Clear();
  EXPECT_EQ(destroyed, 2);
}

}  // namespace
