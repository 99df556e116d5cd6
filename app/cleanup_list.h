#ifndef TERVALA_APP_CLEANUP_LIST_H_
#define TERVALA_APP_CLEANUP_LIST_H_

#include <map>
#include <vector>

#include "app/mutex.h"

namespace nimbus {

// A registry of objects to detach when the thing that issued them goes away: each object
// is registered with a function that detaches it, and CleanupAll calls them all. A list can
// be bound to owner objects (an app, a future API) so that code holding only the owner's
// address can find it.
class CleanupList {
 public:
  using CleanupFunction = void (*)(void* object);

  CleanupList();
  // Runs CleanupAll, then unbinds every owner bound to this list.
  ~CleanupList();
  CleanupList(const CleanupList&) = delete;
  CleanupList& operator=(const CleanupList&) = delete;

  // Stores, or replaces, the function that detaches `object`.
  void RegisterObject(void* object, CleanupFunction function);
  void UnregisterObject(void* object);
  // Once only: calls each registered function with its object (in address order) and
  // forgets the object. A function may register or unregister objects of this list.
  void CleanupAll();

  // Binds `owner` to this list, unbinding it from any other list first.
  void RegisterOwner(void* owner);
  // Unbinds `owner` from whichever list it is bound to.
  static void UnregisterOwner(void* owner);
  // The list bound to `owner`, or null.
  static CleanupList* FindByOwner(const void* owner);

 private:
  Mutex mutex_;
  std::map<void*, CleanupFunction> objects_;
  bool cleaned_up_ = false;
  // Guarded by the process-wide cleanup owner lock, together with the owner map.
  std::vector<void*> owners_;
};

}  // namespace nimbus

#endif  // TERVALA_APP_CLEANUP_LIST_H_
