// CKVBuffer: a growable byte buffer with a read/write position, typed
// serialisation (little-endian numbers, NUL-terminated texts, placeholders,
// buffers inside buffers) and optional coding of its tail: from the first
// coded byte to the end, the contents can be held packed (LZW or short-string
// blocks) and/or enciphered, and are decoded again as soon as a read or a
// write reaches that region.
//
// Coding and decoding are all-or-nothing: the coded (or decoded) tail is built
// in new storage and only replaces the old one once complete, so an allocation
// failure, a damaged block or an exception thrown part-way leaves the buffer
// exactly as it was.
//
// Pack methods: 0 none, 1 LZW blocks (type 4, or a stored type-0 block when
// coding does not pay), 2 short-string coding (a tail holding a 0 byte, which
// that coding cannot carry, is kept as a stored type-0 block instead).
// Crypt methods: 0 none, 1 the fast cipher, 2 RC5 with 8 rounds, 3 RC5 with
// 16 rounds; any other method has no cipher, and coding such a buffer fails.
#pragma once

#include "abi/TypesBase.h"
#include "core/KVUnknown.h"

namespace kvbuffer {
struct STEtat;
}

class CCompresseur;
class CCrypt;
class CTString;
class IXStream;
struct CDateTimeBase;
struct CDureeBase;

enum eBUFFER_PACKMETHOD : int {
  BUFFER_PACK_AUCUN = 0,
  BUFFER_PACK_LZW = 1,
  BUFFER_PACK_CHAINECOURTE = 2,
};

enum eBUFFER_CRYPTMETHOD : int {
  BUFFER_CRYPT_AUCUN = 0,
  BUFFER_CRYPT_RAPIDE = 1,
  BUFFER_CRYPT_RC5 = 2,
  BUFFER_CRYPT_RC5_16 = 3,
};

// A rectangle, serialised as four 32-bit integers in this order.
struct KVRECT {
  int left, top, right, bottom;
};

class CKVBuffer : public CKVUnknown {
public:
  static constexpr DWORD PAS_DEFAUT = 100;  // default growth step in bytes

  // Construction. dwTaille: initial storage in bytes (nothing used yet);
  // dwPas: growth step (0 takes the default). With a crypt method, the key is
  // derived from pszMotDePasse (null: the all-zero key) or copied from
  // abyCle[16].
  CKVBuffer();
  explicit CKVBuffer(DWORD dwTaille);
  CKVBuffer(eBUFFER_PACKMETHOD ePack, DWORD dwTaille, DWORD dwPas);
  CKVBuffer(eBUFFER_CRYPTMETHOD eCrypt, eBUFFER_PACKMETHOD ePack, DWORD dwTaille, DWORD dwPas,
            const char* pszMotDePasse);
  CKVBuffer(eBUFFER_CRYPTMETHOD eCrypt, eBUFFER_PACKMETHOD ePack, DWORD dwTaille, DWORD dwPas, const BYTE abyCle[16]);
  // Copies the methods, growth step, key and first coded byte, then the
  // decoded contents (position at the start).
  CKVBuffer(const CKVBuffer& autre);
  CKVBuffer& operator=(const CKVBuffer& autre);
  ~CKVBuffer() override;

  // Empties the buffer and gives it dwTaille bytes of storage and the growth
  // step dwPas (0: the default). False when the storage cannot be had (the
  // buffer is then empty without storage).
  bool InitMemoire(DWORD dwTaille, DWORD dwPas);

  // ---- size and position ----

