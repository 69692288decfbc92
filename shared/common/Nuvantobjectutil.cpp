#include "Nuvantobjectutil.h"

clNuvantObjectList::~clNuvantObjectList() {
  // This class's own Clear: a derived list's override is already gone here.
  clNuvantObjectList::Clear();
}

void clNuvantObjectList::Clear() {
  while (head != nullptr) {
    clNuvantObject* object = head;
    head = object->next;
    // A foreign object outlives the list; it must not keep links into it.
    object->previous = nullptr;
    object->next = nullptr;
    if (object->owner == this) delete object;
  }
}

void Append(clNuvantObjectList* list, clNuvantObject* object) {
  if (list == nullptr || object == nullptr) return;
  clNuvantObject* last = nullptr;
  for (clNuvantObject* o = list->head; o != nullptr; o = o->next) {
    if (o == object) return;
    last = o;
  }
  object->previous = last;
  object->next = nullptr;
  if (last == nullptr) {
    list->head = object;
  } else {
    last->next = object;
  }
}

void AppendOwned(clNuvantObjectList* list, clNuvantObject* object) {
  if (list == nullptr || object == nullptr) return;
  Append(list, object);
  object->owner = list;
}

clNuvantObject* First(const clNuvantObjectList* list) { return list != nullptr ? list->head : nullptr; }

clNuvantObject* Last(const clNuvantObjectList* list) {
  clNuvantObject* o = First(list);
  while (o != nullptr && o->next != nullptr) o = o->next;
  return o;
}

uint32_t Count(const clNuvantObjectList* list) {
  uint32_t n = 0;
  for (clNuvantObject* o = First(list); o != nullptr; o = o->next) ++n;
  return n;
}
