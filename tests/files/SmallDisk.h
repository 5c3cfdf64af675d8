// A small file system of its own for one test: a tmpfs of a given size
// mounted on a scratch directory (root only), unmounted with everything on
// it. Also: filling it up, its free space, and running code as "nobody".
#pragma once

#include <grp.h>
#include <signal.h>
#include <sys/mount.h>
#include <sys/statvfs.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <functional>
#include <string>

#include "TempDir.h"

class SmallDisk {
public:
  explicit SmallDisk(unsigned kib) {
    if (geteuid() != 0) {
      why_ = "needs root to mount a tmpfs";
      return;
    }
    const std::string options = "size=" + std::to_string(kib) + "k,mode=0755";
    if (mount("tmpfs", dir_.path().c_str(), "tmpfs", 0, options.c_str()) != 0) {
      why_ = std::string("cannot mount a tmpfs: ") + std::strerror(errno);
      return;
    }
    mounted_ = true;
  }
  ~SmallDisk() {
    if (mounted_) umount2(dir_.path().c_str(), MNT_DETACH);
  }
  SmallDisk(const SmallDisk&) = delete;
  SmallDisk& operator=(const SmallDisk&) = delete;

  // Empty when the disk is there; else why it is not (for GTEST_SKIP).
  const std::string& unavailable() const { return why_; }
  const std::string& path() const { return dir_.path(); }
  std::string operator/(const std::string& name) const { return dir_ / name; }
  const TempDir& dir() const { return dir_; }

  // Free bytes.
  long long free() const {
    struct statvfs st {};
    statvfs(dir_.path().c_str(), &st);
    return static_cast<long long>(st.f_bavail) * static_cast<long long>(st.f_frsize);
  }
  // Writes the file `name` until the disk holds at most `left` free bytes.
  void fill(const std::string& name, long long left = 0) const {
    FILE* f = std::fopen((dir_ / name).c_str(), "wb");
    if (f == nullptr) return;
    std::setvbuf(f, nullptr, _IONBF, 0);
    static const char block[4096] = {};
    while (free() > left) {
      const long long n = free() - left < 4096 ? free() - left : 4096;
      if (std::fwrite(block, 1, static_cast<std::size_t>(n), f) != static_cast<std::size_t>(n)) break;
    }
    std::fclose(f);
  }

private:
  TempDir dir_;
  bool mounted_ = false;
  std::string why_;
};

// Runs `body` in a child process as "nobody" (when started as root) and
// returns its exit status (0-255), or -1 when the child died otherwise.
inline int AsNobody(const std::function<int()>& body) {
  // The library's SIGCHLD reaper would take the child's status first.
  struct sigaction byDefault {}, before {};
  byDefault.sa_handler = SIG_DFL;
  sigaction(SIGCHLD, &byDefault, &before);
  const pid_t pid = fork();
  if (pid == 0) {
    if (geteuid() == 0 && (setgroups(0, nullptr) != 0 || setgid(65534) != 0 || setuid(65534) != 0)) _exit(254);
    _exit(body());
  }
  int status = 0;
  const bool waited = pid > 0 && waitpid(pid, &status, 0) == pid;
  sigaction(SIGCHLD, &before, nullptr);
  if (!waited || !WIFEXITED(status)) return -1;
  return WEXITSTATUS(status);
}
