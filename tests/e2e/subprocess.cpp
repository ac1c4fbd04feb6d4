#include "subprocess.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <thread>

namespace scrivlet::e2e {
namespace {

using Clock = std::chrono::steady_clock;

// argv and envp in the form posix_spawn wants; the strings stay owned here.
class CArgs {
 public:
  explicit CArgs(const std::vector<std::string>& items) : items_(items) {
    for (auto& item : items_) pointers_.push_back(item.data());
    pointers_.push_back(nullptr);
  }
  char* const* get() { return pointers_.data(); }

 private:
  std::vector<std::string> items_;
  std::vector<char*> pointers_;
};

std::vector<std::string> EnvStrings(const Environment& env) {
  std::vector<std::string> strings;
  for (const auto& [name, value] : env) strings.push_back(name + "=" + value);
  return strings;
}

// posix_spawnp looks the program up in the PATH of the calling process; the
// test's PATH is the one to use, so the child environment's PATH does not
// matter for finding it.
pid_t Spawn(const std::vector<std::string>& argv, const Environment& env,
            posix_spawn_file_actions_t* actions) {
  CArgs c_argv(argv);
  CArgs c_env(EnvStrings(env));
  pid_t pid = -1;
  int error = posix_spawnp(&pid, argv.at(0).c_str(), actions, nullptr,
                           c_argv.get(), c_env.get());
  if (error != 0) {
    throw std::runtime_error("cannot start " + argv[0] + ": " +
                             std::strerror(error));
  }
  return pid;
}

int DecodeWaitStatus(int wait_status) {
  if (WIFEXITED(wait_status)) return WEXITSTATUS(wait_status);
  if (WIFSIGNALED(wait_status)) return 128 + WTERMSIG(wait_status);
  return -1;
}

}  // namespace

CommandResult RunCommand(const std::vector<std::string>& argv,
                         const Environment& env,
                         std::chrono::milliseconds timeout) {
  int fds[2];
  if (pipe2(fds, O_CLOEXEC) != 0) throw std::runtime_error("pipe failed");
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, fds[1], STDOUT_FILENO);
  posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null",
                                   O_RDONLY, 0);
  pid_t pid = -1;
  try {
    pid = Spawn(argv, env, &actions);
  } catch (...) {
    posix_spawn_file_actions_destroy(&actions);
    close(fds[0]);
    close(fds[1]);
    throw;
  }
  posix_spawn_file_actions_destroy(&actions);
  close(fds[1]);

  CommandResult result;
  const auto deadline = Clock::now() + timeout;
  bool timed_out = false;
  while (true) {
    auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        deadline - Clock::now());
    if (left.count() <= 0) {
      timed_out = true;
      break;
    }
    pollfd pfd{fds[0], POLLIN, 0};
    int ready = poll(&pfd, 1, static_cast<int>(left.count()));
    if (ready < 0 && errno == EINTR) continue;
    if (ready <= 0) continue;
    char buffer[4096];
    ssize_t n = read(fds[0], buffer, sizeof buffer);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    result.output.append(buffer, static_cast<size_t>(n));
  }
  close(fds[0]);
  if (timed_out) kill(pid, SIGKILL);
  int wait_status = 0;
  while (waitpid(pid, &wait_status, 0) < 0 && errno == EINTR) {
  }
  result.exit_status = timed_out ? -1 : DecodeWaitStatus(wait_status);
  return result;
}

ChildProcess::ChildProcess(const std::vector<std::string>& argv,
                           const Environment& env,
                           const std::string& working_dir,
                           const std::string& log_path, int stdout_fd) {
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null",
                                   O_RDONLY, 0);
  posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, log_path.c_str(),
                                   O_WRONLY | O_CREAT | O_APPEND, 0644);
  if (stdout_fd >= 0) {
    posix_spawn_file_actions_adddup2(&actions, stdout_fd, STDOUT_FILENO);
  } else {
    posix_spawn_file_actions_adddup2(&actions, STDERR_FILENO, STDOUT_FILENO);
  }
  // The working directory is part of the program's contract (its files are
  // found relative to it), so it is set for the child alone.
  posix_spawn_file_actions_addchdir_np(&actions, working_dir.c_str());
  try {
    pid_ = Spawn(argv, env, &actions);
  } catch (...) {
    posix_spawn_file_actions_destroy(&actions);
    throw;
  }
  posix_spawn_file_actions_destroy(&actions);
}

ChildProcess::~ChildProcess() {
  if (IsRunning()) Stop();
}

void ChildProcess::Reap(int wait_status) {
  exit_status_ = DecodeWaitStatus(wait_status);
}

bool ChildProcess::IsRunning() {
  if (exit_status_) return false;
  int wait_status = 0;
  pid_t done = waitpid(pid_, &wait_status, WNOHANG);
  if (done == pid_) {
    Reap(wait_status);
    return false;
  }
  return done == 0;
}

std::optional<int> ChildProcess::WaitForExit(
    std::chrono::milliseconds timeout) {
  const auto deadline = Clock::now() + timeout;
  while (IsRunning()) {
    if (Clock::now() >= deadline) return std::nullopt;
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  return exit_status_;
}

void ChildProcess::Stop() {
  if (!IsRunning()) return;
  kill(pid_, SIGTERM);
  if (WaitForExit(std::chrono::seconds(1))) return;
  kill(pid_, SIGKILL);
  WaitForExit(std::chrono::seconds(5));
}

TempDir::TempDir(const std::string& prefix) {
  std::string pattern =
      (std::filesystem::temp_directory_path() / (prefix + "XXXXXX")).string();
  if (mkdtemp(pattern.data()) == nullptr) {
    throw std::runtime_error("mkdtemp failed");
  }
  path_ = pattern;
}

TempDir::~TempDir() {
  std::error_code ignored;
  std::filesystem::remove_all(path_, ignored);
}

std::optional<std::string> ReadFileBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return std::nullopt;
  std::ostringstream bytes;
  bytes << in.rdbuf();
  return bytes.str();
}

void WriteFileBytes(const std::string& path, const std::string& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << bytes;
  if (!out) throw std::runtime_error("cannot write " + path);
}

bool FileExists(const std::string& path) {
  struct stat info;
  return stat(path.c_str(), &info) == 0;
}

}  // namespace scrivlet::e2e
