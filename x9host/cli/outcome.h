// What a request came to, told from what x9host saw: the module's result, its boxes and their
// answers, and what changed in the transfer list or on the watch. One exit status and one
// line, in the reader's language, that says why.
#pragma once

#include <string>
#include <vector>

#include "session/session.h"

namespace x9host {

inline constexpr int kExitMoved = 0;  // the request changed the transfer list or the watch
// the module returned 0 (failed or aborted); or a signal stopped the outputs (all as they
// were); or putting them back failed too (the last line says what each holds)
inline constexpr int kExitFailed = 1;
// Status 2: nothing was written, every output is as it was. The names say why:
inline constexpr int kExitBadInput = 2;  // bad input or usage: nothing was run
// after the request, the outputs could not be put in place
inline constexpr int kExitOutputsAsTheyWere = 2;
inline constexpr int kExitOutOfMemory = 2;  // x9host's own memory ran out
// x9host could not go on for another reason of the system's (a conversion it lacks)
inline constexpr int kExitCannotGoOn = 2;
inline constexpr int kExitNothingMoved = 3;  // the request ran and moved nothing

struct Verdict {
  int status = kExitNothingMoved;
  std::string line;  // "done: ...", "failed: ...", "nothing moved: ..."
};

Verdict Judge(const RequestFacts& facts);

}  // namespace x9host
