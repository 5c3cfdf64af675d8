// Launching a program and waiting for that child alone, and the table of
// the children nobody waits for, which the SIGCHLD handler reaps.
#include "system/Lancement.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <mutex>

namespace {

constexpr long long ATTENTE_DEMARRAGE_MS = 1000;  // the first look at a new child
constexpr long long PAS_SANS_PIDFD_MS = 10;       // polling step where there is no pidfd

long long llMaintenantMs() {
  timespec ts{};
  clock_gettime(CLOCK_MONOTONIC, &ts);
  return static_cast<long long>(ts.tv_sec) * 1000 + ts.tv_nsec / 1000000;
}

void Dors(long long llMillis) {
  timespec ts{static_cast<time_t>(llMillis / 1000), static_cast<long>(llMillis % 1000) * 1000000L};
  while (nanosleep(&ts, &ts) != 0 && errno == EINTR) {
  }
}

int nCodeStatut(int nStatut) { return WIFEXITED(nStatut) ? WEXITSTATUS(nStatut) : 128 + WTERMSIG(nStatut); }

// One look at this child, or a wait for its end: 1 when it ended (reaped,
// *pnCode set), 0 when it still runs, -1 with errno when it cannot be
// waited for.
int nAttendEnfant(const STLancement& st, bool bBloque, int* pnCode) {
  for (;;) {
    if (st.fdPid >= 0) {
      siginfo_t info{};
      if (waitid(P_PIDFD, static_cast<id_t>(st.fdPid), &info, WEXITED | (bBloque ? 0 : WNOHANG)) == 0) {
        if (info.si_pid == 0) return 0;
        *pnCode = info.si_code == CLD_EXITED ? info.si_status : 128 + info.si_status;
        return 1;
      }
    } else {
      int nStatut = 0;
      const pid_t r = waitpid(st.pid, &nStatut, bBloque ? 0 : WNOHANG);
      if (r == st.pid) {
        *pnCode = nCodeStatut(nStatut);
        return 1;
      }
      if (r == 0) return 0;
    }
    if (errno != EINTR) return -1;
  }
}

void FermePidfd(STLancement* pst) {
  if (pst->fdPid >= 0) close(pst->fdPid);
  pst->fdPid = -1;
}

// The children nobody waits for. A slot holds 0 or the identifier of a
// child of ours not yet reaped (so not yet reusable by another process).
// Launches fill free slots; only the one running pass empties them, so a
// child is reaped once and only its own slot's child is ever waited for.
constexpr int NB_PLACES = 4096;
std::atomic<pid_t> gPlaces[NB_PLACES];
std::atomic<int> gnPlacesHaut{0};  // every filled slot lies below
std::atomic<int> gnDemandes{0};    // passes asked for (the first one runs them all)
static_assert(std::atomic<pid_t>::is_always_lock_free && std::atomic<int>::is_always_lock_free,
              "the reaper runs in a signal handler");
// Beyond the table (thousands of children running on at once): reaped by
// the passes made outside the handler.
std::mutex gMutexDebord;
std::vector<pid_t> gvDebord;

// True when the child has ended and is now reaped, or is gone (reaped by
// someone else).
bool bFini(pid_t pid) {
  for (;;) {
    // No status is asked for: nobody reads it, and nothing is written on
    // the stack of the thread the handler interrupted.
    const pid_t r = waitpid(pid, nullptr, WNOHANG);
    if (r == pid) return true;
    if (r == 0) return false;
    if (errno != EINTR) return errno == ECHILD;
  }
}

void Passe() {
  const int nHaut = gnPlacesHaut.load();
  for (int i = 0; i < nHaut; ++i) {
    const pid_t pid = gPlaces[i].load();
    if (pid > 0 && bFini(pid)) gPlaces[i].store(0);
  }
}

bool bPlace(pid_t pid) {
  for (int i = 0; i < NB_PLACES; ++i) {
    pid_t libre = 0;
    if (!gPlaces[i].compare_exchange_strong(libre, pid)) continue;
    int nHaut = gnPlacesHaut.load();
    while (nHaut < i + 1 && !gnPlacesHaut.compare_exchange_weak(nHaut, i + 1)) {
    }
    return true;
  }
  return false;
}

}  // namespace

void PROCESSUS_RecolteAbandonnes() {
  const int nErreur = errno;
  // A pass already running (in another thread, or interrupted by this
  // handler) goes round once more for this request.
  if (gnDemandes.fetch_add(1) == 0) {
    int n = 1;
    for (;;) {
      Passe();
      const int nReste = gnDemandes.fetch_sub(n) - n;
      if (nReste == 0) break;
      n = nReste;
    }
  }
  errno = nErreur;
}

