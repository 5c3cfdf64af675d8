// Programs started with posix_spawnp and an argument vector.
#include "files/Commande.h"

#include <fcntl.h>
#include <glob.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>

#include <cerrno>

extern char** environ;

int CMD_nExecute(const std::vector<std::string>& argv) {
  if (argv.empty()) {
    errno = EINVAL;
    return -1;
  }
  std::vector<char*> args;
  for (const auto& s : argv) args.push_back(const_cast<char*>(s.c_str()));
  args.push_back(nullptr);
  // The library's SIGCHLD reaper would take the child's status first.
  struct sigaction saDefaut {}, saAvant {};
  saDefaut.sa_handler = SIG_DFL;
  sigemptyset(&saDefaut.sa_mask);
  sigaction(SIGCHLD, &saDefaut, &saAvant);
  // The program's messages do not reach the caller's terminal.
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
  posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
  pid_t pid = 0;
  const int nErreur = posix_spawnp(&pid, args[0], &actions, nullptr, args.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  int nStatut = 0;
  int nResultat = -1;
  if (nErreur == 0) {
    pid_t r;
    while ((r = waitpid(pid, &nStatut, 0)) < 0 && errno == EINTR) {
    }
    if (r == pid) nResultat = WIFEXITED(nStatut) ? WEXITSTATUS(nStatut) : 128 + WTERMSIG(nStatut);
  }
  const int e = nErreur != 0 ? nErreur : errno;
  sigaction(SIGCHLD, &saAvant, nullptr);
  if (nResultat < 0) errno = e;
  return nResultat;
}

std::vector<std::string> CMD_vDeveloppe(const std::string& sMotif) {
  std::vector<std::string> v;
  glob_t g{};
  if (glob(sMotif.c_str(), GLOB_NOCHECK, nullptr, &g) == 0) {
    for (std::size_t i = 0; i < g.gl_pathc; ++i) v.emplace_back(g.gl_pathv[i]);
  }
  globfree(&g);
  if (v.empty()) v.push_back(sMotif);
  return v;
}
