#include "ui/recorded_requests_window.h"

#include <pangomm/tabarray.h>

#include <string>
#include <utility>

#include "ui/accessibility.h"
#include "ui/message_box.h"
#include "ui/window_teardown.h"

namespace scrivlet {
namespace {

constexpr char kTitle[] = "Recorded Requests";
constexpr int kDefaultWidth = 760;
constexpr int kDefaultHeight = 520;
// Where the columns begin, in pixels: number, method, body size, kind,
// address. The address comes last so that a long one is cut at the end
// instead of pushing the others out of line.
constexpr int kColumnStarts[] = {0, 40, 110, 190, 300};

// Rows and the header are one text each, split into columns by tabs.
void UseColumns(Gtk::Label& label) {
  Pango::TabArray tabs(static_cast<int>(std::size(kColumnStarts)), true);
  for (int i = 0; i < static_cast<int>(std::size(kColumnStarts)); ++i) {
    tabs.set_tab(i, Pango::TabAlign::LEFT, kColumnStarts[i]);
  }
  label.set_tabs(tabs);
  label.set_xalign(0);
  label.set_ellipsize(Pango::EllipsizeMode::END);
}

const char* KindName(ElementKind kind) {
  return kind == ElementKind::kNavigation ? "navigation" : "completion";
}

std::string RowText(std::size_t number, const RecordedElement& element) {
  return std::to_string(number) + "\t" + element.method + "\t" +
         std::to_string(element.body_size) + "\t" + KindName(element.kind) +
         "\t" + element.url;
}

std::string CountText(std::size_t count) {
  if (count == 0) return "No requests recorded yet in this transaction.";
  return std::to_string(count) +
         (count == 1 ? " request" : " requests") +
         " recorded in trans.xml in this transaction.";
}

}  // namespace

RecordedRequestsWindow::RecordedRequestsWindow(
    const std::vector<RecordedElement>& elements)
    : elements_(elements),
      content_(Gtk::Orientation::VERTICAL, 4),
      header_("#\tMethod\tBody\tKind\tAddress"),
      panes_(Gtk::Orientation::VERTICAL) {
  set_title(kTitle);
  set_default_size(kDefaultWidth, kDefaultHeight);
  set_hide_on_close(true);

  count_.set_xalign(0);
  count_.set_margin_start(6);
  UseColumns(header_);
  header_.set_margin_start(6);
  header_.add_css_class("heading");
  list_.set_selection_mode(Gtk::SelectionMode::SINGLE);
  list_scroller_.set_child(list_);
  list_scroller_.set_vexpand(true);
  element_text_.set_editable(false);
  element_text_.set_cursor_visible(false);
  element_text_.set_monospace(true);
  element_text_.set_wrap_mode(Gtk::WrapMode::CHAR);
  SetAccessibleName(element_text_, "XML of the selected request");
  text_scroller_.set_child(element_text_);

  Gtk::Box* top = Gtk::make_managed<Gtk::Box>(Gtk::Orientation::VERTICAL, 2);
  top->append(header_);
  top->append(list_scroller_);
  panes_.set_start_child(*top);
  panes_.set_end_child(text_scroller_);
  panes_.set_position(kDefaultHeight / 2);
  panes_.set_vexpand(true);
  content_.set_margin(6);
  content_.append(count_);
  content_.append(panes_);
  set_child(content_);

  list_.signal_row_selected().connect(
      [this](Gtk::ListBoxRow* row) { ShowElementOf(row); });
  // Closed, it keeps no widgets for its rows.
  signal_hide().connect([this] { DropRows(); });
}

RecordedRequestsWindow::~RecordedRequestsWindow() {
  DetachWindowContent(*this);
}

void RecordedRequestsWindow::Open() {
  if (!get_visible()) {
    while (rows_shown_ < elements_.size()) AppendRow(rows_shown_);
    ShowCount();
  }
  present();
  list_.child_focus(Gtk::DirectionType::TAB_FORWARD);
}

void RecordedRequestsWindow::ElementAdded() {
  if (!get_visible()) return;
  AppendRow(elements_.size() - 1);
  ShowCount();
}

void RecordedRequestsWindow::ListCleared() {
  DropRows();
  if (get_visible()) ShowCount();
}

void RecordedRequestsWindow::AppendRow(std::size_t index) {
  auto* label = Gtk::make_managed<Gtk::Label>(
      DisplayText(RowText(index + 1, elements_[index])));
  UseColumns(*label);
  label->set_margin_start(6);
  list_.append(*label);
  rows_shown_ = index + 1;
  // Opened before anything was recorded, the window had no row to focus;
  // the first one takes the focus, so the arrow keys select rows at once.
  if (rows_shown_ == 1) list_.child_focus(Gtk::DirectionType::TAB_FORWARD);
}

void RecordedRequestsWindow::DropRows() {
  while (Gtk::Widget* row = list_.get_first_child()) list_.remove(*row);
  rows_shown_ = 0;
  element_text_.get_buffer()->set_text("");
}

void RecordedRequestsWindow::ShowCount() {
  ShowText(count_, CountText(elements_.size()));
}

void RecordedRequestsWindow::ShowElementOf(const Gtk::ListBoxRow* row) {
  if (!row || row->get_index() < 0 ||
      static_cast<std::size_t>(row->get_index()) >= elements_.size()) {
    element_text_.get_buffer()->set_text("");
    return;
  }
  element_text_.get_buffer()->set_text(
      DisplayText(elements_[static_cast<std::size_t>(row->get_index())].text));
}

void RecordedRequests::Open() {
  if (!window_) window_ = std::make_unique<RecordedRequestsWindow>(elements_);
  window_->Open();
}

void RecordedRequests::ElementRecorded(RecordedElement element) {
  // The text was built with room to spare; a long session keeps hundreds.
  element.text.shrink_to_fit();
  elements_.push_back(std::move(element));
  if (window_) window_->ElementAdded();
}

void RecordedRequests::TransactionStarted() {
  elements_.clear();
  if (window_) window_->ListCleared();
}

}  // namespace scrivlet
