-- A tour of what kv140std.so can do today, through kvrun's table `kv`.
-- Run it with:  ./kv run examples/tour.lua
--
-- Every function of the library is kv.<French or English name>; accents are
-- optional (kv.Phonetique is kv["Phonétique"]). Text comes back as the
-- library's Windows-1252 bytes: kv.toutf8 makes it printable.

-- Labels are padded by characters, not bytes, so accented labels line up.
local function show(label, value)
  local width = utf8.len(label) or #label
  print("  " .. label .. string.rep(" ", math.max(1, 39 - width)) .. tostring(value))
end

local function section(title)
  print()
  print(title)
  print(string.rep("-", utf8.len(title) or #title))
end

print("kv140std.so, the standard functions of the Korval runtime")

section("Random numbers")
kv.InitHasard(2024)
local draws = {}
for i = 1, 8 do draws[i] = kv.Hasard(6) end
show("eight dice, seed 2024", table.concat(draws, " "))
kv.InitRandom(2024)
show("same seed, same first die", kv.Random(6) == draws[1])
show("a real between 0 and 1", string.format("%.4f", kv.Hasard()))
show("between -10 and 10", kv.Random(-10, 10))

section("Parity and colours")
show("EstPair(42), IsOdd(7)", tostring(kv.EstPair(42)) .. ", " .. tostring(kv.IsOdd(7)))
local orange = kv.RVB(255, 128, 0)
show("RVB(255, 128, 0)", string.format("0x%06X", orange))
show("its hue, saturation, lightness",
     kv.CouleurTeinte(orange) .. "°, " .. kv.ColorSaturation(orange) .. "%, " .. kv["CouleurLuminosité"](orange) .. "%")
show("TSL(240, 100, 50): pure blue", string.format("0x%06X", kv.TSL(240, 100, 50)))
show("the red, green, blue of 0x123456",
     kv.RGBRed(0x123456) .. ", " .. kv.RGBGreen(0x123456) .. ", " .. kv.RGBBlue(0x123456))

section("French phonetic key")
for _, word in ipairs({"Pharmacie", "Farmassie", "Thomas", "Tomat", "Maison", "Mézon"}) do
  show(word, kv.toutf8(kv.Phonetique(kv.fromutf8(word))))
end

section("Smallest and largest (any number of arguments)")
show("Max(3, 9.5, -2, 7)", kv.Max(3.0, 9.5, -2, 7))
show("Min of words", kv.Min("poire", "abricot", "pomme"))
show("EstNumérique('12.5'), ('douze')", tostring(kv.EstNumerique("12.5")) .. ", " .. tostring(kv.IsNumeric("douze")))

section("Errors are values, not Lua errors")
local colour = kv.TSL(400, 50, 50)
local e = kv.error()
show("TSL(400, 50, 50) returns", colour)
show("kv.error().code", e.code)
show("kv.error().message", kv.toutf8(e.message))
kv.EstPair(1)
show("after a good call, kv.error()", tostring(kv.error()))

section("Constants and variables")
show("kv.foLectureEcriture", kv.foLectureEcriture)
show("kv.foCreation + kv.foAjout", kv.foCreation + kv.foAjout)
kv["Service.Type"] = kv.serviceTypeSimple
show("Service.Type after assignment", kv["Service.Type"])

section("Dates, times and durations")
show("today", kv.DateSys() .. ", now " .. kv.HeureSys())
show("DateVersChaîne(20240105, mask)", kv.toutf8(kv["DateVersChaîne"]("20240105", "JJJJ JJ MMMM AAAA")))
show("the system mask", kv.DateToString("20240105", "UseSystemMask"))
-- Month names follow the language: read back the text just shown.
local shown = kv["DateVersChaîne"]("20240105", "JJ MMMM AAAA")
show("reading " .. kv.toutf8(shown) .. " back", kv["ChaîneVersDate"](shown, "JJ MMMM AAAA"))
show("day number of 2000-03-01", kv.DateVersEntier("20000301"))
show("week number of 2024-12-30", kv.WeekNumber("20241230"))
show("13:05:45 as HH:MM AP", kv["HeureVersChaîne"]("13054500", "HH:MM AP"))
show("Easter 2025", kv.Paques(2025))
show("age on 2001-02-28 if born 2000-02-29", kv.Age("20000229", "20010228"))
show("90061001 ms as a duration", kv.DurationToString(90061001, 0))
show("in hundredths", kv["DuréeVersChaîne"](90061001, 1))
show("from 2024-01-01 12:00 to 2024-01-03 13:30", kv.DateHeureDifference("2024010112000000", "2024010313300000"))
show("UTC noon, 2024-07-15, here", kv.DateTimeUTCToLocal("20240715120000000"))
kv.DateVersChaine("20241305")
show("DateVersChaîne(20241305) raises", kv.error().code .. ": " .. kv.toutf8(kv.error().message))

section("Numbers")
show("NumToString(1234567.891, '+8.2fS')", kv.NumToString(1234567.891, "+8.2fS"))
show("NumériqueVersChaîne(2.675, '.2f')", kv["NumériqueVersChaîne"](2.675, ".2f"))
show("255 in hexadecimal", kv.NumToString(255, "X"))
show("TailleVersChaîne(1536)", kv.toutf8(kv["TailleVersChaîne"](1536)))
show("5 GiB", kv.toutf8(kv.LengthToString(5 * 1024 * 1024 * 1024)))

section("Currencies and the euro")
local rounding = kv.var(0)
show("100 FRF in euro, 2 decimals", kv.eVersEuro(100, 1, 2, rounding))
show("its rounding difference", rounding.value)
show("15.24 EUR in FRF", kv.eVersDevise("15.24", 1))
show("100 FRF in DEM (through the euro)", kv.eChangeDevise(100, 1, 2))
show("eTauxDeChange(2), eNomDevise(2)", kv.eTauxDeChange(2) .. " " .. kv.eNomDevise(2))
kv.eInitDevise(2, "DEM", 2148)
show("eInitDevise(2, 'DEM', 2148)", kv.error().code .. " " .. kv.toutf8(kv.error().message))

section("Memory lists")
kv.MemCree("Fruits")
for i, name in ipairs({"pomme", "abricot", "poire", "cerise"}) do kv.MemAjoute("Fruits", name, i) end
kv.MemTri("Fruits", true)
local sorted = {}
local value = kv.MemPremier("Fruits")
while not kv.MemEnDehors("Fruits") do
  sorted[#sorted + 1] = kv.MemValCle("Fruits") .. "=" .. value
  value = kv.MemSuivant("Fruits")
end
show("sorted by key", table.concat(sorted, ", "))
show("MemRecherche('poire')", kv.MemRecherche("Fruits", "poire"))
show("MemOccurrence", kv.MemOccurrence("Fruits"))

section("Obsolete functions are handed to other libraries")
kv._zipOuvre_old("archive.zip", "")
show("_zipOuvre_old", kv.toutf8(kv.error().message))

section("Checksums")
show("sCalculeCrc32('123456789') (hex)", string.format("%08X", kv.sCalculeCrc32(kv.buffer("123456789")) & 0xFFFFFFFF))
local part = kv.sCalculeCrc32(kv.buffer("12345"))
show("continued over '6789' (hex)", string.format("%08X", kv.sComputeCrc32(kv.buffer("6789"), part) & 0xFFFFFFFF))
show("sCalculeCrc16('Bonjour')", kv.sCalculeCrc16("Bonjour"))

section("URL encoding")
show("URLEncode('a b+c')", kv.URLEncode("a b+c"))
show("URLDécode('x+y%21')", kv.URLDecode("x+y%21"))

section("Compression of strings and buffers")
local text = string.rep("Le vieux chat dort près du feu. ", 40)
local packed = kv.Compresse(kv.fromutf8(text))
show("Compresse of " .. #text .. " bytes", #packed .. " bytes")
show("Décompresse gives the text back", tostring(kv.toutf8(kv.Decompresse(packed)) == text))
kv.Decompresse(kv.buffer("\0\3\0\0\0"))
show("Décompresse of a pack method 3", kv.toutf8(kv.error().message))

section("File compaction")
local cdir = (os.getenv("TMPDIR") or "/tmp") .. "/kv_tour_compact_" .. tostring(os.time())
kv.fRepCree(cdir .. "/copie")
local book = cdir .. "/livre.txt"
kv.fSauveTexte(book, string.rep("Il était une fois un fichier bien trop long. ", 2000))
show("fCompacte (0 is success)", kv.fCompacte(book, cdir .. "/livre.kvc"))
show("fTailleDécompacté, fTailleCompacté",
     kv.fTailleDecompacte(cdir .. "/livre.kvc") .. " -> " .. kv.fTailleCompacte(cdir .. "/livre.kvc") .. " bytes")
show("fDécompacte into a directory", kv.fDecompacte(cdir .. "/livre.kvc", cdir .. "/copie/"))
show("the same text back", tostring(kv.fCompare(book, cdir .. "/copie/livre.txt") == 0))
kv.fSauveTexte(cdir .. "/court.txt", "short")
kv.fCompacte(cdir .. "/court.txt", cdir .. "/court.kvc")
show("a short file is stored (-lh0-)", kv.fTailleCompacte(cdir .. "/court.kvc") .. " bytes, with its name")
kv.fSupprime(cdir .. "/court.txt")
show("deleted, then fDécompacte alone", kv.fDecompacte(cdir .. "/court.kvc") .. ": " .. kv.fChargeTexte(cdir .. "/court.txt"))
show("fTailleDécompacté of a plain file", kv.fTailleDecompacte(book))
show("its error", kv.error().code)
kv.fRepSupprime(cdir, kv.frRecursif)

section("Encryption, compression and encoding together")
local secret = kv.Crypte(kv.fromutf8("Rendez-vous à midi"), "mot de passe")
show("Crypte (fast cipher, maker base 64)", secret)
show("Décrypte", kv.toutf8(kv.Decrypte(secret, "mot de passe")))
local rc5 = kv.Crypte(text, "clé", kv.crypteSecurise + kv.compresseLZW, kv.encodeBASE64)
show("RC5 + LZW + base 64 of " .. #text .. " bytes", #rc5 .. " characters")
show("and back", tostring(kv.Decrypte(rc5, "clé", kv.cryptSecure + kv.compressLZW, kv.encodeBASE64) == text))
kv.Crypte("abc", "", kv.crypteRapide)
show("empty password", kv.toutf8(kv.error().message))
local plainFile = (os.getenv("TMPDIR") or "/tmp") .. "/kv_tour_plain_" .. tostring(os.time())
kv.fSauveTexte(plainFile, text)
show("fCrypte (RC5, base 64) to a file", tostring(kv.fCrypte(plainFile, plainFile .. ".b64", "clé", kv.crypteSecurise, kv.encodeBASE64)))
show("its first line", kv.fChargeTexte(plainFile .. ".b64"):match("^[^\r]*"))
show("fDécrypte with a wrong password", tostring(kv.fDecrypte(plainFile .. ".b64", plainFile .. ".out", "faux", kv.crypteSecurise, kv.encodeBASE64)))
show("its message", kv.toutf8(kv.error().message))
kv.fDecrypte(plainFile .. ".b64", plainFile .. ".out", "clé", kv.crypteSecurise, kv.encodeBASE64)
show("with the right one", tostring(kv.fChargeTexte(plainFile .. ".out") == text))
for _, suffix in ipairs({"", ".b64", ".out"}) do os.remove(plainFile .. suffix) end

section("Files through handles")
local dir = os.getenv("TMPDIR") or "/tmp"
local name = dir .. "/kv_tour_" .. tostring(os.time()) .. ".txt"
local h = kv.fCree(name)
show("fCrée gives the first handle", h)
kv.fEcritLigne(h, "first line")
kv.fEcritLigne(h, "2024-05 second")
kv.fEcrit(h, "no terminator")
show("fTaille", kv.fTaille(name))
kv.fPositionne(h, 0, kv.fpDebut)
show("fLitLigne", kv.fLitLigne(h))
local year, month = kv.var(""), kv.var("")
kv.fLitLigne(h, "([0-9]+)-([0-9]+).*", year, month)
show("fLitLigne with a pattern", year.value .. " / " .. month.value)
show("fLitLigne, last line", kv.fLitLigne(h))
show("at the end: character", string.byte(kv.fLitLigne(h)))
show("fPositionne(h, 6, fpDébut), fLit(h, 4)", kv.fPositionne(h, 6, kv.fpDebut) .. ", " .. kv.fLit(h, 4))
show("fBloque, fDébloque", tostring(kv.fBloque(h)) .. ", " .. tostring(kv.fDebloque(h)))
kv.fChangeTaille(h, 5)
show("after fChangeTaille(h, 5): fChargeTexte", kv.fChargeTexte(name))
kv.fFerme(h)
kv.fFerme(h)
show("fFerme twice: error", kv.error().code .. " " .. kv.toutf8(kv.error().message))
kv.fSauveTexte(name, "saved whole")
show("fSauveTexte then fChargeTexte", kv.fChargeTexte(name))
os.remove(name)
local t = kv.fOuvreFichierTemp()
local tname = kv.fNomFichier(t)
kv.fFerme(t)
show("fOuvreFichierTemp: deleted at close", tostring(io.open(tname) == nil))

section("Regular expressions")
local a, b = kv.var(""), kv.var("")
show("VérifieExpressionRégulière('2024-05', ...)",
     tostring(kv.VerifieExpressionReguliere("2024-05", "([0-9]+)-([0-9]+)", a, b)) .. ": " .. a.value .. ", " .. b.value)
show("'abcd' against 'a.c'", tostring(kv.MatchRegularExpression("abcd", "a.c")))
kv.MatchRegularExpression("x", "([")
show("a pattern that does not compile", kv.error().code)

section("INI files")
local ini = (os.getenv("TMPDIR") or "/tmp") .. "/kv_tour_" .. tostring(os.time()) .. ".ini"
kv.INIEcrit("Serveur", "Port", "8080", ini)
kv.INIEcrit("Serveur", "Nom", "korval", ini)
kv.INIEcrit("Client", "Langue", "fr", ini)
show("INILit('Serveur', 'port')", kv.INILit("Serveur", "port", "", ini))
show("keys of Serveur", (kv.INILit("Serveur", "", "", ini):gsub("\r\n", " ")))
show("every section", (kv.INILit("", "", "", ini):gsub("\r\n", " ")))
kv.INIEcrit("Serveur", "Port", 0, ini)
show("after deleting Port", kv.INILit("Serveur", "Port", "(none)", ini))
kv.INIEcrit("Serveur", "Port", 1, ini)
show("a non-zero integer", kv.error().code .. " " .. kv.toutf8(kv.error().message))
os.remove(ini)

section("Files and directories by name")
local base = (os.getenv("TMPDIR") or "/tmp") .. "/kv_tour_dir_" .. tostring(os.time())
show("fRepCrée (all levels)", tostring(kv.fRepCree(base .. "/a/b")))
kv.fSauveTexte(base .. "/a/one file; $x.txt", "contents")
show("fFichierExiste", tostring(kv.fFileExist(base .. "/a/one file; $x.txt")))
show("fCopieFichier into 'c/' (created)", tostring(kv.fCopieFichier(base .. "/a/one file; $x.txt", base .. "/c/")))
show("fCompare of the copy", kv.fCompare(base .. "/a/one file; $x.txt", base .. "/c/one file; $x.txt"))
show("fExtraitChemin(..., fRépertoire + fFichier)", kv.fExtraitChemin("/a/b/c.txt", kv.fRepertoire + kv.fFichier))
show("fSupprime('c/*.txt')", tostring(kv.fSupprime(base .. "/c/*.txt")))
show("fRenomme onto a missing name", tostring(kv.fRenomme(base .. "/a/one file; $x.txt", base .. "/a/renamed.txt")))
show("fFichierTemp('kv') is free", tostring(io.open(kv.fFichierTemp("kv")) == nil))
show("fDateHeure set and read", kv.fDateHeure(base .. "/a/renamed.txt", "20240229123000"))
show("fAttribut after 'R'", kv.fAttribut(base .. "/a/renamed.txt", "R"))
show("fAttributLectureSeule(false) was", tostring(kv.fAttributLectureSeule(base .. "/a/renamed.txt", false)))
show("fRep of the directories in a/", kv.fRep(base .. "/a/*", kv.frRepertoire))
show("fRepTaille (recursive)", kv.fRepTaille(base))
show("fListeFichier as a string", (kv.fListeFichier(base .. "/*"):gsub(base, "…"):gsub("\r\n", " ")))
local lines = {}
local count = kv.fListeFichier(base .. "/*", function(dir, name, change, parameter)
  lines[#lines + 1] = name .. ":" .. change
end, 0)
show("fListeFichier with a procedure", count .. " (" .. table.concat(lines, " ") .. ")")
show("fListeRépertoire", (kv.fListeRepertoire(base):gsub(base, "…"):gsub("\r\n", " ")))
show("fRepSupprime without frRécursif", tostring(kv.fRepSupprime(base)))
show("its error", kv.error().code)
show("fRepSupprime(frRécursif)", tostring(kv.fRepSupprime(base, kv.frRecursif)))

section("Table to text")
local clients = kv.table{columns = {"Name", "City", {title = "Id", visible = false}},
                         rows = {{"Ana", "Lyon", 7}, {"Bob", "Nantes", 8}, {"Cy", "Brest", 9}}}
show("TableVersTexte (title, tab, CR LF)", (kv.TableVersTexte(clients):gsub("\t", " | "):gsub("\r\n", " / ")))
show("rows 3 to 2, no title, ';'", kv.TableVersTexte(clients, kv.taSansTitre, ";", " / ", 3, 2))
show("with the hidden column", kv.TableVersTexte(clients, kv.taAvecColonnesInvisibles, ",", " / "))

section("Programs and services")
show("ExeLance('true', exeValeurRetour)", kv.ExeRun("true", 1, 2))
local services = kv.ServiceListe()
local n = 0
for _ in services:gmatch("[^\r\n]+") do n = n + 1 end
show("services in /etc/init.d", n)
show("ServiceEtat of a missing one", kv.ServiceEtat("no such service"))
show("its error", kv.error().code .. " " .. kv.toutf8(kv.error().message))
show("ServiceInstalle (not on this system)", tostring(kv.ServiceInstalle("x")))
