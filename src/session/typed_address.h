#ifndef SCRIVLET_SESSION_TYPED_ADDRESS_H_
#define SCRIVLET_SESSION_TYPED_ADDRESS_H_

#include <string>

namespace scrivlet {

// The address the address box loads for the text the user typed. Text that
// holds "://", or begins with a scheme that needs no authority ("about:",
// "data:", "file:", "javascript:", "mailto:", in any case), is an address
// already and is handed over unchanged. Any other text is a host with
// perhaps a port and a path ("127.0.0.1:8080/app", "intranet/app"): its
// surrounding blanks go and "http://" is put in front. Text of blanks only
// is handed over unchanged: there is nothing to put a scheme in front of.
std::string AddressToLoad(const std::string& typed);

}  // namespace scrivlet

#endif  // SCRIVLET_SESSION_TYPED_ADDRESS_H_
