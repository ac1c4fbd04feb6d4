#include "ui/recorded_requests_window.h"

#include <glibmm/fileutils.h>
#include <glibmm/main.h>
#include <gtk/gtk.h>
#include <gtkmm/image.h>
#include <gtkmm/shortcutcontroller.h>
#include <gtkmm/signallistitemfactory.h>

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
constexpr int kDefaultWidth = 900;
constexpr int kDefaultHeight = 560;
constexpr const char* kColumnTitles[] = {"#",       "Method",        "Status",
                                         "Address", "Body (bytes)", "Notes",
                                         "Replay"};
constexpr int kStatusColumn = 2;

std::string CountText(std::size_t count) {
  if (count == 0) return "No requests recorded yet in this transaction.";
  return std::to_string(count) +
         (count == 1 ? " request" : " requests") +
         " recorded in trans.xml in this transaction.";
}

// Tells the list's views that rows [from, to) have new texts.
void RowsChanged(const Glib::RefPtr<Gio::ListStore<RequestRow>>& rows,
                 guint from, guint to) {
  if (to > from) {
    g_list_model_items_changed(G_LIST_MODEL(rows->gobj()), from, to - from,
                               to - from);
  }
}

}  // namespace

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
    AddColumn(kColumnTitles[column], column, column == 3 || column == 6);
  }
  list_scroller_.set_child(list_);
  list_scroller_.set_vexpand(true);

  count_.set_xalign(0);
  count_.set_hexpand(true);
  search_.set_tooltip_text("Shows only the rows that hold this text (Ctrl+F).");
  SetAccessibleName(search_, "Filter the requests");
  progress_.set_xalign(0);
  progress_.set_wrap(true);
  delete_.set_tooltip_text("Removes the selected request from trans.xml (Delete).");
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
    // Breaks at characters and adds no hyphens where it breaks.
    view->set_wrap_mode(Gtk::WrapMode::CHAR);
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

  panes_.set_start_child(list_scroller_);
  panes_.set_end_child(details_);
  panes_.set_position(kDefaultHeight / 2);
  panes_.set_vexpand(true);
  content_.set_margin(6);
  content_.append(tools_);
  content_.append(progress_);
  content_.append(panes_);
  set_child(content_);

  search_.signal_search_changed().connect(
      [this] { gtk_filter_changed(filter_->gobj(), GTK_FILTER_CHANGE_DIFFERENT); });
  selection_->property_selected().signal_changed().connect(
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

void RecordedRequestsWindow::AddColumn(const char* title, int column,
                                       bool expand) {
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
        label->set_ellipsize(Pango::EllipsizeMode::END);
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
          const std::string name = DisplayText(row->AllTexts());
          SetAccessibleName(*box->get_parent()->get_parent(), name.c_str());
        }
      });
  auto view_column = Gtk::ColumnViewColumn::create(title, factory);
  view_column->set_expand(expand);
  view_column->set_resizable(true);
  list_.append_column(view_column);
}

void RecordedRequestsWindow::Open() {
  ShowCount();
  present();
  list_.grab_focus();
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
}

void RecordedRequestsWindow::RowRemoved() {
  ShowCount();
  ShowSelected();
}

void RecordedRequestsWindow::ShowCount() {
  ShowText(count_, CountText(rows_->get_n_items()));
}

Glib::RefPtr<RequestRow> RecordedRequestsWindow::Selected() const {
  return std::dynamic_pointer_cast<RequestRow>(selection_->get_selected_item());
}

void RecordedRequestsWindow::ShowSelected() {
  const Glib::RefPtr<RequestRow> row = Selected();
  std::string form;
  if (row) {
    try {
      const TransactionDocument read = ReadTransactionDocument(row->element.text);
      if (!read.elements.empty()) form = replay::FormText(read.elements[0]);
    } catch (const DocumentReadError&) {
    }
  }
  element_text_.get_buffer()->set_text(row ? DisplayText(row->element.text) : "");
  form_text_.get_buffer()->set_text(DisplayText(form));
}

void RecordedRequestsWindow::CopySelected() {
  if (const Glib::RefPtr<RequestRow> row = Selected()) {
    get_clipboard()->set_text(DisplayText(row->element.text));
  }
}

