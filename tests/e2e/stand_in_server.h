#ifndef SCRIVLET_TESTS_E2E_STAND_IN_SERVER_H_
#define SCRIVLET_TESTS_E2E_STAND_IN_SERVER_H_

#include <memory>
#include <string>

#include "subprocess.h"

namespace scrivlet::e2e {

// The stand-in management server, run as its own process with a store of
// its own.
class StandInServer {
 public:
  // Starts the server on a free port and waits until it listens. Throws
  // std::runtime_error when it does not start.
  StandInServer();

  // "http://127.0.0.1:PORT/"
  const std::string& url() const { return url_; }
  std::string UploadsDir() const { return store_.path() + "/uploads"; }
  // STORE/uploads/upload-NNNN
  std::string Upload(int number) const;

 private:
  TempDir store_{"scrivlet-stand-in-"};
  std::unique_ptr<ChildProcess> process_;
  std::string url_;
};

// A loopback port on which nothing listens: the address of a management
// server that cannot be reached.
int ClosedPort();

}  // namespace scrivlet::e2e

#endif  // SCRIVLET_TESTS_E2E_STAND_IN_SERVER_H_
