// Names of the stand-in VM's languages.
#include "InfoLangue.h"

namespace kvhost {

const char* InfoLangue::pszGetJours(BOOL) {
  return english_ ? "Monday;Tuesday;Wednesday;Thursday;Friday;Saturday;Sunday"
                  : "lundi;mardi;mercredi;jeudi;vendredi;samedi;dimanche";
}

const char* InfoLangue::pszGetMois(BOOL) {
  return english_ ? "January;February;March;April;May;June;July;August;September;October;November;December"
                  : "janvier;f\xE9vrier;mars;avril;mai;juin;juillet;ao\xFBt;septembre;octobre;novembre;d\xE9" "cembre";
}

}  // namespace kvhost
