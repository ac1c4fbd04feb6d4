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
#include <memory>
#include <vector>

#include "session/recorded_element.h"

namespace scrivlet {

// "Recorded Requests": one row per element the session has appended to
// trans.xml in this transaction, in order (number, method, body size, kind,
// address); the selected row's element shows as XML text below the list.
// Non-modal; closing it only hides it. It shows the list it is given, which
// must outlive it, and draws rows only while it is open.
class RecordedRequestsWindow : public Gtk::Window {
 public:
  explicit RecordedRequestsWindow(const std::vector<RecordedElement>& elements);
  ~RecordedRequestsWindow() override;

  // Shows the window with a row for every element so far, or raises it.
  void Open();
  // The list has gained an element at its end.
  void ElementAdded();
  // The list has been emptied.
  void ListCleared();

 private:
  void AppendRow(std::size_t index);
  void DropRows();
  void ShowCount();
  void ShowElementOf(const Gtk::ListBoxRow* row);

  const std::vector<RecordedElement>& elements_;
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

// What the session has recorded in this transaction, as it told it (no
// reading of trans.xml). Until the window is first opened nothing is made
// for it; afterwards a closed window draws nothing.
class RecordedRequests : public RecordedElementObserver {
 public:
  // Opens the "Recorded Requests" window, made on first use.
  void Open();

  // RecordedElementObserver
  void ElementRecorded(RecordedElement element) override;
  void TransactionStarted() override;

 private:
  std::vector<RecordedElement> elements_;
  std::unique_ptr<RecordedRequestsWindow> window_;
};

}  // namespace scrivlet

#endif  // SCRIVLET_UI_RECORDED_REQUESTS_WINDOW_H_
