#include "ui/recorded_requests_window.h"

#include <glibmm/main.h>
#include <gtk/gtk.h>
#include <gtkmm/image.h>
#include <gtkmm/shortcutcontroller.h>
#include <gtkmm/signallistitemfactory.h>

#include <algorithm>
#include <exception>
#include <string>
#include <utility>

#include "document/document_reader.h"
#include "replay/replayed_request.h"
#include "replay/request_rows.h"
#include "ui/accessibility.h"
#include "ui/message_box.h"
#include "ui/window_teardown.h"

namespace scrivlet {
namespace {

constexpr char kTitle[] = "Recorded Requests";
constexpr int kDefaultWidth = 1040;
constexpr int kDefaultHeight = 560;
constexpr const char* kColumnTitles[] = {"#",       "Method",        "Status",
                                         "Address", "Body (bytes)", "Notes",
                                         "Replay"};
// The columns' widths in pixels. They are fixed, so that a column whose
// texts grow (the replay check's) takes no room from the others; the
// address takes what is left (0) and is cut in its middle, where a long
// address repeats the site, so that the page's own part stays in view.
constexpr int kColumnWidths[] = {36, 64, 90, 0, 110, 140, 210};
constexpr int kStatusColumn = 2;
constexpr int kAddressColumn = 3;

}  // namespace

void RowsChanged(const Glib::RefPtr<Gio::ListStore<RequestRow>>& rows,
                 guint from, guint to) {
  if (to > from) {
    g_list_model_items_changed(G_LIST_MODEL(rows->gobj()), from, to - from,
                               to - from);
  }
}

std::string RequestRow::ColumnText(int column) const {
  switch (column) {
    case 0: return std::to_string(number);
    case 1: return element.method;
    case 2: return replay::StatusText(answer);
    case 3: return element.url;
    case 4: return std::to_string(element.body_size);
    case 5: return replay::NotesText(element, answer);
    default: return replay;
  }
}

std::string RequestRow::AllTexts() const {
  std::string texts;
  for (int column = 0; column < static_cast<int>(std::size(kColumnTitles));
       ++column) {
    const std::string text = ColumnText(column);
    if (text.empty()) continue;
    if (!texts.empty()) texts += ", ";
    texts += text;
  }
  return texts;
}

RecordedRequestsWindow::RecordedRequestsWindow(
    Glib::RefPtr<Gio::ListStore<RequestRow>> rows, RecordingSession& session)
    : rows_(std::move(rows)),
      session_(session),
      content_(Gtk::Orientation::VERTICAL, 4),
      tools_(Gtk::Orientation::HORIZONTAL, 6),
      delete_("Delete Request"),
      check_button_("Check Replay"),
      script_tools_(Gtk::Orientation::HORIZONTAL, 6),
      record_scripts_("Record requests made by page _scripts", true),
      panes_(Gtk::Orientation::VERTICAL) {
  set_title(kTitle);
  set_default_size(kDefaultWidth, kDefaultHeight);
  set_hide_on_close(true);

  filter_ = Glib::wrap(GTK_FILTER(gtk_custom_filter_new(
      [](gpointer item, gpointer window) {
        auto* row = dynamic_cast<RequestRow*>(
            Glib::wrap_auto(static_cast<GObject*>(item), false));
        return static_cast<gboolean>(
            row && static_cast<RecordedRequestsWindow*>(window)->Shows(*row));
      },
      this, nullptr)));
  filtered_ = Gtk::FilterListModel::create(rows_, filter_);
  selection_ = Gtk::SingleSelection::create(filtered_);
  selection_->set_autoselect(false);
  selection_->set_can_unselect(true);
  list_.set_model(selection_);
  for (int column = 0; column < static_cast<int>(std::size(kColumnTitles));
       ++column) {
    AddColumn(kColumnTitles[column], column);
  }
  list_scroller_.set_child(list_);
  list_overlay_.set_child(list_scroller_);
  list_overlay_.add_overlay(no_match_);
  no_match_.set_can_target(false);
  no_match_.set_visible(false);
  list_overlay_.set_vexpand(true);

  count_.set_xalign(0);
  count_.set_hexpand(true);
  search_.set_tooltip_text("Shows only the rows that hold this text (Ctrl+F).");
  SetAccessibleName(search_, "Filter the requests");
  progress_.set_xalign(0);
  progress_.set_wrap(true);
  paused_.set_xalign(0);
  paused_.set_wrap(true);
  paused_.set_text(kRecordingPausedText);
  paused_.add_css_class("warning");
  check_button_.set_tooltip_text(
      "Sends the recorded requests again and compares the answers "
      "(Ctrl+Shift+R).");
  tools_.append(count_);
  tools_.append(search_);
  tools_.append(delete_);
  tools_.append(check_button_);

  for (Gtk::TextView* view : {&element_text_, &form_text_}) {
    view->set_editable(false);
    view->set_cursor_visible(false);
    view->set_monospace(true);
    // Breaks at characters and, through the tag ShowSelected puts on the
    // whole text, adds no hyphens where it breaks: what is read or copied
    // is what is recorded.
    view->set_wrap_mode(Gtk::WrapMode::CHAR);
    view->get_buffer()->create_tag("unhyphenated")->property_insert_hyphens() =
        false;
  }
  // The column view's own parts: its heading row and the list of rows.
  for (Gtk::Widget* part = list_.get_first_child(); part;
       part = part->get_next_sibling()) {
    SetAccessibleName(*part, GTK_IS_LIST_VIEW(part->gobj())
                                 ? "Recorded requests"
                                 : "Column headings");
  }
  SetAccessibleName(list_scroller_, "Recorded requests");
  SetAccessibleName(panes_, "Divider between the list and the selected request");
  SetAccessibleName(details_, "Selected request");
  SetAccessibleName(text_scroller_, "XML");
  SetAccessibleName(form_scroller_, "Form");
  SetAccessibleName(element_text_, "XML of the selected request");
  SetAccessibleName(form_text_, "Form fields of the selected request");
  text_scroller_.set_child(element_text_);
  form_scroller_.set_child(form_text_);
  details_.append_page(text_scroller_, "XML");
  details_.append_page(form_scroller_, "Form");

  panes_.set_start_child(list_overlay_);
  panes_.set_end_child(details_);
  panes_.set_position(kDefaultHeight / 2);
  panes_.set_vexpand(true);
  content_.set_margin(6);
  content_.append(tools_);
  BuildScriptTools();
  content_.append(paused_);
  content_.append(progress_);
  content_.append(panes_);
  set_child(content_);

  search_.signal_search_changed().connect([this] {
    gtk_filter_changed(filter_->gobj(), GTK_FILTER_CHANGE_DIFFERENT);
    ShowCount();
  });
  filtered_->signal_items_changed().connect(
      [this](guint, guint, guint) { ShowCount(); });
  // Also when the filter takes the selected row away, which is no change
  // of the selection as the list tells it.
  selection_->property_selected_item().signal_changed().connect(
      [this] { ShowSelected(); });
  delete_.signal_clicked().connect([this] { DeleteSelected(); });
  check_button_.signal_clicked().connect([this] { StartOrCancelCheck(); });

  auto keys = Gtk::ShortcutController::create();
  const std::pair<const char*, std::function<void()>> shortcuts[] = {
      {"Escape", [this] { hide(); }},
      {"<Control>w", [this] { hide(); }},
      {"F9", [this] { hide(); }},
      {"<Control>f", [this] { search_.grab_focus(); }},
      {"Delete", [this] { DeleteSelected(); }},
      {"<Control>c", [this] { CopySelected(); }},
      {"<Control><Shift>r", [this] { StartOrCancelCheck(); }},
  };
  for (const auto& [trigger, action] : shortcuts) {
    keys->add_shortcut(Gtk::Shortcut::create(
        Gtk::ShortcutTrigger::parse_string(trigger),
        Gtk::CallbackAction::create(
            [action](Gtk::Widget&, const Glib::VariantBase&) {
              action();
              return true;
            })));
  }
  add_controller(keys);
}

bool RecordedRequestsWindow::Shows(const RequestRow& row) const {
  const Glib::ustring wanted = search_.get_text().lowercase();
  return wanted.empty() ||
         Glib::ustring(DisplayText(row.AllTexts())).lowercase().find(wanted) !=
             Glib::ustring::npos;
}

RecordedRequestsWindow::~RecordedRequestsWindow() {
  check_.reset();
  DetachWindowContent(*this);
}

void RecordedRequestsWindow::AddColumn(const char* title, int column) {
  auto factory = Gtk::SignalListItemFactory::create();
  factory->signal_setup().connect(
      [column](const Glib::RefPtr<Gtk::ListItem>& item) {
        auto* box = Gtk::make_managed<Gtk::Box>(Gtk::Orientation::HORIZONTAL, 4);
        if (column == kStatusColumn) {
          auto* icon = Gtk::make_managed<Gtk::Image>();
          icon->set_from_icon_name("dialog-warning-symbolic");
          box->append(*icon);
        }
        auto* label = Gtk::make_managed<Gtk::Label>();
        label->set_xalign(0);
        // The text takes the whole cell and is cut only at its edge.
        label->set_hexpand(true);
        if (column == kAddressColumn) {
          label->set_ellipsize(Pango::EllipsizeMode::MIDDLE);
          label->set_width_chars(12);
          label->set_max_width_chars(12);
        } else {
          label->set_ellipsize(Pango::EllipsizeMode::END);
        }
        box->append(*label);
        item->set_child(*box);
      });
  factory->signal_bind().connect(
      [column](const Glib::RefPtr<Gtk::ListItem>& item) {
        auto row = std::dynamic_pointer_cast<RequestRow>(item->get_item());
        Gtk::Widget* box = item->get_child();
        if (!row || !box) return;
        auto* label = dynamic_cast<Gtk::Label*>(box->get_last_child());
        if (label) {
          ShowText(*label, row->ColumnText(column));
          // A long text is cut at the column's edge; its tooltip holds it.
          label->set_tooltip_text(label->get_text());
        }
        if (column == kStatusColumn) {
          box->get_first_child()->set_visible(replay::AnswerFailed(row->answer));
        }
        // A screen reader reads the row by its columns' texts.
        if (column == 0 && box->get_parent() &&
            box->get_parent()->get_parent()) {
          Gtk::Widget& row_widget = *box->get_parent()->get_parent();
          const std::string name = DisplayText(row->AllTexts());
          SetAccessibleName(row_widget, name.c_str());
          g_object_set_data(G_OBJECT(row_widget.gobj()), kRequestRowKey, row.get());
        }
      });
  auto view_column = Gtk::ColumnViewColumn::create(title, factory);
  if (kColumnWidths[column] > 0) {
    view_column->set_fixed_width(kColumnWidths[column]);
  } else {
    view_column->set_expand(true);
  }
  view_column->set_resizable(true);
  list_.append_column(view_column);
}

// The row the list highlights when it takes the keyboard is shown below
// it from the start.
void RecordedRequestsWindow::Open() {
  ShowCount();
  record_scripts_.set_active(session_.records_script_requests());
  ScriptHostsChanged();
  TransactionStateChanged();
  present();
  list_.grab_focus();
  ShowSelected();
}

void RecordedRequestsWindow::RowAdded() {
  ShowCount();
  if (!get_visible()) return;
  // The newest row into view, once the list has laid it out.
  Glib::signal_idle().connect_once(
      [this] {
        auto adjustment = list_scroller_.get_vadjustment();
        adjustment->set_value(adjustment->get_upper() -
                              adjustment->get_page_size());
      },
      Glib::PRIORITY_LOW);
}

void RecordedRequestsWindow::ListCleared() {
  if (check_) {
    check_.reset();
    CheckFinished("The replay check stopped: a new transaction started.");
  }
  ShowCount();
  ShowSelected();
  TransactionStateChanged();
}

void RecordedRequestsWindow::RowRemoved() {
  ShowCount();
  ShowSelected();
}

void RecordedRequestsWindow::TransactionStateChanged() {
  paused_.set_visible(session_.state().recordingPaused);
  ShowDeleteButton(check_ != nullptr);
}

void RecordedRequestsWindow::ShowCount() {
  const std::string filter = search_.get_text().raw();
  const guint shown = filtered_->get_n_items();
  ShowText(count_, replay::CountText(shown, rows_->get_n_items(), filter));
  no_match_.set_visible(shown == 0 && !filter.empty());
  if (no_match_.get_visible()) ShowText(no_match_, replay::NoMatchText(filter));
}

void RecordedRequestsWindow::ShowDeleteButton(bool check_running) {
  const replay::DeleteButtonState state = replay::DeleteButton(
      Selected() != nullptr, check_running,
      session_.state().documentClosed);
  delete_.set_sensitive(state.enabled);
  delete_.set_tooltip_text(state.tooltip);
}

RecordedRequests::RecordedRequests(RecordingSession& session)
    : session_(session), rows_(Gio::ListStore<RequestRow>::create()) {}

RecordedRequests::~RecordedRequests() = default;

void RecordedRequests::Open() {
  if (!window_) {
    window_ = std::make_unique<RecordedRequestsWindow>(rows_, session_);
  }
  window_->Open();
}

void RecordedRequests::ElementRecorded(RecordedElement element) {
  // The text was built with room to spare; a long session keeps hundreds.
  element.text.shrink_to_fit();
  auto row = RequestRow::create(std::move(element));
  row->number = rows_->get_n_items() + 1;
  rows_->append(row);
  if (window_) window_->RowAdded();
}

void RecordedRequests::TransactionStarted() {
  rows_->remove_all();
  if (window_) window_->ListCleared();
}

void RecordedRequests::ElementAnswered(std::size_t index,
                                       const RecordedAnswer& answer) {
  if (index >= rows_->get_n_items()) return;
  rows_->get_item(static_cast<guint>(index))->answer = answer;
  RowsChanged(rows_, static_cast<guint>(index), static_cast<guint>(index) + 1);
}

void RecordedRequests::TransactionClosed() {
  if (window_) window_->TransactionStateChanged();
}

void RecordedRequests::RecordingPaused() {
  if (window_) window_->TransactionStateChanged();
}

void RecordedRequests::ScriptHostsChanged() {
  if (window_) window_->ScriptHostsChanged();
}

void RecordedRequests::ElementDeleted(std::size_t index) {
  if (index >= rows_->get_n_items()) return;
  rows_->remove(static_cast<guint>(index));
  for (guint i = static_cast<guint>(index); i < rows_->get_n_items(); ++i) {
    rows_->get_item(i)->number = i + 1;
  }
  RowsChanged(rows_, static_cast<guint>(index), rows_->get_n_items());
  if (window_) window_->RowRemoved();
}

}  // namespace scrivlet
