#include "stand_in_server/request_log.h"

#include "stand_in_server/base64.h"

namespace scrivlet::stand_in {

void RequestLog::Add(std::string_view method, std::string_view target,
                     std::string_view body) {
  std::string line;
  line += method;
  line += ' ';
  line += target;
  line += ' ';
  line += std::to_string(body.size());
  line += ' ';
  line += body.empty() ? std::string("-") : ToBase64(body);
  line += '\n';
  std::lock_guard lock(mutex_);
  text_ += line;
}

void RequestLog::AddMultipart(std::string_view method, std::string_view target,
                              std::uint64_t body_length) {
  std::string line;
  line += method;
  line += ' ';
  line += target;
  line += ' ';
  line += std::to_string(body_length);
  line += " *\n";
  std::lock_guard lock(mutex_);
  text_ += line;
}

std::string RequestLog::Text() const {
  std::lock_guard lock(mutex_);
  return text_;
}

}  // namespace scrivlet::stand_in