  // Sets the used size to n (new bytes are zeros), decoding first when the
  // change reaches the coded region. The allocation grows by at least the
  // growth step (and by half of itself for large buffers); it shrinks to the
  // exact size only when the space freed reaches the growth step. A position
  // beyond the new end moves to the start. False when storage cannot be had
  // or the tail does not decode (nothing changed).
  bool SetSize(DWORD n);
  // Sets the used size of the coded form (coding the buffer first).
  bool SetCodedSize(DWORD n);
  // Moves the position to lOffset from nOrigine (0 start, 1 current, 2 end).
  // Seek extends the buffer with zeros up to a position beyond the end;
  // SeekNoResize stops at the end. A position before the start is refused
  // (false, position unchanged).
  bool Seek(long lOffset, int nOrigine);
  bool SeekNoResize(long lOffset, int nOrigine);
  DWORD dwGetPos() const { return m_dwPos; }
  // True at or past the end; with n: when fewer than n bytes are left.
  bool bEndOfBuffer() const { return m_dwPos >= m_dwTailleUtile; }
  bool bEndOfBuffer(DWORD n) const { return m_dwPos >= m_dwTailleUtile || m_dwTailleUtile - m_dwPos < n; }
  // Used size as the bytes are now (coded or not).
  DWORD dwGetSizeDirect() const { return m_dwTailleUtile; }
  // Codes (decodes) the buffer, moves the position to the start and returns
  // the used size; 0 when coding (decoding) fails (see bEchec).
  DWORD dwGetCodedSize();
  DWORD dwGetUncodedSize();
  DWORD dwGetAllocatedSize() const { return m_dwTailleAllouee; }
  DWORD dwGetPas() const { return m_dwPas; }
  // Empties the contents (plain, position 0); Clear keeps the storage,
  // ClearAll releases it. Methods, key and first coded byte stay.
  void Clear();
  void ClearAll();
  // Memory footprint estimate: storage + 80, + 28 with a pack object, + 24
  // with a cipher.
  DWORD dwSizeof() const;

  // ---- data ----

  // Writes n bytes at the position, growing the buffer, and advances. False
  // (nothing written) when storage cannot be had or the tail does not decode.
  bool Set(const void* p, DWORD n);
  // Moves n bytes from pclSource's position to this one's (both advance);
  // nothing when the source has fewer than n bytes left or is this buffer.
  bool Set(CKVBuffer* pclSource, DWORD n);
  // Writes n bytes of coded data at the position (coding a plain buffer first
  // when they reach the coded region); the flags that say how the data is
  // coded are set with ChangePackMethod / ChangeCryptMethod.
  bool SetCodedData(const void* p, DWORD n);
  // Copies n bytes from the position and advances; nothing (false, position
  // unchanged) when fewer than n bytes are left.
  bool Get(void* p, DWORD n);
  // Copies up to n bytes from the position and advances; returns the count.
  DWORD dwGet(void* p, DWORD n);
  // Replaces the target's contents (not its methods) with a decoded copy of
  // this buffer's, and the reverse; the position of the receiver goes to the
  // start.
  bool GetAll(CKVBuffer* pclCible);
  bool SetAll(CKVBuffer* pclSource);
  // Moves n bytes from dwDe to dwVers (memmove), growing the buffer when the
  // target passes the end; the position goes to the start. False when the
  // source range passes the end.
  bool MoveData(DWORD dwVers, DWORD dwDe, DWORD n);
  // Writes a text with its terminating 0 (null: the empty text).
  bool SetString(const char* psz);
  // The text at the position: up to its 0, or up to the end of the used size
  // when no 0 comes first (the text then ends there). The position moves past
  // the 0 only when it lies within the used size. Valid until the next change.
  const char* pszGetString();
  const char* pszGetStringANSI() { return pszGetString(); }
  bool SetXCHAR(char c) { return Set(&c, 1); }
  char czGetXCHAR();

