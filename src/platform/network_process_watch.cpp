#include "platform/network_process_watch.h"

#include <glib-unix.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <deque>
#include <filesystem>
#include <fstream>
#include <string>
#include <system_error>
#include <utility>

#include "platform/callback_guard.h"

namespace scrivlet {
namespace {

// The kernel keeps the first 15 bytes of a program's name.
constexpr char kNetworkProcessName[] = "WebKitNetworkPr";

// The children of `pid`, from every one of its threads (the engine starts
// its processes from whichever thread asks first).
std::deque<pid_t> ChildrenOf(pid_t pid) {
  std::deque<pid_t> children;
  std::error_code error;
  const std::filesystem::path tasks =
      "/proc/" + std::to_string(pid) + "/task";
  for (const auto& task :
       std::filesystem::directory_iterator(tasks, error)) {
    std::ifstream list(task.path() / "children");
    pid_t child = 0;
    while (list >> child) children.push_back(child);
  }
  return children;
}

std::string NameOf(pid_t pid) {
  std::ifstream comm("/proc/" + std::to_string(pid) + "/comm");
  std::string name;
  std::getline(comm, name);
  return name;
}

// The process below `parent` (children first, then theirs) whose name is
// `name` as the kernel keeps it; 0 when there is none.
pid_t FindDescendant(pid_t parent, const char* name) {
  // Breadth first and shallow: the sandbox puts at most a launcher or two
  // between the program and the engine's processes.
  std::deque<std::pair<pid_t, int>> waiting;
  for (pid_t child : ChildrenOf(parent)) waiting.emplace_back(child, 1);
  while (!waiting.empty()) {
    const auto [pid, depth] = waiting.front();
    waiting.pop_front();
    if (NameOf(pid) == name) return pid;
    if (depth >= 3) continue;
    for (pid_t child : ChildrenOf(pid)) waiting.emplace_back(child, depth + 1);
  }
  return 0;
}

}  // namespace

NetworkProcessWatch::NetworkProcessWatch(WebKitWebView* view,
                                         std::function<void()> ended)
    : view_(GObjectPtr<WebKitWebView>::Ref(view)), ended_(std::move(ended)) {
  g_signal_connect(view, "load-changed", G_CALLBACK(&OnLoadChanged), this);
}

NetworkProcessWatch::~NetworkProcessWatch() {
  g_signal_handlers_disconnect_by_data(view_.get(), this);
  Stop();
}

// By the time a load starts, the engine has a network process running.
void NetworkProcessWatch::OnLoadChanged(WebKitWebView*, WebKitLoadEvent event,
                                        gpointer self) {
  if (event != WEBKIT_LOAD_STARTED) return;
  GuardCallback("network process watch",
                [&] { static_cast<NetworkProcessWatch*>(self)->Watch(); });
}

void NetworkProcessWatch::Watch() {
  if (source_) return;
  const pid_t pid = FindDescendant(getpid(), kNetworkProcessName);
  if (pid == 0) return;
  const long fd = syscall(SYS_pidfd_open, pid, 0);
  if (fd < 0) return;
  process_fd_ = static_cast<int>(fd);
  source_ = g_unix_fd_add(process_fd_, G_IO_IN, &OnEnded, this);
}

void NetworkProcessWatch::Stop() {
  if (source_) g_source_remove(source_);
  source_ = 0;
  if (process_fd_ >= 0) close(process_fd_);
  process_fd_ = -1;
}

// A process file descriptor becomes readable when its process has ended.
gboolean NetworkProcessWatch::OnEnded(gint, GIOCondition, gpointer self) {
  auto* watch = static_cast<NetworkProcessWatch*>(self);
  // The source ends with this call; the next load watches the new process.
  watch->source_ = 0;
  watch->Stop();
  GuardCallback("network process ended", [&] { watch->ended_(); });
  return G_SOURCE_REMOVE;
}

}  // namespace scrivlet
