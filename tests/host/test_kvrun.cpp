// kvrun as a user runs it: one call from the shell, scripts, discovery, and
// what a user sees when the input is wrong.
#include <dirent.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <pty.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <random>
#include <string>
#include <vector>

namespace {

struct Run {
  int status = -1;
  std::string out, err;
};

// Runs kvrun with these arguments (no shell), LANG unset; prepare, when
// given, runs in the child first.
Run kvrun(const std::vector<std::string>& args, const std::function<void()>& prepare = {}) {
  int out[2], err[2];
  if (pipe(out) != 0 || pipe(err) != 0) return {};
  pid_t pid = fork();
  if (pid == 0) {
    dup2(out[1], 1);
    dup2(err[1], 2);
    close(out[0]);
    close(err[0]);
    std::vector<char*> argv;
    std::string exe = std::string(KV_BINARY_DIR) + "/bin/kvrun";
    argv.push_back(exe.data());
    for (const auto& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    unsetenv("LANG");
    setenv("TZ", "UTC", 1);  // results that depend on the zone are read in UTC
    if (prepare) prepare();
    execv(exe.c_str(), argv.data());
    _exit(127);
  }
  close(out[1]);
  close(err[1]);
  Run r;
  auto drain = [](int fd, std::string* to) {
    char buf[4096];
    ssize_t n;
    while ((n = read(fd, buf, sizeof buf)) > 0) to->append(buf, static_cast<std::size_t>(n));
    close(fd);
  };
  drain(out[0], &r.out);
  drain(err[0], &r.err);
  int status = 0;
  waitpid(pid, &status, 0);
  r.status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  return r;
}

std::string scriptFile(const std::string& code) {
  std::string path = std::string(KV_BINARY_DIR) + "/test_script_" + std::to_string(getpid()) + ".lua";
  std::ofstream(path) << code;
  return path;
}

TEST(Kvrun, NamesEitherWayWithOrWithoutAccents) {
  for (const char* name : {"Phonétique", "Phonetique", "PHONÉTIQUE", "phonetic", "Phonetic"}) {
    auto r = kvrun({name, "Pharmacie"});
    EXPECT_EQ(r.status, 0) << name << r.err;
    EXPECT_EQ(r.out, "FARMASI\n") << name;
  }
}

TEST(Kvrun, ValuesInAndOut) {
  struct Case {
    std::vector<std::string> args;
    std::string out;
  };
  const Case cases[] = {
      {{"EstPair", "4"}, "1\n"},
      {{"IsOdd", "4"}, "0\n"},
      {{"RVB", "1", "2", "3"}, "197121\n"},
      {{"RGB", "0x10", "0", "0"}, "16\n"},
      {{"RVB", "foLectureEcriture+foCréation", "0", "0"}, "515\n"},
      {{"RVB", "fpFin|1", "0", "0"}, "3\n"},
      {{"Hasard", "1"}, "1\n"},
      {{"Max", "1.5", "-2", "10"}, "10\n"},
      {{"Max", "pomme", "abricot"}, "pomme\n"},
      {{"Min", "str:10", "9"}, "10\n"},
      {{"--hex", "Phonetique", "bonjour"}, "424f4a4f5552\n"},
      {{"Phonetique", "Mézon"}, "MÉZO\n"},
      {{"--raw", "Phonetique", "Mézon"}, "M\xC9ZO\n"},
      {{"EstNumerique", "12.5"}, "1\n"},
      {{"EstNumerique", "douze"}, "0\n"},
      {{"EstNumerique", "hex:3132"}, "0\n"},
      {{"ZigouigouiARoulette", "-7"}, "24053\n"},
      {{"--lang", "fr", "DateVersChaîne", "20240105", "JJJJ JJ MMMM AAAA"}, "vendredi 05 janvier 2024\n"},
      {{"DateHeureUTCVersLocale", "20240601120000000"}, "20240601120000000\n"},
      {{"ChaineVersDuree", "1010101001", "0"}, "1010101001\n"},
      {{"DureeVersChaine", "90061001", "1"}, "101010100\n"},
  };
  for (const auto& c : cases) {
    auto r = kvrun(c.args);
    EXPECT_EQ(r.status, 0) << c.args[0] << ": " << r.err;
    EXPECT_EQ(r.out, c.out) << c.args[0] << " " << c.args[1];
  }
  auto real = kvrun({"Hasard"});
  EXPECT_EQ(real.status, 0);
  EXPECT_NE(real.out.find('.'), std::string::npos) << real.out;
}

TEST(Kvrun, LibraryErrorsInBothLanguages) {
  auto fr = kvrun({"--lang", "fr", "TSL", "361", "0", "0"});
  EXPECT_EQ(fr.status, 1);
  EXPECT_EQ(fr.out, "0\n") << "the failure value is still printed";
  EXPECT_EQ(fr.err, "kvrun: error 80202: Teinte invalide : elle doit être comprise entre 0 et 360.\n");
  auto en = kvrun({"--lang", "en", "HSL", "361", "0", "0"});
  EXPECT_EQ(en.status, 1);
  EXPECT_EQ(en.err, "kvrun: error 80202: Invalid hue: it must be between 0 and 360.\n");
  auto bound = kvrun({"Hasard", "0"});
  EXPECT_EQ(bound.status, 1);
  EXPECT_NE(bound.err.find("error 80260"), std::string::npos);
}

// Under a file-size limit, kvrun ignores SIGXFSZ: a write past the limit
// fails with EFBIG, the library reports it and removes its temporary file.
TEST(Kvrun, AFileSizeLimitFailsTheWriteInsteadOfKilling) {
  char modele[] = "/tmp/kvrunfsizeXXXXXX";
  ASSERT_NE(mkdtemp(modele), nullptr);
  const std::string dir = modele;
  std::mt19937 g(7);  // incompressible: the compacted file is as large
  std::string octets(200000, '\0');
  for (auto& c : octets) c = static_cast<char>(g());
  std::ofstream(dir + "/big", std::ios::binary) << octets;
  auto limite = [] {
    signal(SIGXFSZ, SIG_DFL);
    struct rlimit r {65536, 65536};
    setrlimit(RLIMIT_FSIZE, &r);
  };
  for (const char* function : {"fCopieFichier", "fCompacte", "fSauveTexte"}) {
    const std::string source = function == std::string("fSauveTexte") ? "file:" + dir + "/big" : dir + "/big";
    const std::vector<std::string> args = {function, function == std::string("fSauveTexte") ? dir + "/out" : source,
                                           function == std::string("fSauveTexte") ? source : dir + "/out"};
    auto r = kvrun(args, limite);
    EXPECT_EQ(r.status, 1) << function << ": " << r.err;
    EXPECT_EQ(r.err.rfind("kvrun: ", 0), 0u) << function << ": " << r.err;
    std::vector<std::string> names;
    if (DIR* d = opendir(dir.c_str())) {
      while (dirent* e = readdir(d)) {
        if (e->d_name[0] != '.' || (e->d_name[1] != '\0' && e->d_name[1] != '.')) names.push_back(e->d_name);
      }
      closedir(d);
    }
    EXPECT_EQ(names, std::vector<std::string>{"big"}) << function;
  }
  unlink((dir + "/big").c_str());
  rmdir(dir.c_str());
}

TEST(Kvrun, ErrorsWithoutALibraryNumberShowTheSystemError) {
  auto r = kvrun({"--lang", "en", "fOuvre", "/no/such", "0"});
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.out, "-1\n");
  EXPECT_EQ(r.err, "kvrun: system error ENOENT (No such file or directory): Cannot open file </no/such>.\n");
  auto lua = kvrun({"-e", "kv.fOuvre('/no/such', 0) local e = kv.error() print(e.code, e.syscode, e.sysname, e.sysmessage)"});
  EXPECT_EQ(lua.out, "0\t2\tENOENT\tNo such file or directory\n") << lua.err;
  // A numbered error with a system error shows both.
  auto both = kvrun({"--lang", "en", "fRepSupprime", "/proc/sys", "1"});
  EXPECT_EQ(both.status, 1);
  EXPECT_EQ(both.err.rfind("kvrun: error 80063: Cannot delete directory </proc/sys>: ", 0), 0u) << both.err;
  EXPECT_NE(both.err.find(" [E"), std::string::npos) << "the system error by name: " << both.err;
}

// Each call raises an error that its help lists (the help names every error
// that the method and the helpers it reaches can raise).
TEST(KvrunHelp, TheErrorsACallRaisesAreInItsHelp) {
  struct Case {
    std::vector<std::string> call;
    std::string code;
  };
  const Case cases[] = {
      {{"fRepCopie", "", "x"}, "80059"},
      {{"DateVersEntier", "20241301"}, "80125"},
      {{"Crypte", "abc", "", "1"}, "80282"},
      {{"fCompacte", "/no/such", "x"}, "80300"},
      {{"TSL", "400", "0", "0"}, "80202"},
      {{"MemEnCours", "nolist"}, "80261"},  // raised in a macro
  };
  for (const auto& c : cases) {
    std::vector<std::string> args = {"--lang", "en"};
    args.insert(args.end(), c.call.begin(), c.call.end());
    auto r = kvrun(args);
    EXPECT_EQ(r.status, 1) << c.call[0];
    EXPECT_NE(r.err.find("error " + c.code + ":"), std::string::npos) << c.call[0] << ": " << r.err;
    auto help = kvrun({"--lang", "en", "--help", c.call[0]});
    EXPECT_NE(help.out.find("\n  " + c.code + "  "), std::string::npos) << c.call[0] << ":\n" << help.out;
  }
  // A validity test fills an error object it does not raise: nothing listed.
  auto valid = kvrun({"--lang", "en", "--help", "DateValide"});
  EXPECT_EQ(valid.out.find("Errors:"), std::string::npos) << valid.out;
}

TEST(Kvrun, JsonForScripts) {
  struct Case {
    std::vector<std::string> args;
    int status;
    std::string json;
  };
  const Case cases[] = {
      {{"Phonetique", "Pharmacie"}, 0,
       R"({"function": "Phonétique", "english": "Phonetic", "result": "FARMASI", "type": "string", "references": [], "error": null})"},
      {{"EstPair", "4"}, 0, R"("result": true, "type": "boolean")"},
      {{"RVB", "1", "2", "3"}, 0, R"("result": 197121, "type": "integer")"},
      {{"Max", "1.5", "-2"}, 0, R"("result": 1.5, "type": "real")"},
      {{"Phonetique", "Mézon"}, 0, R"("result": "MÉZO")"},
      {{"--lang", "en", "TSL", "400", "0", "0"}, 1,
       R"("result": 0, "type": "integer", "references": [], "error": {"code": 80202, "level": 3, "message": "Invalid hue: it must be between 0 and 360.", "system": null}})"},
      {{"--lang", "fr", "TSL", "400", "0", "0"}, 1, R"("message": "Teinte invalide : elle doit être comprise entre 0 et 360.")"},
      {{"--lang", "en", "fOuvre", "/no/such", "0"}, 1,
       R"("error": {"code": 0, "level": 2, "message": "Cannot open file </no/such>.", "system": {"code": 2, "name": "ENOENT", "message": "No such file or directory"}}})"},
      // Bytes that are not text: base 64, or hexadecimal with --hex.
      {{"Compresse", "hex:00ff00ff"}, 0, R"("result": {"base64": ")"},
      {{"--hex", "Compresse", "hex:00ff00ff"}, 0, R"("result": {"hex": ")"},
      {{"Compresse", "str:"}, 0, R"("type": "buffer")"},
      // A by-reference argument: its value after the call.
      {{"eVersEuro", "655.957", "1", "2", "0"}, 0, R"("references": [{"argument": 4, "value": )"},
  };
  for (const auto& c : cases) {
    std::vector<std::string> args = {"--json"};
    args.insert(args.end(), c.args.begin(), c.args.end());
    auto r = kvrun(args);
    EXPECT_EQ(r.status, c.status) << c.args[0] << r.err;
    EXPECT_NE(r.out.find(c.json), std::string::npos) << c.args[0] << ": " << r.out;
    EXPECT_EQ(r.out.find('\n'), r.out.size() - 1) << "one line, ended: " << r.out;
    EXPECT_TRUE(r.err.empty()) << r.err;
  }
  auto help = kvrun({"--help"});
  EXPECT_NE(help.out.find("--json"), std::string::npos);
}

TEST(Kvrun, UsageErrorsAreClearAndNeverCrash) {
  struct Case {
    std::vector<std::string> args;
    std::string message;
  };
  const Case cases[] = {
      {{"NoSuchFunction"}, "unknown function"},
      {{""}, "unknown function"},
      {{"TSL", "1"}, "no syntax of TSL / HSL accepts 1 argument"},
      {{"RVB", "x", "0", "0"}, "neither a number nor an integer constant"},
      {{"RVB", "99999999999", "0", "0"}, "no syntax"},
      {{"Max"}, "no syntax"},
      {{"VersPressePapier", "x"}, "not available on this platform"},
      {{"--lang", "de", "TSL"}, "--lang takes fr or en"},
      {{"--lang"}, "--lang needs"},
      {{"-e"}, "-e needs"},
      {{"--bogus"}, "unknown option"},
      {{"EstNumerique", "hex:zz"}, "hexadecimal"},
      {{"EstNumerique", "file:/nonexistent/file"}, "cannot read"},
  };
  for (const auto& c : cases) {
    auto r = kvrun(c.args);
    EXPECT_EQ(r.status, 2) << c.args[0] << ": " << r.err;
    EXPECT_NE(r.err.find(c.message), std::string::npos) << c.args[0] << ": " << r.err;
  }
  auto syntaxes = kvrun({"TSL"});
  EXPECT_NE(syntaxes.err.find("TSL(integer, integer, integer) -> integer"), std::string::npos) << syntaxes.err;
  auto redirected = kvrun({"_zipOuvre_old", "a.zip", ""});
  EXPECT_EQ(redirected.status, 1);
  EXPECT_NE(redirected.err.find("library 42"), std::string::npos);
}

TEST(Kvrun, Discovery) {
  auto list = kvrun({"--list"});
  ASSERT_EQ(list.status, 0);
  std::size_t rows = 0, pos = 0;
  std::size_t groups = 0;
  while ((pos = list.out.find('\n', pos)) != std::string::npos) {
    ++pos;
    if (pos < list.out.size() && list.out[pos] == '[') ++groups;
    if (pos < list.out.size() && list.out[pos] != ' ' && list.out[pos] != '[') ++rows;
  }
  EXPECT_EQ(rows, 391u) << "one header line per row of the table";
  EXPECT_EQ(groups, 9u) << "frame, dates, numbers, files, compression, crypto, memlists, system, misc, then the rest";
  EXPECT_EQ(list.out.rfind("[Component frame]\n", 0), 0u) << list.out.substr(0, 200);
  auto files = list.out.find("[Files]\n"), open = list.out.find("\nfOuvre / fOpen\n");
  EXPECT_LT(files, open);
  EXPECT_LT(open, list.out.find("[Compression]\n")) << "fOuvre is listed with the files";
  EXPECT_NE(list.out.find("[Not available here]"), std::string::npos);
  auto some = kvrun({"--list", "couleur*"});
  EXPECT_NE(some.out.find("CouleurLuminosité / ColorLightness"), std::string::npos);
  EXPECT_EQ(some.out.find("Hasard"), std::string::npos);
  auto constants = kvrun({"--constants", "foLect*"});
  EXPECT_NE(constants.out.find("foLectureEcriture / foReadWrite = 3"), std::string::npos) << constants.out;
  auto help = kvrun({"--help"});
  EXPECT_EQ(help.status, 0);
  EXPECT_NE(help.out.find("usage:"), std::string::npos);
  auto identity = kvrun({});
  EXPECT_NE(identity.out.find("391 functions"), std::string::npos);
}

TEST(KvrunHelp, OneFunctionOfEachSubsystemInEitherLanguage) {
  struct Case {
    std::vector<std::string> args;
    std::vector<std::string> shown;
  };
  const Case cases[] = {
      {{"--lang", "fr", "--help", "fOuvre"},
       {"fOuvre / fOpen\n  Ouvre un fichier", "fOuvre(nom: string, mode: integer) -> integer", "Constantes :",
        "foLectureEcriture / foReadWrite = 3"}},
      {{"--lang", "en", "--help", "fopen"}, {"  Opens a file", "Constants:", "Errors:"}},
      {{"--lang", "en", "--help", "HeureVersChaine"}, {"TimeToString(time: string, mask: string)"}},
      {{"--lang", "fr", "--help", "HeureVersChaine"}, {"HeureVersChaîne(heure: string, masque: string)"}},
      // Parameter names in the language of the help.
      {{"--lang", "en", "--help", "DateVersEntier"}, {"DateToInteger(date: string, dayOfYear: "}},
      {{"--lang", "fr", "--help", "DateVersEntier"}, {"DateVersEntier(date: string, jourDeLAnnée: "}},
      {{"--lang", "en", "--help", "NumériqueVersChaîne"}, {"NumToString(value: ", ", format: string)"}},
      {{"--lang", "en", "--help", "ChaîneVersDate"}, {"StringToDate(text: string, mask: string)"}},
      {{"--lang", "en", "--help", "fOuvre"}, {"fOpen(name: string, mode: integer) -> integer"}},
      {{"--lang", "en", "--help", "eVersEuro"}, {"Converts an amount of a currency into euros"}},
      {{"--lang", "en", "--help", "fCompacte"}, {"80305  ", "Errors:"}},
      {{"--lang", "fr", "--help", "Crypte"}, {"Compresse, chiffre et code", "crypteRapide"}},
      {{"--lang", "en", "--help", "MemAjoute"}, {"Adds a value, with its key, to a memory list."}},
      {{"--lang", "en", "--help", "LanceAppli"}, {"Runs a program", "exeBloquant"}},
      {{"--lang", "en", "--help", "TSL"}, {"80202  Invalid hue: it must be between 0 and 360."}},
      {{"--lang", "en", "--help", "NuméroDeSemaine"}, {"Not the ISO week: 2021-01-03 gives 0, 2024-12-30 gives 53."}},
      {{"--lang", "fr", "--help", "TSL"}, {"80202  Teinte invalide : elle doit être comprise entre 0 et 360."}},
      {{"--lang", "en", "--help", "_zipOuvre_old"}, {"handed to library 42"}},
      {{"--lang", "en", "--help", "VersPressePapier"}, {"(Windows only)", "[not available here]"}},
  };
  for (const auto& c : cases) {
    auto r = kvrun(c.args);
    EXPECT_EQ(r.status, 0) << c.args[3] << ": " << r.err;
    for (const auto& text : c.shown) EXPECT_NE(r.out.find(text), std::string::npos) << c.args[3] << ": " << r.out;
  }
  EXPECT_EQ(kvrun({"--help", "NoSuchFunction"}).status, 2);
}

TEST(KvrunHelp, CompletionForBash) {
  auto r = kvrun({"--completion", "bash"});
  EXPECT_EQ(r.status, 0);
  for (const char* text : {"complete -o default -F _kvrun kvrun", " fOuvre ", " fOpen ", " foLectureEcriture ", " Phonétique "})
    EXPECT_NE(r.out.find(text), std::string::npos) << text;
  EXPECT_EQ(kvrun({"--completion", "tcsh"}).status, 2);
}

// gentables on a copy of the row files with one fault each: the build stops
// and names it.
TEST(KvrunHelp, TheBuildRefusesMissingOrUnknownHelpData) {
  struct Case {
    std::string file;          // the copy changed
    std::string dropPrefix;    // its line starting so is left out
    std::string extraLine;     // or this line is added
    std::string message;
  };
  const Case cases[] = {
      {"descriptions.tsv", "fOpen\t", "", "no description of 'fOpen'"},
      {"descriptions.tsv", "", "NoSuchRow\t-\tx\ty", "'NoSuchRow' is no function of the tables"},
      {"descriptions.tsv", "fOpen\t", "fOpen\tfo*,foNoSuch\tx\ty", "'foNoSuch' (fOpen) names no constant"},
      {"parametres.tsv", "jourDeLAnnee\t", "", "no names for the parameter 'jourDeLAnnee'"},
      {"parametres.tsv", "", "zzz\tzzz\tzzz", "'zzz' names no parameter"},
  };
  std::string tables = std::string(KV_SOURCE_DIR) + "/src/frame/tables";
  std::string entries;
  for (const char* sub : {"dates", "numbers", "files", "compression", "crypto", "memlists", "system", "misc"})
    entries += " " + std::string(KV_SOURCE_DIR) + "/src/" + sub + "/entrees.tsv";
  for (const auto& c : cases) {
    std::string dir = std::string(KV_BINARY_DIR) + "/test_helpdata_" + std::to_string(getpid());
    mkdir(dir.c_str(), 0777);
    for (const char* name : {"fonctions.tsv", "constantes.tsv", "variables.tsv", "entrees.tsv", "descriptions.tsv",
                             "parametres.tsv", "adresses.tsv"}) {
      std::ifstream in(tables + "/" + name, std::ios::binary);
      std::ofstream out(dir + "/" + name, std::ios::binary);
      std::string line;
      while (std::getline(in, line)) {
        if (name != c.file || c.dropPrefix.empty() || line.rfind(c.dropPrefix, 0) != 0) out << line << "\n";
      }
      if (name == c.file && !c.extraLine.empty()) out << c.extraLine << "\n";
    }
    std::string command = std::string(KV_BINARY_DIR) + "/bin/gentables " + dir + " " + dir + entries + " 2>" + dir + "/err";
    EXPECT_NE(std::system(command.c_str()), 0) << c.message;
    std::ifstream err(dir + "/err");
    std::string message((std::istreambuf_iterator<char>(err)), std::istreambuf_iterator<char>());
    EXPECT_NE(message.find(c.message), std::string::npos) << message;
    std::system(("rm -rf " + dir).c_str());
  }
}

TEST(KvrunScripts, TableKvAndErrorsAsValues) {
  auto r = kvrun({"-e", R"(
    print(kv.Hasard(1), kv.Random(5, 5), kv.EstPair(2), kv.RGB(1, 0, 0))
    print(kv["Phonétique"]("Thomas"), kv.PHONETIQUE("Bonne"))
    print(kv.Max(1, 2.5, -3), kv.Min("b", "a"))
    print(kv.foLectureEcriture, kv.foReadWrite + kv.foCreation, kv.exeNom)
    assert(kv.error() == nil)
    print(kv.TSL(400, 0, 0), kv.error().code, kv.error().level)
    print(kv.EstNumerique(kv.buffer("12")), kv.EstNumerique("12"))
    kv["Service.Type"] = 272
    kv["Service.Description"] = "desc"
    print(kv["Service.Type"], kv["Service.Description"])
  )"});
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out,
            "1\t5\ttrue\t1\n"
            "TOMA\tBON\n"
            "2.5\ta\n"
            "3\t515\tNom\n"
            "0\t80202\t3\n"
            "false\ttrue\n"
            "272\tdesc\n");
}

TEST(KvrunScripts, ScriptFilesArgumentsAndTracebacks) {
  std::string path = scriptFile("print(arg[0] ~= nil, arg[1], #arg)\nprint(kv.toutf8(kv.fromutf8('é')) == 'é')\n");
  auto r = kvrun({path, "un", "deux"});
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out, "true\tun\t2\ntrue\n");
  std::remove(path.c_str());
  auto boom = kvrun({"-e", "local function f() error('boom') end\nf()"});
  EXPECT_EQ(boom.status, 1);
  EXPECT_NE(boom.err.find("boom"), std::string::npos);
  EXPECT_NE(boom.err.find("stack traceback"), std::string::npos);
  struct Case {
    const char* code;
    const char* message;
  };
  for (auto c : {Case{"kv.NoSuchThing()", "no function, constant or variable named 'NoSuchThing'"},
                 Case{"kv.TSL('a', 1, 2)", "no syntax accepts these arguments"},
                 Case{"kv.VersPressePapier('x')", "not available on this platform"},
                 Case{"kv.Unknown = 1", "is not a variable"},
                 Case{"kv['Service.Type'] = 'text'", "takes an integer"},
                 Case{"kv.sysEteint()", "has no value on this platform"},
                 Case{"syntax error here", "syntax error"}}) {
    auto e = kvrun({"-e", c.code});
    EXPECT_EQ(e.status, 1) << c.code;
    EXPECT_NE(e.err.find(c.message), std::string::npos) << c.code << ": " << e.err;
  }
}