  // Numbers are stored little-endian with their own width. A long is 4 bytes
  // in both editions (the format's width, not the compiler's): the x86-64
  // edition writes its low 32 bits and reads it back sign-extended.
  // A fixed-width read with fewer bytes left takes those that are there, the
  // rest of the value being zeros, leaves the position at the end and marks
  // the buffer in failure (bEchec).
  CKVBuffer& operator<<(unsigned char v) { return _Ecrit(&v, 1); }
  CKVBuffer& operator<<(char v) { return _Ecrit(&v, 1); }
  CKVBuffer& operator<<(short v) { return _EcritEntier(static_cast<unsigned short>(v), 2); }
  CKVBuffer& operator<<(unsigned short v) { return _EcritEntier(v, 2); }
  CKVBuffer& operator<<(int v) { return _EcritEntier(static_cast<unsigned>(v), 4); }
  CKVBuffer& operator<<(unsigned int v) { return _EcritEntier(v, 4); }
  CKVBuffer& operator<<(long v) { return _EcritEntier(static_cast<std::uint32_t>(v), 4); }
  CKVBuffer& operator<<(unsigned long v) { return _EcritEntier(static_cast<std::uint32_t>(v), 4); }
  CKVBuffer& operator<<(long long v) { return _EcritEntier(static_cast<unsigned long long>(v), 8); }
  CKVBuffer& operator<<(unsigned long long v) { return _EcritEntier(v, 8); }
  CKVBuffer& operator<<(float v);
  CKVBuffer& operator<<(double v);
  CKVBuffer& operator<<(const KVRECT& r);
  CKVBuffer& operator<<(const CTString& s);
  // A date-time as two 32-bit words (day | month << 8 | year << 16, then the
  // milliseconds of the day); a duration as its 64-bit milliseconds.
  CKVBuffer& operator<<(const CDateTimeBase& dt);
  CKVBuffer& operator<<(const CDureeBase& d);

  CKVBuffer& operator>>(unsigned char& v) { return _Lit(&v, 1); }
  CKVBuffer& operator>>(char& v) { return _Lit(&v, 1); }
  CKVBuffer& operator>>(short& v) { v = static_cast<short>(_qLitEntier(2)); return *this; }
  CKVBuffer& operator>>(unsigned short& v) { v = static_cast<unsigned short>(_qLitEntier(2)); return *this; }
  CKVBuffer& operator>>(int& v) { v = static_cast<int>(_qLitEntier(4)); return *this; }
  CKVBuffer& operator>>(unsigned int& v) { v = static_cast<unsigned int>(_qLitEntier(4)); return *this; }
  CKVBuffer& operator>>(long& v) { v = static_cast<std::int32_t>(_qLitEntier(4)); return *this; }
  CKVBuffer& operator>>(unsigned long& v) { v = static_cast<std::uint32_t>(_qLitEntier(4)); return *this; }
  CKVBuffer& operator>>(long long& v) { v = static_cast<long long>(_qLitEntier(8)); return *this; }
  CKVBuffer& operator>>(unsigned long long& v) { v = _qLitEntier(8); return *this; }
  CKVBuffer& operator>>(float& v);
  CKVBuffer& operator>>(double& v);
  CKVBuffer& operator>>(KVRECT& r);
  // The text as pszGetString reads it.
  CKVBuffer& operator>>(CTString& s);
  CKVBuffer& operator>>(CDateTimeBase& dt);
  CKVBuffer& operator>>(CDureeBase& d);

  // Placeholders: a u32 0 written at the position; returns its offset
  // (0xFFFFFFFF, and -1, when it could not be written).
  DWORD dwReserveNombreElement();
  int nReserveTaillePartie();
  // Stores n in the placeholder at dwOffset (position unchanged).
  bool SetNombreElement(DWORD dwOffset, DWORD n);
  // Stores the number of bytes written since the placeholder at nOffset:
  // position - nOffset - 4. False when the position is not past it.
  bool SetTaillePartie(int nOffset);

  // Buffer in buffer: the decoded used size as u32, then the bytes, written
  // into the target at its position; read back into this buffer, which is
  // emptied first and ends at position 0. DeserialiseBuffer refuses (false,
  // the source's position unchanged, this buffer empty) a size larger than
  // what the source holds.
  bool SerialiseBuffer(CKVBuffer* pclCible);
  bool DeserialiseBuffer(CKVBuffer* pclSource);

  // ---- coding ----

