#ifndef SCRIVLET_TOOLS_STAND_IN_SERVER_RECORD_PAGES_H_
#define SCRIVLET_TOOLS_STAND_IN_SERVER_RECORD_PAGES_H_

#include <string>
#include <string_view>

#include "stand_in_server/transaction_check.h"
#include "stand_in_server/upload_store.h"

namespace scrivlet::stand_in {

// Where the recording program sends its finished document: the record page
// (under any prefix, which is the configured management server address) and
// the upload servlet that the record page's form posts to.
inline constexpr std::string_view kRecordPageSuffix =
    "/com.brenik.morix.core.util.FileTransfer/WYT/record.html";
inline constexpr std::string_view kServletPath =
    "/servlet/com.brenik.morix.core.util.ApplyTransDocServlet";

// Which record page to serve. The broken kinds let tests point the program's
// management server address at a page it cannot use.
enum class RecordPageKind {
  kUsable,     // first form: uuid, name, startUrl, trans; submits when filled
  kNoForm,     // a page without any form
  kShortForm,  // a first form with three elements only
};

// The kind served for a record page address: a prefix of "/noform/" gives
// kNoForm, "/shortform/" kShortForm, anything else kUsable.
RecordPageKind RecordPageKindFor(std::string_view path);

std::string RecordPage(RecordPageKind kind);

// The upload servlet's answer for an upload stored in `folder`.
std::string UploadAnswerPage(const Upload& upload, const std::string& folder,
                             const TransactionCheck& check);

}  // namespace scrivlet::stand_in

#endif  // SCRIVLET_TOOLS_STAND_IN_SERVER_RECORD_PAGES_H_