TEST(KvrunScripts, LibraryCallsInsideCallbacksAtAnyDepth) {
  // A callback calls the library, once plainly and once with a function
  // that takes a callback itself; the outer listing keeps its count, its
  // result and its error state.
  std::string dir = std::string(KV_BINARY_DIR) + "/test_nested_" + std::to_string(getpid());
  auto r = kvrun({"-e", "local d = '" + dir + "'" + R"(
    kv.fRepCree(d)
    kv.fSauveTexte(d .. "/a", "x")
    kv.fSauveTexte(d .. "/b", "y")
    print(kv.fListeFichier(d .. "/*", function() kv.DateValide("20240101") return true end))
    local inner = 0
    print(kv.fListeFichier(d .. "/*", function(rep, nom)
      inner = inner + kv.fListeFichier(rep .. "*", function(r2, n2) return kv.Phonetique(n2) ~= nil end)
      kv.TSL(400, 0, 0)  -- an error inside the callback
      return true
    end), inner, kv.error() == nil)
    local names = {}
    kv.fListeFichier(d .. "/*", function(rep, nom) kv.fSupprime(rep .. nom) names[#names + 1] = nom return true end)
    table.sort(names)
    print(table.concat(names, " "), kv.fFichierExiste(d .. "/a"), kv.fRepSupprime(d))
  )"});
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out, "2\n2\t4\ttrue\na b\tfalse\ttrue\n") << r.err;
}

TEST(KvrunScripts, NaNIsNoNumberForTheLibrary) {
  // Refused wherever a Lua number becomes a currency, a duration or an
  // integer, as infinities are.
  for (const char* code : {"kv.eVersEuro(0/0)", "kv.eVersEuro(1/0)", "kv.eVersEuro(kv.var(0/0))",
                           "kv.DureeVersChaine(0/0, 1)", "kv.Hasard(0/0)", "kv.RVB(0/0, 0, 0)"}) {
    auto r = kvrun({"-e", std::string("print(") + code + ")"});
    EXPECT_EQ(r.status, 1) << code << " printed " << r.out;
    EXPECT_TRUE(r.err.find("not a currency amount") != std::string::npos ||
                r.err.find("no syntax accepts") != std::string::npos)
        << code << ": " << r.err;
  }
  auto shell = kvrun({"eVersEuro", "nan"});
  EXPECT_NE(shell.status, 0) << shell.out;
}

TEST(KvrunScripts, StringsAndBuffersChooseTheSameSyntaxEverywhere) {
  // A plain string takes the string syntax (the frame says "source was a
  // string"), kv.buffer and hex: the buffer syntax, from Lua and the shell alike.
  auto lua = kvrun({"-e", R"(print(kv.Compresse("abc"):byte(1), kv.Compresse(kv.buffer("abc")):byte(1),
                              kv.Max(9, 10), kv.Max("9", "10"), kv.Paques(2024), kv.Paques("2024")))"});
  EXPECT_EQ(lua.status, 0) << lua.err;
  EXPECT_EQ(lua.out, "1\t0\t10.0\t9\t20240331\t20240331\n");
  auto text = kvrun({"--hex", "Compresse", "abc"});
  auto bytes = kvrun({"--hex", "Compresse", "hex:616263"});
  EXPECT_EQ(text.out.substr(0, 2), "01") << text.err;
  EXPECT_EQ(bytes.out.substr(0, 2), "00") << bytes.err;
}

// Runs kvrun on a pseudo-terminal (stdout and stderr both go to it);
// `seen` is called with the output so far each time some arrives.
Run onTerminal(const std::vector<std::string>& args, const std::function<void(pid_t, const std::string&)>& seen = {}) {
  int master = -1;
  pid_t pid = forkpty(&master, nullptr, nullptr, nullptr);
  if (pid < 0) return {};
  if (pid == 0) {
    std::vector<char*> argv;
    std::string exe = std::string(KV_BINARY_DIR) + "/bin/kvrun";
    argv.push_back(exe.data());
    for (const auto& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    unsetenv("LANG");
    execv(exe.c_str(), argv.data());
    _exit(127);
  }
  Run r;
  char buf[4096];
  ssize_t n;
  while ((n = read(master, buf, sizeof buf)) > 0) {  // EIO once the child has gone
    r.out.append(buf, static_cast<std::size_t>(n));
    if (seen) seen(pid, r.out);
  }
  close(master);
  int status = 0;
  waitpid(pid, &status, 0);
  r.status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  return r;
}

// A directory holding one file of `megabytes` of text that compacts slowly
// enough to be watched.
std::string bigFile(const std::string& dir, int megabytes) {
  mkdir(dir.c_str(), 0777);
  std::string path = dir + "/source.txt";
  std::ofstream out(path, std::ios::binary);
  std::string block(1 << 20, ' ');
  std::uint32_t x = 12345;
  for (int m = 0; m < megabytes; ++m) {
    for (auto& c : block) {
      x = x * 1103515245u + 12345u;
      c = static_cast<char>('a' + (x >> 16) % 26);
    }
    out << block;
  }
  return path;
}

TEST(KvrunProgress, ALineOnATerminalNoneElsewhere) {
  std::string dir = std::string(KV_BINARY_DIR) + "/test_progress_" + std::to_string(getpid());
  std::string source = bigFile(dir, 6);
  std::string code = "kv.fCompacte('" + source + "', '" + dir + "/out.lh') print(kv.fRepTaille('" + dir + "'))";
  auto shown = onTerminal({"-e", code});
  EXPECT_EQ(shown.status, 0) << shown.out;
  EXPECT_NE(shown.out.find("\r100%  6.0 MiB of 6.0 MiB"), std::string::npos) << shown.out;
  EXPECT_NE(shown.out.find("MiB/s"), std::string::npos) << shown.out;
  EXPECT_NE(shown.out.find(" entries"), std::string::npos) << "fRepTaille counts entries";
  EXPECT_NE(shown.out.find("\r\x1b[K"), std::string::npos) << "the line is cleared at the end";
  auto quiet = onTerminal({"--quiet", "-e", code});
  EXPECT_EQ(quiet.status, 0);
  EXPECT_EQ(quiet.out.find('%'), std::string::npos) << quiet.out;
  auto piped = kvrun({"-e", code});
  EXPECT_EQ(piped.status, 0);
  EXPECT_TRUE(piped.err.empty()) << piped.err;
  EXPECT_EQ(piped.out.find('\r'), std::string::npos);
  std::remove((dir + "/out.lh").c_str());
  std::remove(source.c_str());
  rmdir(dir.c_str());
}

TEST(KvrunProgress, CtrlCStopsACompactionAndLeavesNoFile) {
  std::string dir = std::string(KV_BINARY_DIR) + "/test_interrupt_" + std::to_string(getpid());
  std::string source = bigFile(dir, 24);
  bool sent = false;
  auto r = onTerminal({"--lang", "en", "fCompacte", source, dir + "/out.lh"}, [&](pid_t pid, const std::string& out) {
    if (!sent && out.find('%') != std::string::npos) {
      sent = true;
      kill(pid, SIGINT);
    }
  });
  EXPECT_TRUE(sent) << r.out;
  EXPECT_EQ(r.status, 1) << r.out;
  EXPECT_NE(r.out.find("error 80305"), std::string::npos) << r.out;
  // Nothing beside the source: no destination, no temporary file.
  std::vector<std::string> names;
  if (DIR* d = opendir(dir.c_str())) {
    while (dirent* e = readdir(d)) {
      if (e->d_name[0] != '.') names.push_back(e->d_name);
    }
    closedir(d);
  }
  EXPECT_EQ(names, std::vector<std::string>{"source.txt"});
  std::remove(source.c_str());
  rmdir(dir.c_str());
}

// kvrun -i on a pseudo-terminal, driven line by line: send() types, and
// expect() waits (up to a minute: emulated machines are slow) for a text
// to appear in what the terminal shows after the last expect.
class Prompt {
public:
  explicit Prompt(const std::string& state, const std::vector<std::string>& options = {"--lang", "en"}) {
    pid_ = forkpty(&master_, nullptr, nullptr, nullptr);
    if (pid_ == 0) {
      std::vector<std::string> args = options;
      args.push_back("-i");
      std::vector<char*> argv;
      std::string exe = std::string(KV_BINARY_DIR) + "/bin/kvrun";
      argv.push_back(exe.data());
      for (auto& a : args) argv.push_back(a.data());
      argv.push_back(nullptr);
      unsetenv("LANG");
      setenv("TERM", "dumb", 1);
      setenv("XDG_STATE_HOME", state.c_str(), 1);
      execv(exe.c_str(), argv.data());
      _exit(127);
    }
  }
  ~Prompt() {
    if (master_ >= 0) close(master_);
    if (pid_ > 0) {
      kill(pid_, SIGKILL);
      waitpid(pid_, nullptr, 0);
    }
  }
  void send(const std::string& keys) { EXPECT_EQ(write(master_, keys.data(), keys.size()), static_cast<ssize_t>(keys.size())); }
  // The output from the last expect up to and including `text`; empty
  // (and a failure) when it does not come.
  std::string expect(const std::string& text) {
    for (int waited = 0; waited < 600; ++waited) {
      auto at = seen_.find(text, from_);
      if (at != std::string::npos) {
        std::string part = seen_.substr(from_, at + text.size() - from_);
        from_ = at + text.size();
        return part;
      }
      pollfd p{master_, POLLIN, 0};
      if (poll(&p, 1, 100) > 0) {
        char buf[4096];
        ssize_t n = read(master_, buf, sizeof buf);
        if (n <= 0) break;
        seen_.append(buf, static_cast<std::size_t>(n));
      }
    }
    ADD_FAILURE() << "never shown: " << text << "\nscreen:\n" << seen_.substr(from_);
    return {};
  }
  // Ctrl-D, then the status.
  int quit() {
    send("\x04");
    std::string rest;
    char buf[4096];
    while (read(master_, buf, sizeof buf) > 0) {
    }
    int status = 0;
    waitpid(pid_, &status, 0);
    pid_ = -1;
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  }

private:
  int master_ = -1;
  pid_t pid_ = -1;
  std::string seen_;
  std::size_t from_ = 0;
};

std::string readText(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

TEST(KvrunPrompt, ErrorsAndValuesReadAsTextAndHelpAtHand) {
  std::string state = std::string(KV_BINARY_DIR) + "/test_prompt_" + std::to_string(getpid());
  Prompt p(state);
  p.expect("kv> ");
  p.send("kv.Phonetique(\"Pharmacie\")\n");
  EXPECT_NE(p.expect("kv> ").find("FARMASI"), std::string::npos);
  // A failing call prints its error after the result, on one line.
  p.send("kv.fCompacte(\"nope\", \"x\")\n");
  std::string failed = p.expect("kv> ");
  EXPECT_NE(failed.find("1\r\n-- error 80300: Cannot open the source file.\r\n"), std::string::npos) << failed;
  p.send("kv.fOuvre(\"/no/such\", 0)\n");
  EXPECT_NE(p.expect("kv> ").find("-- system error ENOENT (No such file or directory): Cannot open file </no/such>."),
            std::string::npos);
  p.send("kv.Phonetique(\"Pharmacie\")\n");
  EXPECT_EQ(p.expect("kv> ").find("--"), std::string::npos) << "a good call says nothing more";
  p.send("kv.fCompacte(\"nope\", \"x\") print(kv.error())\n");
  std::string shown = p.expect("kv> ");
  EXPECT_NE(shown.find("error 80300: Cannot open the source file. (level 2)"), std::string::npos) << shown;
  EXPECT_EQ(shown.find("table: 0x"), std::string::npos) << shown;
  p.send("kv.var(42), kv.var(\"abc\"), kv.buffer(\"ab\"), kv.buffer(\"\\0\\1\")\n");
  shown = p.expect("kv> ");
  EXPECT_NE(shown.find("var integer 42\tvar string \"abc\"\tbuffer of 2 bytes: \"ab\"\tbuffer of 2 bytes: hex 0001"),
            std::string::npos) << shown;
  // kv.help prints what kvrun --help prints.
  p.send("kv.help(\"fCompacte\")\n");
  shown = p.expect("kv> ");
  std::string help = kvrun({"--lang", "en", "--help", "fCompacte"}).out;
  std::string onScreen;
  for (char c : shown) {
    if (c != '\r') onScreen += c;
  }
  EXPECT_NE(onScreen.find(help), std::string::npos) << onScreen << "\n---\n" << help;
  EXPECT_EQ(p.quit(), 0);
  // Scripts are unchanged: no error line.
  auto script = kvrun({"-e", "kv.fCompacte('nope', 'x')"});
  EXPECT_EQ(script.out, "");
  EXPECT_EQ(script.err, "");
  std::system(("rm -rf " + state).c_str());
}

TEST(KvrunPrompt, TabCompletesNamesAndHistoryStays) {
  std::string state = std::string(KV_BINARY_DIR) + "/test_prompt_tab_" + std::to_string(getpid());
  {
    Prompt p(state);
    p.expect("kv> ");
    // Two Tabs list the choices of kv.Ph: the name with and without its
    // accent, and the English name.
    p.send("kv.Ph\t\t");
    std::string choices = p.expect("Phonétique");
    p.expect("kv> kv.Phon");
    for (const char* name : {"kv.Phonetique", "kv.Phonetic"}) EXPECT_NE(choices.find(name), std::string::npos) << choices;
    // One more letter and a Tab complete the French name without accents.
    p.send("etiq\t(\"Pharmacie\")\n");
    EXPECT_NE(p.expect("FARMASI").find("etique(\"Pharmacie\")"), std::string::npos);
    p.expect("kv> ");
    // English names, constant names in an argument list, Lua's globals.
    p.send("kv.fOp\t(\"/no/such\", kv.foLectureEc\t)\n");
    EXPECT_NE(p.expect("kv> ").find("kv.fOpen(\"/no/such\", kv.foLectureEcriture)"), std::string::npos);
    p.send("kv.RVB(\"foLectureEc\t, 0, 0)\n");  // the completion closes the string
    EXPECT_NE(p.expect("kv> ").find("\"foLectureEcriture\", 0, 0)\r\n3\r\n"), std::string::npos);
    p.send("stri\t.up\t(\"x\")\n");
    EXPECT_NE(p.expect("kv> ").find("string.upper(\"x\")\r\nX"), std::string::npos);
    EXPECT_EQ(p.quit(), 0);
  }
  std::string history = readText(state + "/kvrun/history");
  EXPECT_NE(history.find("kv.Phonetique(\"Pharmacie\")\n"), std::string::npos) << history;
  {
    // The next session recalls the last line with the Up arrow.
    Prompt p(state);
    p.expect("kv> ");
    p.send("\x1b[A\n");
    EXPECT_NE(p.expect("kv> ").find("X"), std::string::npos);
    EXPECT_EQ(p.quit(), 0);
  }
  std::system(("rm -rf " + state).c_str());
}

TEST(KvrunScripts, TheTourRuns) {
  auto r = kvrun({std::string(KV_SOURCE_DIR) + "/examples/tour.lua"});
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_NE(r.out.find("FARMASI"), std::string::npos);
  EXPECT_TRUE(r.err.empty()) << r.err;
}

}  // namespace
