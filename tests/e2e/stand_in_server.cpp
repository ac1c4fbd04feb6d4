#include "stand_in_server.h"

#include <fcntl.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <stdexcept>
#include <vector>

#include "scrivlet_fixture.h"

namespace scrivlet::e2e {

StandInServer::StandInServer() {
  int fds[2];
  if (pipe2(fds, O_CLOEXEC) != 0) throw std::runtime_error("pipe failed");
  process_ = std::make_unique<ChildProcess>(
      std::vector<std::string>{StandInServerBinary(), "--port", "0", "--store",
                               UploadsDir()},
      Environment{{"PATH", std::getenv("PATH") ? std::getenv("PATH") : ""},
                  {"LC_ALL", "C"}},
      store_.path(), store_.path() + "/server.log", fds[1]);
  close(fds[1]);
  // The first line names the address: "listening on http://127.0.0.1:P/".
  std::string line;
  char c;
  while (line.find('\n') == std::string::npos && read(fds[0], &c, 1) == 1) {
    line += c;
  }
  close(fds[0]);
  const std::string prefix = "listening on ";
  if (line.rfind(prefix, 0) != 0) {
    throw std::runtime_error("the stand-in server did not start: " + line);
  }
  url_ = line.substr(prefix.size(), line.size() - prefix.size() - 1);
}

std::string StandInServer::Upload(int number) const {
  char folder[32];
  std::snprintf(folder, sizeof folder, "/upload-%04d", number);
  return UploadsDir() + folder;
}

int ClosedPort() {
  int sock = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  address.sin_port = 0;
  bind(sock, reinterpret_cast<sockaddr*>(&address), sizeof address);
  socklen_t length = sizeof address;
  getsockname(sock, reinterpret_cast<sockaddr*>(&address), &length);
  close(sock);
  return ntohs(address.sin_port);
}

}  // namespace scrivlet::e2e
