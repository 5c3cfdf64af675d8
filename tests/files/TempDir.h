// A scratch directory for one test, removed with everything in it.
#pragma once

#include <dirent.h>
#include <ftw.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

class TempDir {
public:
  TempDir() {
    char modele[] = "/tmp/kvfilesXXXXXX";
    path_ = mkdtemp(modele);
  }
  ~TempDir() {
    nftw(path_.c_str(), [](const char* p, const struct stat*, int, FTW*) { return std::remove(p); }, 16,
         FTW_DEPTH | FTW_PHYS);
  }
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;

  const std::string& path() const { return path_; }
  std::string operator/(const std::string& name) const { return path_ + "/" + name; }

  static void write(const std::string& file, const std::string& bytes) {
    std::ofstream(file, std::ios::binary) << bytes;
  }
  static std::string read(const std::string& file) {
    std::ifstream in(file, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
  }
  static bool exists(const std::string& file) { return access(file.c_str(), F_OK) == 0; }
  // The names this directory holds, sorted ("." and ".." left out).
  std::vector<std::string> names() const {
    std::vector<std::string> v;
    if (DIR* d = opendir(path_.c_str())) {
      while (dirent* e = readdir(d))
        if (std::string n = e->d_name; n != "." && n != "..") v.push_back(n);
      closedir(d);
    }
    std::sort(v.begin(), v.end());
    return v;
  }

private:
  std::string path_;
};
