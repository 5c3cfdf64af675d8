// Names of the stand-in VM's languages.
#include "InfoLangue.h"

#include "core/CodePage.h"

namespace kvhost {

const char* InfoLangue::pszGetJours(BOOL) {
  return english_ ? "Monday;Tuesday;Wednesday;Thursday;Friday;Saturday;Sunday"
                  : "lundi;mardi;mercredi;jeudi;vendredi;samedi;dimanche";
}

const char* InfoLangue::pszGetMois(BOOL) {
  if (english_) return "January;February;March;April;May;June;July;August;September;October;November;December";
  return CP_bUTF8() ? "janvier;f\xC3\xA9vrier;mars;avril;mai;juin;juillet;ao\xC3\xBBt;septembre;octobre;novembre;d\xC3\xA9" "cembre"
                    : "janvier;f\xE9vrier;mars;avril;mai;juin;juillet;ao\xFBt;septembre;octobre;novembre;d\xE9" "cembre";
}

const char* InfoLangue::pszGetMonnaie() {
  if (english_) return "$";
  return CP_bUTF8() ? "\xE2\x82\xAC" : "\x80";
}

}  // namespace kvhost
