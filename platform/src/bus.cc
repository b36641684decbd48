#include "platform/bus.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <strings.h>
#include <sys/file.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstddef>
#include <cstdio>
#include <cstring>
#include <map>
#include <mutex>
#include <thread>

#include "platform/os.h"
#include "platform/prefix.h"

namespace nb::bus {
namespace {

enum Kind : uint32_t { kSend = 1, kPost = 2, kReply = 3 };

struct Frame {
  uint32_t kind;
  uint32_t msg;
  uint64_t wparam;
  int64_t lparam;
  uint64_t seq;
};
static_assert(sizeof(Frame) == 32, "the frame layout is shared between processes");

constexpr uint32_t kFirstMessageId = 0xC000;
constexpr uint32_t kLastMessageId = 0xFFFF;
// A peer that connected but sends nothing must not stall the owner for long.
constexpr int kFrameWaitMs = 1000;

// Windows of this process, so a send to one of them runs in place instead of waiting
// on a socket nobody reads while we wait.
struct Local {
  Window* window;
  Handler* handler;
  pid_t pid;
  std::thread::id thread;
};
std::mutex g_mu;
std::map<std::string, Local> g_local;
std::atomic<uint64_t> g_seq{0};

std::string WindowsDir() {
  std::string dir = RunDir() + "/windows";
  MakeDirs(dir);
  return dir;
}

std::string Base(const std::string& id) { return WindowsDir() + "/" + id; }

uint64_t Fnv1a(const std::string& s) {
  uint64_t h = 1469598103934665603ull;
  for (unsigned char c : s) {
    h ^= c;
    h *= 1099511628211ull;
  }
  return h;
}

// Paths that do not fit sun_path go to the abstract namespace under a hash of the path,
// so every process derives the same address from the same prefix.
socklen_t MakeAddress(const std::string& path, sockaddr_un* addr) {
  memset(addr, 0, sizeof(*addr));
  addr->sun_family = AF_UNIX;
  if (path.size() < sizeof(addr->sun_path)) {
    memcpy(addr->sun_path, path.c_str(), path.size() + 1);
    return static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + path.size() + 1);
  }
  char name[40];
  int n =
      snprintf(name, sizeof(name), "nb-bus-%016llx", static_cast<unsigned long long>(Fnv1a(path)));
  memcpy(addr->sun_path + 1, name, n);
  return static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + 1 + n);
}

// Abstract endpoints (long prefixes) have no file permissions: the peer's user is checked
// for every connection.
bool SameUser(int fd) {
  ucred cred;
  socklen_t n = sizeof cred;
  return getsockopt(fd, SOL_SOCKET, SO_PEERCRED, &cred, &n) == 0 && cred.uid == geteuid();
}

bool PidAlive(int pid) { return pid > 0 && !ProcessEnded(pid); }

void Forget(const std::string& id) {
  std::string base = Base(id);
  TheOs().Unlink((base + ".info").c_str());
  TheOs().Unlink((base + ".sock").c_str());
}

// Info file: pid, class and title, one per line; the title takes the rest.
bool ReadInfo(const std::string& id, WindowInfo* info) {
  std::string text;
  if (!ReadWholeFile(Base(id) + ".info", &text)) return false;
  size_t a = text.find('\n');
  if (a == std::string::npos) return false;
  size_t b = text.find('\n', a + 1);
  if (b == std::string::npos) return false;
  info->id = id;
  info->pid = atoi(text.substr(0, a).c_str());
  info->window_class = text.substr(a + 1, b - a - 1);
  info->title = text.substr(b + 1);
  return info->pid > 0;
}

bool WriteInfo(const WindowInfo& info) {
  std::string base = Base(info.id);
  // Only this process's own readers depend on it surviving a crash: the folder sync waits.
  return WriteFileDurably(base + ".info",
                          std::to_string(info.pid) + "\n" + info.window_class + "\n" + info.title,
                          nullptr, FolderSync::kDeferred, 0600);
}

bool IsMine(const Local& l) { return l.pid == getpid() && l.thread == std::this_thread::get_id(); }

// Connected socket to the window, or -1; an endpoint that refuses is dead and removed.
int Connect(const WindowInfo& to) {
  int fd = socket(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC, 0);
  if (fd < 0) return -1;
  sockaddr_un addr;
  socklen_t len = MakeAddress(Base(to.id) + ".sock", &addr);
  int rc;
  do {
    rc = connect(fd, reinterpret_cast<sockaddr*>(&addr), len);
  } while (rc < 0 && errno == EINTR);
  if (rc == 0) return fd;
  int err = errno;
  close(fd);
  // The socket is bound before the info file appears, so a listed endpoint that refuses
  // has closed for good.
  if (err == ECONNREFUSED || err == ENOENT) Forget(to.id);
  return -1;
}