  // Sets a method, decoding first with the old one; false for an unknown pack
  // method, when the tail does not decode, or when the object cannot be made.
  bool SetPackMethod(eBUFFER_PACKMETHOD e);
  bool SetCryptMethod(eBUFFER_CRYPTMETHOD e);
  // Changes a method without touching the data; bDejaCode declares the
  // contents packed (enciphered) with it.
  void ChangePackMethod(eBUFFER_PACKMETHOD e, bool bDejaCode);
  void ChangeCryptMethod(eBUFFER_CRYPTMETHOD e, bool bDejaCode);
  // Installs a key (16 bytes) or the key of a password, decoding the contents
  // first with the old key; only with a crypt method (else false).
  bool SetCryptKey(const BYTE abyCle[16]);
  bool SetPassword(const char* pszMotDePasse);
  // The same without decoding: the contents are taken as coded with the new key.
  bool ChangeCryptKey(const BYTE abyCle[16]);
  bool ChangePassword(const char* pszMotDePasse);
  const BYTE* pGetCryptKey() const { return m_abyCle; }
  eBUFFER_PACKMETHOD eGetPackMethod() const { return m_ePack; }
  eBUFFER_CRYPTMETHOD eGetCryptMethod() const { return m_eCrypt; }
  // Compressor type of a pack method: 4 for 0 and 1, 5 for 2, -1 otherwise.
  static int g_eGetCompresseurType(eBUFFER_PACKMETHOD e);
  int eGetCompresseurType() const { return g_eGetCompresseurType(m_ePack); }
  // Offset from which coding applies. Define decodes first; Change does not
  // touch the data.
  bool DefineFirstCodedByte(DWORD dwOffset);
  void ChangeFirstCodedByte(DWORD dwOffset) { m_dwPremierCode = dwOffset; }
  DWORD dwGetFirstCodedByte() const { return m_dwPremierCode; }
  bool bIsCoded() const { return m_bCode; }
  // Decodes if needed; false when the tail does not decode.
  bool bDecode();
  // Codes if needed, then drops both methods and every flag: the coded bytes
  // become plain contents. False (nothing changed) when coding fails.
  bool ForceCode();
  // The data after coding, after decoding, or as it is now; null when that
  // fails or there is no storage.
  BYTE* pbyGetCodedBuffer();
  BYTE* pbyGetUncodedBuffer();
  BYTE* pbyGetCurrentBuffer() { return m_pbyDonnees; }

  // Set when an operation could not be completed (storage refused, a tail
  // that does not decode or cannot be coded, a fixed-width read past the
  // end); cleared by EffaceEchec, Clear and ClearAll.
  bool bEchec() const { return m_bEchec; }
  void EffaceEchec() { m_bEchec = false; }

  // ---- files ----

