// Programs started with posix_spawnp and an argument vector.
#include "files/Commande.h"

#include <fcntl.h>
#include <glob.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>

#include "core/Environnement.h"

extern char** environ;

namespace {

// What is kept of a program's error output: its first line, at most this long.
constexpr std::size_t TAILLE_LIGNE_ERREUR = 512;

// Reads the pipe to its end (so the program never blocks on it), keeping
// the first line.
void LitPremiereLigne(int fd, std::string* ps) {
  char tampon[1024];
  bool bLigneFinie = false;
  for (;;) {
    const ssize_t n = read(fd, tampon, sizeof tampon);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    for (ssize_t i = 0; i < n && !bLigneFinie; ++i) {
      if (tampon[i] == '\n') bLigneFinie = true;
      else if (ps->size() < TAILLE_LIGNE_ERREUR) ps->push_back(tampon[i]);
    }
  }
}

}  // namespace

int CMD_nExecute(const std::vector<std::string>& argv, std::string* psErreur) {
  if (argv.empty()) {
    errno = EINVAL;
    return -1;
  }
  if (psErreur != nullptr) psErreur->clear();
  std::vector<char*> args;
  for (const auto& s : argv) args.push_back(const_cast<char*>(s.c_str()));
  args.push_back(nullptr);
  int tube[2] = {-1, -1};
  if (psErreur != nullptr && pipe2(tube, O_CLOEXEC) != 0) return -1;
  // The program's messages do not reach the caller's terminal.
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
  if (psErreur != nullptr) posix_spawn_file_actions_adddup2(&actions, tube[1], 2);
  else posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
  pid_t pid = 0;
  // The spawn reads PATH and the environment while other threads may
  // change them: their changes wait for it. (The library's SIGCHLD handler
  // reaps only the launches nobody waits for: this child is waited for here.)
  std::unique_lock<std::mutex> verrouEnvironnement = ENV_Verrou();
  const int nErreur = posix_spawnp(&pid, args[0], &actions, nullptr, args.data(), environ);
  verrouEnvironnement.unlock();
  posix_spawn_file_actions_destroy(&actions);
  if (psErreur != nullptr) {
    close(tube[1]);
    if (nErreur == 0) LitPremiereLigne(tube[0], psErreur);
    close(tube[0]);
  }
  int nStatut = 0;
  int nResultat = -1;
  if (nErreur == 0) {
    pid_t r;
    while ((r = waitpid(pid, &nStatut, 0)) < 0 && errno == EINTR) {
    }
    if (r == pid) nResultat = WIFEXITED(nStatut) ? WEXITSTATUS(nStatut) : 128 + WTERMSIG(nStatut);
  }
  const int e = nErreur != 0 ? nErreur : errno;
  if (nResultat < 0) errno = e;
  return nResultat;
}

std::vector<std::string> CMD_vDeveloppe(const std::string& sMotif) {
  std::vector<std::string> v;
  glob_t g{};
  if (glob(sMotif.c_str(), 0, nullptr, &g) == 0) {
    for (std::size_t i = 0; i < g.gl_pathc; ++i) v.emplace_back(g.gl_pathv[i]);
  }
  globfree(&g);
  return v;
}