bool SendFrame(int fd, const Frame& f) {
  ssize_t n;
  do {
    n = send(fd, &f, sizeof(f), MSG_NOSIGNAL);
  } while (n < 0 && errno == EINTR);
  return n == static_cast<ssize_t>(sizeof(f));
}

// Waits for the reply while still serving this thread's own windows, so a peer whose
// handler sends back to us does not deadlock. False when the peer closed first.
bool AwaitReply(int fd, uint64_t seq) {
  for (;;) {
    std::vector<pollfd> fds{{fd, POLLIN, 0}};
    std::vector<std::string> ids;
    {
      std::lock_guard<std::mutex> lock(g_mu);
      for (auto& [id, l] : g_local) {
        if (!IsMine(l)) continue;
        fds.push_back({l.window->fd(), POLLIN, 0});
        ids.push_back(id);
      }
    }
    int rc = poll(fds.data(), fds.size(), -1);
    if (rc < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    if (fds[0].revents) {
      Frame r;
      ssize_t n = recv(fd, &r, sizeof(r), 0);
      if (n < 0 && errno == EINTR) continue;
      if (n == static_cast<ssize_t>(sizeof(r)) && r.kind == kReply && r.seq == seq) return true;
      if (n <= 0) return false;
      continue;
    }
    for (size_t i = 1; i < fds.size(); ++i) {
      if (!fds[i].revents) continue;
      Window* w = nullptr;
      {
        std::lock_guard<std::mutex> lock(g_mu);
        auto it = g_local.find(ids[i - 1]);
        if (it != g_local.end()) w = it->second.window;
      }
      if (w) w->Pump(0);
    }
  }
}

}  // namespace

uint32_t RegisterWindowMessage(const std::string& name) {
  if (name.empty() || name.find_first_of("\r\n") != std::string::npos) return 0;
  std::string path = RunDir() + "/messages.txt";
  Os& os = TheOs();
  int fd = os.Open(path.c_str(), O_RDWR | O_CREAT | O_APPEND | O_NOFOLLOW | O_CLOEXEC, 0600);
  if (fd < 0) return 0;
  while (os.Flock(fd, LOCK_EX) < 0) {
    if (errno != EINTR) {
      os.Close(fd);
      return 0;
    }
  }
  std::string text;
  uint32_t id = 0;
  if (ReadWholeFile(path, &text)) {
    uint32_t index = 0;
    size_t start = 0;
    bool found = false;
    while (start < text.size()) {
      size_t end = text.find('\n', start);
      if (end == std::string::npos) end = text.size();
      if (strcasecmp(text.substr(start, end - start).c_str(), name.c_str()) == 0) {
        found = true;
        break;
      }
      ++index;
      start = end + 1;
    }
    if (found) {
      id = kFirstMessageId + index;
    } else if (kFirstMessageId + index <= kLastMessageId) {
      // A torn last line from a crashed writer keeps its index; ours starts a fresh line.
      std::string line = (!text.empty() && text.back() != '\n' ? "\n" : "") + name + "\n";
      if (WriteAll(fd, line.data(), line.size())) id = kFirstMessageId + index;
    }
  }
  os.Close(fd);
  return id;
}

