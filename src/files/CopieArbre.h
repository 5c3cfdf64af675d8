// Copies of several entries at once (the matches of a pattern, the tree of a
// directory) made as one change. Everything is planned first and checked
// (a directory never replaces a file, nor a file a directory, nothing is
// copied onto itself); then every entry is written beside its destination
// under a temporary name, and only once all are complete are they renamed
// into place. A failure anywhere removes what was made and leaves every
// destination as it was. Pipes, sockets and devices are recreated, never
// read; the links met by a recursive copy are recreated as links.
#pragma once

#include <sys/stat.h>
#include <sys/types.h>

#include <set>
#include <string>
#include <vector>

class CXError;

class CCopieArbre {
public:
  // bPreserve: the copy half of a move: modes, owners and times kept, and
  // every file synced before the sources go.
  explicit CCopieArbre(bool bPreserve = false) : m_bPreserve(bPreserve) {}
  ~CCopieArbre() { _Abandonne(); }
  CCopieArbre(const CCopieArbre&) = delete;
  CCopieArbre& operator=(const CCopieArbre&) = delete;

  // Plans the copy of sSource (a full path) to sDestination. Recursive: a
  // directory comes with all it holds and links stay links. Otherwise links
  // are followed and a directory is skipped, or refused when bExplicite
  // (the caller named it). False with the error filled; nothing is written.
  bool bAjoute(const std::string& sSource, const std::string& sDestination, bool bRecursif, bool bExplicite,
               CXError* pclErreur);
  // Plans the copy of every entry of a directory (hidden ones too) into
  // sDestination, which must be a directory or absent.
  bool bAjouteContenu(const std::string& sRepertoire, const std::string& sDestination, bool bRecursif,
                      CXError* pclErreur);
  // Writes everything and puts it in place; false with the error filled,
  // everything as it was before.
  bool bExecute(CXError* pclErreur);

  // sDestination lies in sRepertoire or is sRepertoire (by device and inode,
  // up its existing ancestors): a recursive copy there would copy itself.
  static bool bDansRepertoire(const std::string& sDestination, const std::string& sRepertoire);

private:
  enum eGENRE { GENRE_REPERTOIRE, GENRE_FICHIER, GENRE_LIEN, GENRE_SPECIAL };
  struct STEntree {
    eGENRE eGenre;
    std::string sSource;
    std::string sCible;        // the name replaced (for a file, links followed)
    struct stat64 stSource;
    bool bExiste = false;      // the destination exists: merged or replaced
    struct stat64 stAncien {};  // its status then
    std::string sTemporaire;   // written here, then renamed over sCible
    std::string sSauvegarde;   // a second name of the old file while it is replaced
    mode_t nModeFinal = 0;     // a created directory's mode, set at the end
    bool bFait = false;        // directory created, or temporary made
    bool bPlace = false;       // renamed into place
  };

  bool _bPlanifie(const std::string& sSource, const std::string& sDestination, bool bRecursif, bool bExplicite,
                  CXError* pclErreur);
  bool _bPrepare(STEntree& e, CXError* pclErreur);
  bool _bCopieFichier(STEntree& e, CXError* pclErreur);
  void _Abandonne();

  bool m_bPreserve;
  std::vector<STEntree> m_vEntrees;
  std::set<std::string> m_setCibles;  // two sources never go to one name
};

// The copies and the move built on it. Paths are full and use slashes; each
// is false with the error filled and nothing changed (the directory levels
// created for it removed again).
//
// A pattern's matches into the destination directory (created when
// missing, never a file), or a directory to the destination (into it when
// bDansDestination).
bool COP_bCopie(const std::string& sSource, const std::string& sDestination, bool bDansDestination, bool bRecursif,
                CXError* pclErreur);
// The entries of a directory into another, created when missing.
bool COP_bCopieContenu(const std::string& sRepertoire, const std::string& sDestination, bool bRecursif,
                       CXError* pclErreur);
// A directory moved to the destination, or into it when that is a
// directory: renamed, or across file systems copied whole, synced, and
// only then removed.
bool COP_bDeplace(const std::string& sSource, const std::string& sDestination, CXError* pclErreur);
