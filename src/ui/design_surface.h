#ifndef SCRIVLET_UI_DESIGN_SURFACE_H_
#define SCRIVLET_UI_DESIGN_SURFACE_H_

#include <gtkmm/widget.h>
#include <sigc++/signal.h>

#include <vector>

#include "ui/window_design.h"

namespace scrivlet {

// Converts a design measure in twips to pixels.
int TwipsToPixels(int twips);

// A window's client area laid out as designed: each control at a fixed
// rectangle, the focus moving between controls in the order they were
// added (the tab order), and a signal when the area's size changes. Its
// minimum size is nothing, so the window can be made smaller than its
// design; controls outside the area are clipped.
//
// The controls must outlive the surface or be removed first; the surface
// unparents them when it goes.
class DesignSurface : public Gtk::Widget {
 public:
  explicit DesignSurface(DesignSize design);
  ~DesignSurface() override;

  // Adds `child` at its design rectangle as the next control in the tab
  // order.
  void Add(Gtk::Widget& child, const DesignRect& design);
  // Changes a control's rectangle, in pixels.
  void Move(Gtk::Widget& child, int left, int top);
  void Resize(Gtk::Widget& child, int width, int height);
  int Left(const Gtk::Widget& child) const;

  // The new width and height in pixels, after the area was allocated.
  sigc::signal<void(int, int)>& signal_resized() { return resized_; }

 protected:
  Gtk::SizeRequestMode get_request_mode_vfunc() const override;
  void measure_vfunc(Gtk::Orientation orientation, int for_size, int& minimum,
                     int& natural, int& minimum_baseline,
                     int& natural_baseline) const override;
  void size_allocate_vfunc(int width, int height, int baseline) override;

 private:
  // gtkmm has no wrapper for the widget's focus virtual function; it is set
  // on this class's own GType.
  static gboolean OnFocus(GtkWidget* widget, GtkDirectionType direction);
  bool MoveFocus(GtkDirectionType direction);
  static gboolean (*parent_focus_)(GtkWidget*, GtkDirectionType);

 private:
  struct Slot {
    Gtk::Widget* widget;
    int left, top, width, height;  // pixels
  };
  Slot* Find(const Gtk::Widget& child);
  const Slot* Find(const Gtk::Widget& child) const;

  int design_width_;
  int design_height_;
  std::vector<Slot> slots_;  // in tab order
  int last_width_ = -1;
  int last_height_ = -1;
  sigc::signal<void(int, int)> resized_;
};

}  // namespace scrivlet

#endif  // SCRIVLET_UI_DESIGN_SURFACE_H_
