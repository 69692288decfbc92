// Object lists: the base object with its list links and owner, and the list that can own its objects.
#pragma once

#include <cstdint>

class clNuvantObjectList;

// An object that can sit in one intrusive, doubly linked list at a time. Objects are not copyable:
// their links belong to exactly one place.
class clNuvantObject {
 public:
  clNuvantObject() = default;
  virtual ~clNuvantObject() = default;
  clNuvantObject(const clNuvantObject&) = delete;
  clNuvantObject& operator=(const clNuvantObject&) = delete;

  virtual int32_t Reserved1() { return 0; }
  virtual int32_t Reserved2() { return 0; }

  uint8_t kind = 0;  // 0 a plain object, 1 a list
  clNuvantObject* previous = nullptr;
  clNuvantObject* next = nullptr;
  clNuvantObjectList* owner = nullptr;  // only the owner destroys the object

 protected:
  explicit clNuvantObject(uint8_t objectKind) : kind(objectKind) {}
};

// A list of objects; it destroys the objects whose owner it is when it is cleared or destroyed.
class clNuvantObjectList : public clNuvantObject {
 public:
  clNuvantObjectList() : clNuvantObject(1) {}
  ~clNuvantObjectList() override;

  // Empties the list: owned objects are destroyed, the others only unlinked.
  virtual void Clear();

  clNuvantObject* head = nullptr;
};

// Links the object after the last one of the list. Does not set the owner. Nothing happens for a
// missing list or object, nor for an object the list already holds (that would make a cycle).
void Append(clNuvantObjectList* list, clNuvantObject* object);

// Append, and the list becomes the object's owner.
void AppendOwned(clNuvantObjectList* list, clNuvantObject* object);

clNuvantObject* First(const clNuvantObjectList* list);
clNuvantObject* Last(const clNuvantObjectList* list);
uint32_t Count(const clNuvantObjectList* list);
