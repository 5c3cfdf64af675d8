// Reference-counted base of the library's shared objects (error object,
// open files, ciphers, coded buffers).
#pragma once

#include "abi/TypesBase.h"

class CKVUnknown {
public:
  CKVUnknown() = default;
  CKVUnknown(const CKVUnknown&) : m_dwRef(0) {}
  CKVUnknown& operator=(const CKVUnknown&) { return *this; }
  virtual ~CKVUnknown() = default;

  // Lowers the count and destroys the object when the count was 1 (or 0).
  // Returns the count left.
  virtual DWORD dwRelease() {
    if (m_dwRef <= 1) {
      delete this;
      return 0;
    }
    return --m_dwRef;
  }
  DWORD dwAddRef() { return ++m_dwRef; }
  DWORD dwGetRef() const { return m_dwRef; }

protected:
  DWORD m_dwRef = 0;
};

// Deleter of std::unique_ptr for counted objects: one dwRelease.
struct LibereKV {
  void operator()(CKVUnknown* p) const {
    if (p != nullptr) p->dwRelease();
  }
};
