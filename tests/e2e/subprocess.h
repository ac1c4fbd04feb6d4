#ifndef SCRIVLET_TESTS_E2E_SUBPROCESS_H_
#define SCRIVLET_TESTS_E2E_SUBPROCESS_H_

#include <sys/types.h>

#include <chrono>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace scrivlet::e2e {

// A complete environment for a child process, name to value. Children get
// exactly this and nothing of the test's own environment.
using Environment = std::map<std::string, std::string>;

// The result of a command that ran to its end.
struct CommandResult {
  int exit_status = -1;  // -1 when it died of a signal or timed out
  std::string output;    // standard output
};

// Runs `argv` to its end, with standard output captured and standard error
// passed through. A command still running after `timeout` is killed and
// reported with exit status -1, so that a stuck helper fails the test
// instead of hanging it.
CommandResult RunCommand(const std::vector<std::string>& argv,
                         const Environment& env,
                         std::chrono::milliseconds timeout =
                             std::chrono::seconds(10));

// A child process started in the background. The destructor kills it (and
// only it) when it is still running.
class ChildProcess {
 public:
  // Starts `argv` in `working_dir` with `env`. Standard output and standard
  // error go to `log_path` (appended) unless `stdout_fd` names a descriptor
  // to use for standard output instead. Throws std::runtime_error when the
  // process cannot be started.
  ChildProcess(const std::vector<std::string>& argv, const Environment& env,
               const std::string& working_dir, const std::string& log_path,
               int stdout_fd = -1);
  ~ChildProcess();
  ChildProcess(const ChildProcess&) = delete;
  ChildProcess& operator=(const ChildProcess&) = delete;

  pid_t pid() const { return pid_; }

  // True while the process has not ended. Reaps it when it has.
  bool IsRunning();
  // Waits up to `timeout` for the process to end. Gives its exit status, or
  // 128 + signal number when a signal ended it; nullopt when it is still
  // running after `timeout`.
  std::optional<int> WaitForExit(std::chrono::milliseconds timeout);
  // Sends SIGTERM, then SIGKILL when it does not end within a second.
  void Stop();

 private:
  void Reap(int wait_status);

  pid_t pid_ = -1;
  std::optional<int> exit_status_;
};

// A fresh temporary directory, removed with everything in it by the
// destructor.
class TempDir {
 public:
  explicit TempDir(const std::string& prefix = "scrivlet-e2e-");
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  const std::string& path() const { return path_; }

 private:
  std::string path_;
};

// Whole-file helpers for byte-exact comparisons.
std::optional<std::string> ReadFileBytes(const std::string& path);
void WriteFileBytes(const std::string& path, const std::string& bytes);
bool FileExists(const std::string& path);

}  // namespace scrivlet::e2e

#endif  // SCRIVLET_TESTS_E2E_SUBPROCESS_H_