void RecordedRequestsWindow::DeleteSelected() {
  const Glib::RefPtr<RequestRow> row = Selected();
  if (!row || check_) return;
  const std::string question =
      "Delete request " + std::to_string(row->number) + " (" +
      row->element.method + " " + row->element.url +
      ") from trans.xml? It will not be uploaded with the transaction.";
  if (!AskToContinue(this, DisplayText(question), "Delete Request")) return;
  session_.DeleteRequest_Click(row->number - 1);
}

void RecordedRequestsWindow::CheckFinished(const std::string& text) {
  ShowText(progress_, text);
  check_button_.set_label("Check Replay");
  delete_.set_sensitive(true);
}

// The check reads the document as it will be uploaded and replays it with
// the browser's proxy and the certificates the user accepted; it changes
// nothing and its failure is only shown.
void RecordedRequestsWindow::StartOrCancelCheck() {
  if (check_) {
    check_->Cancel();
    return;
  }
  std::vector<DocumentElement> elements;
  try {
    elements = ReadTransactionDocument(
                   Glib::file_get_contents(session_.state().transFilePath))
                   .elements;
  } catch (const std::exception& error) {  // unreadable, or not a document
    ShowText(progress_, std::string("The replay check could not read "
                                    "trans.xml: ") +
                            error.what() + ". Nothing was sent.");
    return;
  }
  if (elements.empty()) {
    ShowText(progress_, "trans.xml holds no request to replay.");
    return;
  }
  // The recorded password goes where it was recorded, unless the user
  // leaves it out for the hosts that never asked for it.
  const SessionState& state = session_.state();
  const std::vector<std::string> never_asked =
      replay::HostsNeverAsked(elements, state.credentialsAskedBy);
  const std::string question =
      replay::CheckQuestion(replay::ScopeOf(elements), never_asked);
  bool leave_out = false;
  if (never_asked.empty()) {
    if (!AskToContinue(this, question, "Check Replay")) return;
  } else {
    const std::size_t choice = AskToChoose(
        this, question, {"Check Replay", replay::kWithoutPasswordCaption});
    if (choice > 1) return;
    leave_out = choice == 1;
  }
  const std::size_t total = elements.size();
  try {
    replay::ReplayOptions options = replay::CheckOptions(
        state.browserProxy, state.browserProxyBypass, state.acceptedCertificates);
    if (leave_out) {
      options.authorization_left_out.insert(never_asked.begin(),
                                            never_asked.end());
    }
    check_ = std::make_unique<replay::ReplayEngine>(std::move(elements),
                                                    std::move(options));
  } catch (const std::exception& error) {
    ShowText(progress_, std::string("The replay check could not start: ") +
                            error.what() + ". Nothing was sent.");
    return;
  }
  for (guint i = 0; i < rows_->get_n_items(); ++i) rows_->get_item(i)->replay = "";
  RowsChanged(rows_, 0, rows_->get_n_items());
  check_button_.set_label("Cancel Check");
  delete_.set_sensitive(false);
  auto differs = std::make_shared<std::size_t>(0);
  auto sent = std::make_shared<std::size_t>(0);
  check_->Start(replay::ReplayCallbacks{
      [this, total](std::size_t index) {
        ShowText(progress_, "Replaying request " + std::to_string(index + 1) +
                                " of " + std::to_string(total) +
                                "… (Ctrl+Shift+R cancels)");
      },
      [this, differs, sent](const replay::StepResult& step) {
        if (step.sent) ++*sent;
        if (step.index >= rows_->get_n_items()) return;
        const auto at = static_cast<guint>(step.index);
        Glib::RefPtr<RequestRow> row = rows_->get_item(at);
        row->replay = replay::ReplayText(step, row->element, row->answer);
        if (replay::ReplayDiffers(step, row->element, row->answer)) ++*differs;
        RowsChanged(rows_, at, at + 1);
      },
      [this, differs, sent](replay::ReplayEnd end, const std::string& failure) {
        const std::string text =
            end == replay::ReplayEnd::kCancelled
                ? "The replay check was cancelled."
            : end == replay::ReplayEnd::kFailed
                ? "The replay check stopped: " + failure + "."
                : "Replay check done: " + std::to_string(*sent) +
                      " requests sent, " + std::to_string(*differs) +
                      " differ, fail or send session-bound values.";
        CheckFinished(text);
        // Last: the engine holds this callback.
        check_.reset();
      }});
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
