// What the "Recorded Requests" window does with its selected row: shows
// its XML and form, copies it, deletes it and keeps the keyboard in the
// list afterwards.

#include <gtk/gtk.h>

#include <algorithm>
#include <string>

#include "document/document_reader.h"
#include "replay/request_rows.h"
#include "ui/message_box.h"
#include "ui/recorded_requests_window.h"

namespace scrivlet {

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
    } catch (const DocumentReadError& error) {
      // Every row was written by this program or read by the same reader,
      // so this is a fault of the program's own: shown where the form
      // would be, and logged.
      form = "The form of request " + std::to_string(row->number) +
             " cannot be shown: its element does not read back (" +
             error.what() + ").";
      g_message("%s", form.c_str());
    }
  }
  element_text_.get_buffer()->set_text(row ? DisplayText(row->element.text) : "");
  form_text_.get_buffer()->set_text(DisplayText(form));
  for (Gtk::TextView* view : {&element_text_, &form_text_}) {
    auto buffer = view->get_buffer();
    buffer->apply_tag_by_name("unhyphenated", buffer->begin(), buffer->end());
  }
  ShowDeleteButton(check_ != nullptr);
}

void RecordedRequestsWindow::CopySelected() {
  if (const Glib::RefPtr<RequestRow> row = Selected()) {
    get_clipboard()->set_text(DisplayText(row->element.text));
  }
}

// The row that takes the deleted one's place is selected, so that Delete
// pressed again goes on down the list.
void RecordedRequestsWindow::DeleteSelected() {
  const Glib::RefPtr<RequestRow> row = Selected();
  if (!row || !delete_.get_sensitive()) return;
  const guint position = selection_->get_selected();
  const std::string question =
      "Delete request " + std::to_string(row->number) + " (" +
      row->element.method + " " + row->element.url +
      ") from trans.xml? It will not be uploaded with the transaction.";
  if (!AskToContinue(this, DisplayText(question), "Delete Request")) return;
  if (!session_.DeleteRequest_Click(row->number - 1)) return;
  if (const guint left = filtered_->get_n_items(); left > 0) {
    selection_->set_selected(std::min(position, left - 1));
  }
  FocusSelectedRow();
}

void RecordedRequestsWindow::FocusSelectedRow() {
  const Glib::RefPtr<RequestRow> row = Selected();
  for (Gtk::Widget* part = list_.get_first_child(); row && part;
       part = part->get_next_sibling()) {
    if (!GTK_IS_LIST_VIEW(part->gobj())) continue;
    for (Gtk::Widget* shown = part->get_first_child(); shown;
         shown = shown->get_next_sibling()) {
      if (g_object_get_data(G_OBJECT(shown->gobj()), kRequestRowKey) == row.get() &&
          shown->grab_focus()) {
        return;
      }
    }
  }
  list_.grab_focus();
}

}  // namespace scrivlet
