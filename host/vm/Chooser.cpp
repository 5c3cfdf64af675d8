// The syntax chooser: kinds against declared parameters.
#include "Chooser.h"

#include <cmath>

#include "Types.h"

namespace kvhost {

namespace {

enum Fit { kNo = 0, kConverted = 1, kAny = 2, kExact = 3 };

}  // namespace

int fitOf(DWORD code, ArgKind kind) {
  using K = ArgKind;
  // A parameter passed by reference is an output: an empty variable fits it.
  if (VXT_bParReference(code) && kind == K::None) return kExact;
  switch (classOf(code)) {
    case TypeClass::Boolean:
      return kind == K::Boolean ? kExact : kind == K::Integer || kind == K::WholeReal || kind == K::Text ? kConverted : kNo;
    case TypeClass::Integer:
    case TypeClass::Duration:
      return kind == K::Integer ? kExact : kind == K::Boolean || kind == K::WholeReal || kind == K::Text ? kConverted : kNo;
    case TypeClass::Real:
      // An integer is a number as much as a real is (Lua writes both).
      return kind == K::WholeReal || kind == K::Real || kind == K::Integer ? kExact : kind == K::Text ? kConverted : kNo;
    case TypeClass::Money:
      return kind == K::Integer || kind == K::WholeReal || kind == K::Real ? kExact : kind == K::Text ? kConverted : kNo;
    case TypeClass::Text:
      return kind == K::Text ? kExact
             : kind == K::Boolean || kind == K::Integer || kind == K::WholeReal || kind == K::Real || kind == K::Buffer
                 ? kConverted
                 : kNo;
    case TypeClass::Bytes:
      return kind == K::Buffer ? kExact : kind == K::Text ? kConverted : kNo;
    case TypeClass::TextOrBytes:
      return kind == K::Text || kind == K::Buffer ? kExact
             : kind == K::Integer || kind == K::WholeReal || kind == K::Real ? kConverted
                                                                           : kNo;
    case TypeClass::Any:
      return kind == K::Procedure || kind == K::Other ? kNo : kAny;
    case TypeClass::Procedure:
      return kind == K::Procedure ? kExact : kind == K::Text ? kConverted : kNo;
    case TypeClass::Object:
      return kind == K::Object ? kExact : kNo;
    case TypeClass::None: return kNo;
  }
  return kNo;
}

ArgKind kindOf(const Value& v) {
  const Value& x = v.variable ? *v.variable : v;
  switch (x.type) {
    case VXT_AUCUN: return ArgKind::None;
    case VXT_BOOLEEN: return ArgKind::Boolean;
    case VXT_ENTIER: case VXT_ENTIER8: case VXT_DUREE: return ArgKind::Integer;
    case VXT_REEL:
      return std::isfinite(x.real) && x.real == std::floor(x.real) && std::fabs(x.real) < 9.2e18 ? ArgKind::WholeReal
                                                                                                  : ArgKind::Real;
    case VXT_MONETAIRE: return ArgKind::Real;
    case VXT_CHAINE: return ArgKind::Text;
    case VXT_BINAIRE: return ArgKind::Buffer;
    case VXT_OBJETAPCODE: return ArgKind::Object;
    default: return ArgKind::Other;
  }
}

std::size_t rankSyntaxes(const FunctionInfo& f, const ArgKind* kinds, std::size_t count, const SyntaxInfo** out,
                         std::size_t max) {
  int scores[kMaxSyntaxes];
  std::size_t n = 0;
  for (const auto& s : f.syntaxes) {
    if (n == max || n == kMaxSyntaxes) break;
    const std::size_t declared = s.params.size();
    if (count < declared || (count > declared && !s.repeatable)) continue;
    int score = 0;
    for (std::size_t i = 0; i < count && score >= 0; ++i) {
      int fit = fitOf(s.params[i < declared ? i : declared - 1], kinds[i]);
      score = fit == kNo ? -1 : score + fit;
    }
    if (score < 0) continue;
    // Insert after every better or equal one (stable: table order among equals).
    const int key = (s.entry != nullptr ? 1 << 20 : 0) + score;
    std::size_t at = n;
    while (at > 0 && scores[at - 1] < key) {
      scores[at] = scores[at - 1];
      out[at] = out[at - 1];
      --at;
    }
    scores[at] = key;
    out[at] = &s;
    ++n;
  }
  return n;
}

}  // namespace kvhost