std::unique_ptr<Window> Window::Create(const std::string& window_class, const std::string& title,
                                       Handler handler) {
  static std::atomic<unsigned> counter{0};
  if (window_class.find('\n') != std::string::npos) return nullptr;
  std::unique_ptr<Window> w(new Window());
  w->info_.pid = getpid();
  // Each loaded copy of this code has its own counter; the address keeps ids unique anyway.
  char where[32];
  snprintf(where, sizeof where, "%lx",
           static_cast<unsigned long>(reinterpret_cast<uintptr_t>(w.get())));
  w->info_.id = std::to_string(w->info_.pid) + "-" + std::to_string(++counter) + "-" + where;
  w->info_.window_class = window_class;
  w->info_.title = title;
  w->handler_ = std::move(handler);
  std::string base = Base(w->info_.id);
  std::string sock = base + ".sock";
  int fd = socket(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
  if (fd < 0) return nullptr;
  w->fd_ = fd;
  sockaddr_un addr;
  socklen_t len = MakeAddress(sock, &addr);
  // Leftover of an earlier process that had our pid.
  if (addr.sun_path[0]) TheOs().Unlink(sock.c_str());
  if (bind(fd, reinterpret_cast<sockaddr*>(&addr), len) < 0 ||
      (addr.sun_path[0] && TheOs().Chmod(sock.c_str(), 0600) != 0) || listen(fd, SOMAXCONN) < 0) {
    return nullptr;
  }
  w->path_ = base;
  // Listed only once reachable: the info file appears after bind and listen.
  if (!WriteInfo(w->info_)) return nullptr;
  std::lock_guard<std::mutex> lock(g_mu);
  g_local[w->info_.id] = Local{w.get(), &w->handler_, getpid(), std::this_thread::get_id()};
  return w;
}

Window::~Window() {
  {
    std::lock_guard<std::mutex> lock(g_mu);
    auto it = g_local.find(info_.id);
    if (it != g_local.end() && it->second.window == this) g_local.erase(it);
  }
  if (!path_.empty()) TheOs().Unlink((path_ + ".info").c_str());
  if (fd_ >= 0) close(fd_);
  if (!path_.empty()) TheOs().Unlink((path_ + ".sock").c_str());
}

int Window::Pump(int timeout_ms) {
  pollfd p{fd_, POLLIN, 0};
  int rc;
  do {
    rc = poll(&p, 1, timeout_ms);
  } while (rc < 0 && errno == EINTR);
  if (rc <= 0) return 0;
  int handled = 0;
  const std::string id = info_.id;
  for (;;) {
    int c = accept4(fd_, nullptr, nullptr, SOCK_CLOEXEC);
    if (c < 0) {
      if (errno == EINTR) continue;
      break;
    }
    Frame f;
    pollfd cp{c, POLLIN, 0};
    bool got = SameUser(c) && poll(&cp, 1, kFrameWaitMs) > 0 &&
               recv(c, &f, sizeof(f), 0) == static_cast<ssize_t>(sizeof(f)) &&
               (f.kind == kSend || f.kind == kPost);
    if (!got) {
      close(c);
      continue;
    }
    handler_(f.msg, static_cast<uintptr_t>(f.wparam), static_cast<intptr_t>(f.lparam));
    ++handled;
    if (f.kind == kSend) {
      Frame r = f;
      r.kind = kReply;
      SendFrame(c, r);
    }
    close(c);
    // The handler may have destroyed this window (a close message usually does).
    std::lock_guard<std::mutex> lock(g_mu);
    auto it = g_local.find(id);
    if (it == g_local.end() || it->second.window != this) break;
  }
  return handled;
}

std::vector<WindowInfo> Windows() {
  std::string dir = WindowsDir();
  std::vector<std::string> infos, socks;
  std::vector<std::string> names;
  TheOs().ListFolder(dir.c_str(), &names);
  for (const std::string& name : names) {
    auto ends = [&](const std::string& suffix) {
      return name.size() > suffix.size() &&
             name.compare(name.size() - suffix.size(), suffix.size(), suffix) == 0;
    };
    if (ends(".info")) infos.push_back(name.substr(0, name.size() - 5));
    if (ends(".sock")) socks.push_back(name.substr(0, name.size() - 5));
  }
  std::sort(infos.begin(), infos.end());
  std::vector<WindowInfo> out;
  for (const std::string& id : infos) {
    WindowInfo info;
    if (!ReadInfo(id, &info)) continue;
    if (!PidAlive(info.pid)) {
      Forget(id);
      continue;
    }
    out.push_back(info);
  }
  // Sockets whose owner died before writing the info file.
  for (const std::string& id : socks) {
    if (std::binary_search(infos.begin(), infos.end(), id)) continue;
    if (!PidAlive(atoi(id.c_str()))) TheOs().Unlink((dir + "/" + id + ".sock").c_str());
  }
  return out;
}

bool FindWindow(const std::string& window_class, const std::string& title, WindowInfo* out) {
  for (const WindowInfo& w : Windows()) {
    if (!window_class.empty() && w.window_class != window_class) continue;
    if (!title.empty() && w.title != title) continue;
    if (out) *out = w;
    return true;
  }
  return false;
}

bool SendMessage(const WindowInfo& to, uint32_t msg, uintptr_t wparam, intptr_t lparam) {
  Handler* in_place = nullptr;
  {
    std::lock_guard<std::mutex> lock(g_mu);
    auto it = g_local.find(to.id);
    if (it != g_local.end() && IsMine(it->second)) in_place = it->second.handler;
  }
  if (in_place) {
    (*in_place)(msg, wparam, lparam);
    return true;
  }
  int fd = Connect(to);
  if (fd < 0) return false;
  Frame f{kSend, msg, static_cast<uint64_t>(wparam), static_cast<int64_t>(lparam), ++g_seq};
  bool ok = SendFrame(fd, f) && AwaitReply(fd, f.seq);
  close(fd);
  return ok;
}

bool PostMessage(const WindowInfo& to, uint32_t msg, uintptr_t wparam, intptr_t lparam) {
  int fd = Connect(to);
  if (fd < 0) return false;
  Frame f{kPost, msg, static_cast<uint64_t>(wparam), static_cast<int64_t>(lparam), ++g_seq};
  bool ok = SendFrame(fd, f);
  close(fd);
  return ok;
}

void Broadcast(uint32_t msg, uintptr_t wparam, intptr_t lparam) {
  for (const WindowInfo& w : Windows()) SendMessage(w, msg, wparam, lparam);
}

}  // namespace nb::bus