  // Codes the buffer if needed and writes its whole used size at the file's
  // position or at oOffset; *pdwEcrit receives the count written. False when
  // coding or the write fails.
  bool bToFile(IXStream* piFichier, DWORD* pdwEcrit);
  bool bToFile(IXStream* piFichier, long long oOffset, DWORD* pdwEcrit);
  // Reads n coded bytes from the file (its position, or oOffset) into the
  // buffer at the position, coding a plain buffer first when they reach the
  // coded region; when fewer come and the range ended the buffer, the used
  // size shrinks to what was read. The position advances by the count read
  // (*pdwLu). False when storage cannot be had or the read fails (the used
  // size is then what it was).
  bool bSetFromFile(IXStream* piFichier, DWORD n, DWORD* pdwLu);
  bool bSetFromFile(IXStream* piFichier, DWORD n, long long oOffset, DWORD* pdwLu);
  // The same into an emptied buffer.
  bool bSetAllFromFile(IXStream* piFichier, DWORD n, DWORD* pdwLu);
  bool bSetAllFromFile(IXStream* piFichier, DWORD n, long long oOffset, DWORD* pdwLu);

protected:
  // Storage of n bytes (one more is always taken for a terminating 0); null
  // when it cannot be had. Overrides may also throw: every caller leaves the
  // buffer as it was.
  virtual BYTE* __vAllocBuffer(DWORD n);
  virtual BYTE* __vReallocBuffer(BYTE* p, DWORD n);
  virtual void __vFreeBuffer(BYTE* p);
  // Work storage of n bytes in which a coded or decoded buffer is built; it
  // then becomes the buffer's storage, so it comes from the same heap.
  virtual BYTE* __vAllocZBuffer(DWORD n);
  virtual void __vFreeZBuffer(BYTE* p);
  virtual CCompresseur* __vAllocPackObject(eBUFFER_PACKMETHOD e);
  virtual void __vFreePackObject(CCompresseur* p);
  virtual CCrypt* __vAllocCryptObject(eBUFFER_CRYPTMETHOD e);
  virtual void __vFreeCryptObject(CCrypt* p);

private:
  void __Init(eBUFFER_CRYPTMETHOD eCrypt, eBUFFER_PACKMETHOD ePack, DWORD dwTaille, DWORD dwPas);
  void __CopieDepuis(const CKVBuffer& autre);
  // The whole storage released.
  void __Libere();
  // Used size to n (no coding involved).
  bool __ResizeBuffer(DWORD n);
  // Coding and decoding of the tail; false (nothing changed) on failure.
  bool __CodeBuffer();
  bool __UncodeBuffer();
  // New storage holding the header and the tail packed (unpacked from the
  // used size of pbySource): *pdwTaille bytes used of *pdwCapacite; null when
  // that cannot be done. The buffer itself is not touched.
  BYTE* __Pack(DWORD* pdwTaille, DWORD* pdwCapacite);
  BYTE* __Unpack(const BYTE* pbySource, DWORD* pdwTaille, DWORD* pdwCapacite);
  // Makes p (from the work storage) the buffer's storage.
  void __Adopte(BYTE* p, DWORD dwTaille, DWORD dwCapacite);
  // Pack and cipher objects of the current methods.
  bool __InitPack();
  bool __InitCrypt();
  void __FreePack();
  void __FreeCrypt();
  // Before reading or writing [dwDebut, dwFin): decodes when that reaches the
  // coded region. False when decoding fails.
  bool __bPretPlain(DWORD dwDebut, DWORD dwFin);
  // Before writing coded bytes over [dwDebut, dwFin): codes a plain buffer
  // when that reaches the coded region.
  bool __bPretCode(DWORD dwDebut, DWORD dwFin);
  // Writes n bytes at dwOffset, growing the buffer; no coding involved.
  bool __bEcritBrut(DWORD dwOffset, const void* p, DWORD n);
  bool __bSetFromFile(IXStream* piFichier, DWORD n, const long long* poOffset, DWORD* pdwLu);
  bool __bSetAllFromFile(IXStream* piFichier, DWORD n, const long long* poOffset, DWORD* pdwLu);
  // Takes the storage out (the buffer is then empty and plain), and puts it back.
  kvbuffer::STEtat __Detache();
  void __Rattache(const kvbuffer::STEtat& st);
  // Decodes when reading n bytes from the position reaches the coded region;
  // returns the end of what can be read (the header alone when the tail does
  // not decode).
  DWORD __dwFinLisible(DWORD n);
  // The text at the position (see pszGetString), its length in *pdwLongueur.
  const char* __pszLitTexte(DWORD* pdwLongueur);
  bool __bToFile(IXStream* piFichier, const long long* poOffset, DWORD* pdwEcrit);
  CKVBuffer& _Ecrit(const void* p, DWORD n);
  CKVBuffer& _Lit(void* p, DWORD n);
  CKVBuffer& _EcritEntier(unsigned long long v, unsigned nOctets);
  unsigned long long _qLitEntier(unsigned nOctets);

  eBUFFER_CRYPTMETHOD m_eCrypt = BUFFER_CRYPT_AUCUN;
  eBUFFER_PACKMETHOD m_ePack = BUFFER_PACK_AUCUN;
  bool m_bCrypte = false;  // the tail is enciphered
  bool m_bPacke = false;   // the tail is packed
  bool m_bCode = false;    // the tail is in its coded form
  bool m_bEchec = false;
  // A password was given but its key could not be made: nothing is coded
  // with another key until a key or password is set.
  bool m_bCleManquante = false;
  DWORD m_dwTailleAllouee = 0;
  DWORD m_dwTailleUtile = 0;
  DWORD m_dwPremierCode = 0;
  DWORD m_dwPas = PAS_DEFAUT;
  BYTE* m_pbyDonnees = nullptr;
  DWORD m_dwPos = 0;  // kept as an offset: the storage moves when it grows
  CCompresseur* m_pclPack = nullptr;
  CCrypt* m_pclCrypt = nullptr;
  BYTE m_abyCle[16] = {};
};
