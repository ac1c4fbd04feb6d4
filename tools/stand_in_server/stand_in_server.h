#ifndef SCRIVLET_TOOLS_STAND_IN_SERVER_STAND_IN_SERVER_H_
#define SCRIVLET_TOOLS_STAND_IN_SERVER_STAND_IN_SERVER_H_

#include <filesystem>
#include <ostream>
#include <string>

#include <httplib.h>

#include "stand_in_server/request_log.h"
#include "stand_in_server/upload_store.h"

namespace scrivlet::stand_in {

// A stand-in for the management server on 127.0.0.1: the record page, the
// upload servlet, the demo web application and the request log at
// /__requests. Every stored upload is announced on `announcements` as the
// line "stored upload in FOLDER", written and flushed before the servlet's
// answer goes out, so a client that has the answer can read the line.
class StandInServer {
 public:
  StandInServer(std::filesystem::path store_root, std::ostream& announcements);
  StandInServer(const StandInServer&) = delete;
  StandInServer& operator=(const StandInServer&) = delete;

  // Binds 127.0.0.1 on `port` (0 picks a free one). Returns the port bound,
  // or -1 when the port cannot be bound.
  int Bind(int port);
  // Serves until Stop(); returns false when serving failed.
  bool Serve();
  // Safe to call from another thread, not from a signal handler.
  void Stop();

 private:
  void AddRoute(const std::string& method, const std::string& pattern,
                httplib::Server::Handler handler);
  // `body` is the urlencoded form the record page posted.
  void HandleUpload(const std::string& body, httplib::Response& response);

  httplib::Server server_;
  UploadStore store_;
  RequestLog log_;
  std::ostream& announcements_;
};

}  // namespace scrivlet::stand_in

#endif  // SCRIVLET_TOOLS_STAND_IN_SERVER_STAND_IN_SERVER_H_
