#ifndef SCRIVLET_TOOLS_STAND_IN_SERVER_REQUEST_LOG_H_
#define SCRIVLET_TOOLS_STAND_IN_SERVER_REQUEST_LOG_H_

#include <cstdint>
#include <mutex>
#include <string>
#include <string_view>

namespace scrivlet::stand_in {

// Every request the server has answered, for tests to read back at
// /__requests. One line per request, in arrival order:
//   METHOD TARGET BODY_LENGTH BODY_BASE64
// where TARGET is the request target as sent (path and query) and
// BODY_BASE64 is "-" for an empty body and "*" for a multipart body, which
// is not kept (BODY_LENGTH is then its announced Content-Length). Safe to use
// from several threads.
class RequestLog {
 public:
  void Add(std::string_view method, std::string_view target,
           std::string_view body);
  void AddMultipart(std::string_view method, std::string_view target,
                    std::uint64_t body_length);
  std::string Text() const;

 private:
  mutable std::mutex mutex_;
  std::string text_;
};

}  // namespace scrivlet::stand_in

#endif  // SCRIVLET_TOOLS_STAND_IN_SERVER_REQUEST_LOG_H_
