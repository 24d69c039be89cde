// A console program, unlike the export: it is run by a person (or a script
// that wants its text) to read what it says.
#include "app/run_sequence.h"
#include "app/usage.h"

// CONTACT_EXPORT_VERSION is the project's version, given to this file alone
// by the build.
int wmain() {
  app::AnswerCheckArguments(CONTACT_EXPORT_VERSION);
  app::CheckMain();
}