void PROCESSUS_RecolteTout() {
  PROCESSUS_RecolteAbandonnes();
  std::lock_guard<std::mutex> verrou(gMutexDebord);
  std::erase_if(gvDebord, bFini);
}

void PROCESSUS_Abandonne(STLancement* pst) {
  FermePidfd(pst);
  if (!bPlace(pst->pid)) {
    std::lock_guard<std::mutex> verrou(gMutexDebord);
    gvDebord.push_back(pst->pid);
  }
  // It may have ended before it had its slot, its SIGCHLD already gone.
  PROCESSUS_RecolteTout();
}

std::vector<std::string> DecoupeArguments(const char* pszArguments) {
  std::vector<std::string> mots;
  std::string mot;
  bool bGroupe = false, bMot = false;
  auto termine = [&] {
    while (!mot.empty() && (mot.back() == ' ' || mot.back() == '\t')) mot.pop_back();
    if (!mot.empty()) mots.push_back(mot);
    mot.clear();
    bMot = false;
  };
  for (const char* p = pszArguments != nullptr ? pszArguments : ""; *p; ++p) {
    char c = *p;
    if (c == '"' && (p == pszArguments || p[-1] != '\\')) {
      bGroupe = !bGroupe;
      bMot = true;
      continue;
    }
    if (!bGroupe && (c == ' ' || c == '\t' || c == '\n' || c == '\r')) {
      if (bMot) termine();
      continue;
    }
    mot += c;
    bMot = true;
  }
  if (bMot) termine();
  return mots;
}

bool CreateProcess(const char* pszProgramme, const char* pszArguments, const std::vector<std::string>& vEnvironnement,
                   STLancement* pst) {
  *pst = STLancement{};
  // Everything the child needs is made before fork: between fork and exec
  // a child of a threaded program may only make system calls.
  std::vector<std::string> mots = DecoupeArguments(pszArguments);
  std::vector<char*> argv;
  argv.push_back(const_cast<char*>(pszProgramme));
  for (auto& m : mots) argv.push_back(m.data());
  argv.push_back(nullptr);
  std::vector<char*> envp;
  for (const auto& s : vEnvironnement) envp.push_back(const_cast<char*>(s.c_str()));
  envp.push_back(nullptr);
  // A pipe closed by a successful exec carries the child's errno otherwise.
  int tube[2];
  if (pipe2(tube, O_CLOEXEC) != 0) return false;
  const pid_t pid = fork();
  if (pid < 0) {
    const int nErreur = errno;
    close(tube[0]);
    close(tube[1]);
    errno = nErreur;
    return false;
  }
  if (pid == 0) {
    close(tube[0]);
    execve(pszProgramme, argv.data(), envp.data());
    int nErreur = errno;
    ssize_t ignore = write(tube[1], &nErreur, sizeof nErreur);
    (void)ignore;
    _exit(255);
  }
  close(tube[1]);
  pst->pid = pid;
  // Without a pidfd (an older system) the child is followed by its identifier.
  pst->fdPid = static_cast<int>(syscall(SYS_pidfd_open, pid, 0));
  int nErreurFils = 0;
  ssize_t lu;
  while ((lu = read(tube[0], &nErreurFils, sizeof nErreurFils)) < 0 && errno == EINTR) {
  }
  close(tube[0]);
  int nCode = 0;
  if (lu == static_cast<ssize_t>(sizeof nErreurFils)) {
    nAttendEnfant(*pst, true, &nCode);
    FermePidfd(pst);
    errno = nErreurFils;
    return false;
  }
  const long long llFin = llMaintenantMs() + ATTENTE_DEMARRAGE_MS;
  for (;;) {
    const int r = nAttendEnfant(*pst, false, &nCode);
    if (r < 0) {
      const int nErreur = errno;
      FermePidfd(pst);
      errno = nErreur;
      return false;
    }
    if (r > 0) {
      FermePidfd(pst);
      if (nCode == 255) {
        errno = ENOENT;
        return false;
      }
      pst->nCode = nCode;
      return true;
    }
    const long long llReste = llFin - llMaintenantMs();
    if (llReste <= 0) break;
    if (pst->fdPid >= 0) {
      pollfd p{pst->fdPid, POLLIN, 0};
      poll(&p, 1, static_cast<int>(llReste));  // readable once the child ends
    } else {
      Dors(std::min(llReste, PAS_SANS_PIDFD_MS));
    }
  }
  pst->bEnCours = true;
  return true;
}

bool WaitPid(STLancement* pst) {
  int nCode = 0;
  const int r = nAttendEnfant(*pst, true, &nCode);
  const int nErreur = errno;
  FermePidfd(pst);
  if (r <= 0) {
    errno = nErreur;
    return false;
  }
  pst->nCode = nCode;
  pst->bEnCours = false;
  return true;
}
