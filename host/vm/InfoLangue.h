// The language information the stand-in VM gives to the library: day and
// month names, short date and time formats, AM/PM texts, in French or in
// English, in the code page the VM declared (Windows-1252 or UTF-8).
#pragma once

#include "abi/InterfacesVM.h"

namespace kvhost {

class InfoLangue final : public IInfoLangue {
public:
  explicit InfoLangue(bool english) : english_(english) {}
  void setEnglish(bool english) { english_ = english; }

  // Owned by the VM: Release keeps it.
  int Release() override { return 1; }
  const char* pszGetJours(BOOL) override;
  const char* pszGetMois(BOOL) override;
  const char* pszGetShortDate() override { return english_ ? "MM/dd/yyyy" : "dd/MM/yyyy"; }
  const char* pszGetTimeFormat() override { return english_ ? "hh:mm:ss tt" : "HH:mm:ss"; }
  const char* pszGetAM() override { return "AM"; }
  const char* pszGetPM() override { return "PM"; }
  const char* pszGetMasqueDate() override { return nullptr; }
  const char* pszGetMonnaie() override;
  int nGetDecimalesMonnaie() override { return 2; }
  const char* pszGetUnitesTaille() override { return nullptr; }

private:
  bool english_;
};

}  // namespace kvhost
