#include "app/run_sequence.h"
#include "app/usage.h"

// CONTACT_EXPORT_VERSION is the project's version, given to this file alone
// by the build.
int main() {
  app::AnswerCheckArguments(CONTACT_EXPORT_VERSION);
  app::CheckMain();
}
