#ifndef SCRIVLET_UI_RECORDED_REQUESTS_WINDOW_H_
#define SCRIVLET_UI_RECORDED_REQUESTS_WINDOW_H_

#include <giomm/liststore.h>
#include <gtkmm/box.h>
#include <gtkmm/button.h>
#include <gtkmm/checkbutton.h>
#include <gtkmm/columnview.h>
#include <gtkmm/filter.h>
#include <gtkmm/filterlistmodel.h>
#include <gtkmm/label.h>
#include <gtkmm/notebook.h>
#include <gtkmm/overlay.h>
#include <gtkmm/paned.h>
#include <gtkmm/scrolledwindow.h>
#include <gtkmm/searchentry.h>
#include <gtkmm/singleselection.h>
#include <gtkmm/textview.h>
#include <gtkmm/window.h>

#include <cstddef>
#include <memory>
#include <optional>
#include <string>

#include "replay/replay_engine.h"
#include "session/recorded_element.h"
#include "session/recording_session.h"

namespace scrivlet {

// One row of the list: an element as the session told it, the answer its
// request got, and what the replay check got for it.
class RequestRow : public Glib::Object {
 public:
  static Glib::RefPtr<RequestRow> create(RecordedElement element) {
    return Glib::make_refptr_for_instance(new RequestRow(std::move(element)));
  }
  std::size_t number = 0;  // from 1
  RecordedElement element;
  std::optional<RecordedAnswer> answer;
  std::string replay;

  // The column's text, in the order of the columns.
  std::string ColumnText(int column) const;
  // Every column's text, for the filter and for screen readers.
  std::string AllTexts() const;

 private:
  explicit RequestRow(RecordedElement e) : element(std::move(e)) {}
};

// The key under which a row widget of the list holds the request it shows,
// for the focus after a deletion.
inline constexpr char kRequestRowKey[] = "scrivlet-request-row";

// Tells the list's views that rows [from, to) of `rows` have new texts.
void RowsChanged(const Glib::RefPtr<Gio::ListStore<RequestRow>>& rows,
                 guint from, guint to);

// "Recorded Requests": one row per element of trans.xml, in order, kept
// elements of an earlier run first (#, method, status, address, body size,
// notes, replay); below the list the selected element's XML and its POST's
// form fields. The rows are those of the list model it is given. It asks
// the session to delete a request and runs the replay check; closing it
// only hides it.
class RecordedRequestsWindow : public Gtk::Window {
 public:
  RecordedRequestsWindow(Glib::RefPtr<Gio::ListStore<RequestRow>> rows,
                         RecordingSession& session);
  ~RecordedRequestsWindow() override;

  void Open();
  // A row has been appended to the list.
  void RowAdded();
  // The list has been emptied (a new transaction): a running check stops.
  void ListCleared();
  // A row has been removed (a deleted request).
  void RowRemoved();
  // The transaction was closed for its upload, or its recording paused:
  // what the window offers and says follows the session's state.
  void TransactionStateChanged();
  // The hosts scripts called outside the transaction's, or their counts,
  // changed.
  void ScriptHostsChanged();

 private:
  void AddColumn(const char* title, int column);
  void ShowCount();
  void ShowSelected();
  Glib::RefPtr<RequestRow> Selected() const;
  void ShowDeleteButton(bool check_running);
  void DeleteSelected();
  // Gives the keyboard to the selected row, else to the list.
  void FocusSelectedRow();
  void CopySelected();
  void StartOrCancelCheck();
  void CheckFinished(const std::string& text);
  void RecordScriptsToggled();
  // Makes the controls about requests made by page scripts and appends them
  // to the window's content.
  void BuildScriptTools();

  Glib::RefPtr<Gio::ListStore<RequestRow>> rows_;
  RecordingSession& session_;
  // Rows whose texts hold the filter box's text, case aside.
  bool Shows(const RequestRow& row) const;

  Glib::RefPtr<Gtk::Filter> filter_;
  Glib::RefPtr<Gtk::FilterListModel> filtered_;
  Glib::RefPtr<Gtk::SingleSelection> selection_;
  std::unique_ptr<replay::ReplayEngine> check_;

  Gtk::Box content_;
  Gtk::Box tools_;
  Gtk::Label count_;
  Gtk::SearchEntry search_;
  Gtk::Button delete_;
  Gtk::Button check_button_;
  Gtk::Label progress_;
  Gtk::Box script_tools_;
  Gtk::CheckButton record_scripts_;
  Gtk::Label not_recorded_;
  Gtk::Label unannounced_;  // the script requests sent without their bodies
  Gtk::Label hosts_caption_;
  Gtk::Box hosts_;
  Gtk::Label paused_;
  Gtk::ColumnView list_;
  Gtk::Overlay list_overlay_;
  Gtk::Label no_match_;
  Gtk::ScrolledWindow list_scroller_;
  Gtk::Notebook details_;
  Gtk::TextView element_text_;
  Gtk::ScrolledWindow text_scroller_;
  Gtk::TextView form_text_;
  Gtk::ScrolledWindow form_scroller_;
  Gtk::Paned panes_;
};

// What the session has recorded in this transaction, as it told it (no
// reading of trans.xml), as rows of a list model. Until the window is first
// opened nothing else is made for it.
class RecordedRequests : public RecordedElementObserver {
 public:
  explicit RecordedRequests(RecordingSession& session);
  ~RecordedRequests() override;
  // Opens the "Recorded Requests" window, made on first use.
  void Open();

  // RecordedElementObserver
  void ElementRecorded(RecordedElement element) override;
  void TransactionStarted() override;
  void ElementAnswered(std::size_t index,
                       const RecordedAnswer& answer) override;
  void ElementDeleted(std::size_t index) override;
  void TransactionClosed() override;
  void RecordingPaused() override;
  void ScriptHostsChanged() override;

 private:
  RecordingSession& session_;
  Glib::RefPtr<Gio::ListStore<RequestRow>> rows_;
  std::unique_ptr<RecordedRequestsWindow> window_;
};

}  // namespace scrivlet

#endif  // SCRIVLET_UI_RECORDED_REQUESTS_WINDOW_H_
