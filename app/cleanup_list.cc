#include "app/cleanup_list.h"

#include <algorithm>

#include "app/process_locks.h"

namespace nimbus {

namespace {

using OwnerMap = std::map<const void*, CleanupList*>;

// The process-wide map from owners to their lists, guarded by the cleanup owner lock.
// Created by the first binding and destroyed when it becomes empty. Zero-initialised, so
// it is usable during static initialisation.
OwnerMap* g_owners = nullptr;

void EraseOwner(std::vector<void*>& owners, const void* owner) {
  owners.erase(std::remove(owners.begin(), owners.end(), owner), owners.end());
}

}  // namespace

CleanupList::CleanupList() : mutex_(Mutex::kModeRecursive) {}

CleanupList::~CleanupList() {
  CleanupAll();
  MutexLock lock(CleanupOwnerLock());
  if (g_owners == nullptr) return;
  for (void* owner : owners_) {
    auto found = g_owners->find(owner);
    if (found != g_owners->end() && found->second == this) g_owners->erase(found);
  }
  owners_.clear();
  if (g_owners->empty()) {
    delete g_owners;
    g_owners = nullptr;
  }
}

void CleanupList::RegisterObject(void* object, CleanupFunction function) {
  MutexLock lock(mutex_);
  objects_[object] = function;
}

void CleanupList::UnregisterObject(void* object) {
  MutexLock lock(mutex_);
  objects_.erase(object);
}

void CleanupList::CleanupAll() {
  MutexLock lock(mutex_);
  if (cleaned_up_) return;
  cleaned_up_ = true;  // Set first, so a cleanup function cannot start another pass.
  // The first entry is taken afresh each time: a function may change the map.
  while (!objects_.empty()) {
    const auto first = objects_.begin();
    void* const object = first->first;
    const CleanupFunction function = first->second;
    if (function != nullptr) function(object);
    objects_.erase(object);
  }
}

void CleanupList::RegisterOwner(void* owner) {
  MutexLock lock(CleanupOwnerLock());
  if (g_owners == nullptr) g_owners = new OwnerMap();
  auto found = g_owners->find(owner);
  if (found != g_owners->end()) {
    if (found->second == this) return;
    EraseOwner(found->second->owners_, owner);
  }
  (*g_owners)[owner] = this;
  owners_.push_back(owner);
}

void CleanupList::UnregisterOwner(void* owner) {
  MutexLock lock(CleanupOwnerLock());
  if (g_owners == nullptr) return;
  auto found = g_owners->find(owner);
  if (found == g_owners->end()) return;
  EraseOwner(found->second->owners_, owner);
  g_owners->erase(found);
  if (g_owners->empty()) {
    delete g_owners;
    g_owners = nullptr;
  }
}

CleanupList* CleanupList::FindByOwner(const void* owner) {
  MutexLock lock(CleanupOwnerLock());
  if (g_owners == nullptr) return nullptr;
  auto found = g_owners->find(owner);
  return found == g_owners->end() ? nullptr : found->second;
}

}  // namespace nimbus
