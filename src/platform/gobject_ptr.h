#ifndef SCRIVLET_PLATFORM_GOBJECT_PTR_H_
#define SCRIVLET_PLATFORM_GOBJECT_PTR_H_

#include <glib-object.h>

#include <utility>

namespace scrivlet {

// Owns one strong reference to a GObject. Moving hands the reference over;
// copying is not allowed.
template <typename T>
class GObjectPtr {
 public:
  GObjectPtr() = default;
  // Takes over a reference the caller owns.
  static GObjectPtr Adopt(T* object) { return GObjectPtr(object); }
  // Adds a reference of its own.
  static GObjectPtr Ref(T* object) {
    if (object) g_object_ref(object);
    return GObjectPtr(object);
  }
  // Takes over the floating reference of a new widget (or, when the object
  // is not floating, adds a reference of its own).
  static GObjectPtr RefSink(T* object) {
    if (object) g_object_ref_sink(object);
    return GObjectPtr(object);
  }
  ~GObjectPtr() { reset(); }
  GObjectPtr(GObjectPtr&& other) noexcept
      : object_(std::exchange(other.object_, nullptr)) {}
  GObjectPtr& operator=(GObjectPtr&& other) noexcept {
    if (this != &other) {
      reset();
      object_ = std::exchange(other.object_, nullptr);
    }
    return *this;
  }
  GObjectPtr(const GObjectPtr&) = delete;
  GObjectPtr& operator=(const GObjectPtr&) = delete;

  T* get() const { return object_; }
  explicit operator bool() const { return object_ != nullptr; }
  void reset() {
    if (object_) g_object_unref(std::exchange(object_, nullptr));
  }

 private:
  explicit GObjectPtr(T* object) : object_(object) {}
  T* object_ = nullptr;
};

}  // namespace scrivlet

#endif  // SCRIVLET_PLATFORM_GOBJECT_PTR_H_
