#include "ui/design_surface.h"

#include <glibmm/main.h>
#include <sigc++/adaptors/track_obj.h>

#include <algorithm>

#include "platform/callback_guard.h"
#include "session/window_layout.h"

namespace scrivlet {

int TwipsToPixels(int twips) {
  return (twips + kTwipsPerPixel / 2) / kTwipsPerPixel;
}

gboolean (*DesignSurface::parent_focus_)(GtkWidget*,
                                         GtkDirectionType) = nullptr;

DesignSurface::DesignSurface(DesignSize design)
    : Glib::ObjectBase("ScrivletDesignSurface"),
      design_width_(TwipsToPixels(design.width)),
      design_height_(TwipsToPixels(design.height)) {
  auto* klass = GTK_WIDGET_GET_CLASS(gobj());
  if (klass->focus != &DesignSurface::OnFocus) {
    parent_focus_ = klass->focus;
    klass->focus = &DesignSurface::OnFocus;
  }
  set_overflow(Gtk::Overflow::HIDDEN);
  set_hexpand(true);
  set_vexpand(true);
}

DesignSurface::~DesignSurface() {
  for (Slot& slot : slots_) slot.widget->unparent();
}

void DesignSurface::Add(Gtk::Widget& child, const DesignRect& design) {
  slots_.push_back({&child, TwipsToPixels(design.left),
                    TwipsToPixels(design.top), TwipsToPixels(design.width),
                    TwipsToPixels(design.height)});
  child.set_parent(*this);
}

DesignSurface::Slot* DesignSurface::Find(const Gtk::Widget& child) {
  for (Slot& slot : slots_) {
    if (slot.widget == &child) return &slot;
  }
  return nullptr;
}

const DesignSurface::Slot* DesignSurface::Find(const Gtk::Widget& child) const {
  for (const Slot& slot : slots_) {
    if (slot.widget == &child) return &slot;
  }
  return nullptr;
}

void DesignSurface::Move(Gtk::Widget& child, int left, int top) {
  if (Slot* slot = Find(child)) {
    slot->left = left;
    slot->top = top;
    queue_allocate();
  }
}

void DesignSurface::Resize(Gtk::Widget& child, int width, int height) {
  if (Slot* slot = Find(child)) {
    slot->width = width;
    slot->height = height;
    queue_allocate();
  }
}

int DesignSurface::Left(const Gtk::Widget& child) const {
  const Slot* slot = Find(child);
  return slot ? slot->left : 0;
}

Gtk::SizeRequestMode DesignSurface::get_request_mode_vfunc() const {
  return Gtk::SizeRequestMode::CONSTANT_SIZE;
}

void DesignSurface::measure_vfunc(Gtk::Orientation orientation, int,
                                  int& minimum, int& natural,
                                  int& minimum_baseline,
                                  int& natural_baseline) const {
  minimum = 0;
  natural = orientation == Gtk::Orientation::HORIZONTAL ? design_width_
                                                        : design_height_;
  minimum_baseline = -1;
  natural_baseline = -1;
}

void DesignSurface::size_allocate_vfunc(int width, int height, int) {
  for (Slot& slot : slots_) {
    if (!slot.widget->get_visible()) continue;
    // A control never gets less than it needs to draw itself.
    int min_width = 0, nat_width = 0, ignore1 = 0, ignore2 = 0;
    slot.widget->measure(Gtk::Orientation::HORIZONTAL, -1, min_width, nat_width,
                         ignore1, ignore2);
    const int child_width = std::max(slot.width, min_width);
    int min_height = 0, nat_height = 0;
    slot.widget->measure(Gtk::Orientation::VERTICAL, child_width, min_height,
                         nat_height, ignore1, ignore2);
    const int child_height = std::max(slot.height, min_height);
    slot.widget->size_allocate(
        Gtk::Allocation(slot.left, slot.top, child_width, child_height), -1);
  }
  if (width != last_width_ || height != last_height_) {
    last_width_ = width;
    last_height_ = height;
    // Moving controls during an allocation would ask for another one from
    // inside it; the layout runs right after instead.
    Glib::signal_idle().connect_once(sigc::track_obj(
        [this, width, height] { resized_.emit(width, height); }, *this));
  }
}

// Tab and Shift+Tab follow the order in which the controls were added; a
// control with inner focus stops (the web view's links and fields, an entry's
// text) moves within itself first.
gboolean DesignSurface::OnFocus(GtkWidget* widget, GtkDirectionType direction) {
  auto* surface = dynamic_cast<DesignSurface*>(Glib::wrap(widget));
  if (!surface ||
      (direction != GTK_DIR_TAB_FORWARD && direction != GTK_DIR_TAB_BACKWARD)) {
    return parent_focus_ ? parent_focus_(widget, direction) : FALSE;
  }
  return GuardCallback("focus", FALSE, [&]() -> gboolean {
    return surface->MoveFocus(direction);
  });
}

bool DesignSurface::MoveFocus(GtkDirectionType gtk_direction) {
  const auto direction = static_cast<Gtk::DirectionType>(gtk_direction);
  const bool forward = gtk_direction == GTK_DIR_TAB_FORWARD;
  const int count = static_cast<int>(slots_.size());
  int index = forward ? 0 : count - 1;
  if (Gtk::Widget* current = get_focus_child()) {
    if (current->child_focus(direction)) return true;
    for (int i = 0; i < count; ++i) {
      if (slots_[static_cast<std::size_t>(i)].widget == current) {
        index = forward ? i + 1 : i - 1;
      }
    }
  }
  for (; index >= 0 && index < count; index += forward ? 1 : -1) {
    if (slots_[static_cast<std::size_t>(index)].widget->child_focus(
            direction)) {
      return true;
    }
  }
  return false;
}

}  // namespace scrivlet
