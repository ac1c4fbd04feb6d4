#ifndef SCRIVLET_TOOLS_STAND_IN_SERVER_TRANSACTION_CHECK_H_
#define SCRIVLET_TOOLS_STAND_IN_SERVER_TRANSACTION_CHECK_H_

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace scrivlet::stand_in {

// One REQUEST element of a received transaction, as the answer page lists it.
struct RecordedRequest {
  std::string method;   // METHOD text; "" when the element has none
  std::string address;  // the Host header value followed by the URI text
  // Length of the body the CONTENT element describes (its W3C_ENC pieces
  // joined by "&"); nothing when the request has no CONTENT.
  std::optional<std::size_t> body_size;
};

struct TransactionCheck {
  bool accepted = false;
  std::string reason;  // why it was refused; "" when accepted
  std::vector<RecordedRequest> requests;  // filled when accepted
};

// Accepts a document that is well-formed XML whose root element is
// HTTP-TRANSACTION and whose root holds nothing but REQUEST elements (blank
// text between them is allowed). Never touches the network or the disk.
// Call xmlInitParser() once before using this from several threads.
TransactionCheck CheckTransaction(std::string_view document);

}  // namespace scrivlet::stand_in

#endif  // SCRIVLET_TOOLS_STAND_IN_SERVER_TRANSACTION_CHECK_H_
