#ifndef SCRIVLET_UI_RECORDED_REQUESTS_WINDOW_H_
#define SCRIVLET_UI_RECORDED_REQUESTS_WINDOW_H_

#include <gtkmm/box.h>
#include <gtkmm/label.h>
#include <gtkmm/listbox.h>
#include <gtkmm/paned.h>
#include <gtkmm/scrolledwindow.h>
#include <gtkmm/textview.h>
#include <gtkmm/window.h>

#include <cstddef>
#include <vector>

#include "session/recorded_element.h"

namespace scrivlet {

// "Recorded Requests": one row per element the session has appended to
// trans.xml in this transaction, in order (number, method, body size, kind,
// address); the selected row's element shows as XML text below the list.
// Non-modal; closing it only hides it.
//
// It keeps what the session tells it (no reading of trans.xml), and while
// it is closed it does nothing else: rows are made when it opens and
// dropped when it closes.
class RecordedRequestsWindow : public Gtk::Window,
                               public RecordedElementObserver {
 public:
  RecordedRequestsWindow();
  ~RecordedRequestsWindow() override;

  // Shows the window with a row for every element so far, or raises it.
  void Open();

  // RecordedElementObserver
  void ElementRecorded(RecordedElement element) override;
  void TransactionStarted() override;

 private:
  void AppendRow(std::size_t index);
  void DropRows();
  void ShowCount();
  void ShowElementOf(const Gtk::ListBoxRow* row);

  std::vector<RecordedElement> elements_;
  std::size_t rows_shown_ = 0;

  Gtk::Box content_;
  Gtk::Label count_;
  Gtk::Label header_;
  Gtk::ListBox list_;
  Gtk::ScrolledWindow list_scroller_;
  Gtk::TextView element_text_;
  Gtk::ScrolledWindow text_scroller_;
  Gtk::Paned panes_;
};

}  // namespace scrivlet

#endif  // SCRIVLET_UI_RECORDED_REQUESTS_WINDOW_H_
