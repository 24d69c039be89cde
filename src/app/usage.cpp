#include "app/usage.h"

#include "app/process.h"

namespace app {
namespace {

// Short enough for one screen; the manual page and the README say the rest.
constexpr std::string_view kUsage =
    "Usage: contact-export OUTPUT-FILE\n"
    "       contact-export --help | --version\n"
    "\n"
    "Writes every contact of the Outlook profile, or of a stand-alone profile, to\n"
    "OUTPUT-FILE: CSV, 55 columns, no header line, code page 932, CR LF line ends.\n"
    "The whole command line is the path of OUTPUT-FILE, spaces included; there are\n"
    "no options.\n"
    "\n"
    "CONTACT_EXPORT_PROFILE names the stand-alone profile: a folder of stores\n"
    "(vCard folders, .pst/.ost files, .sqlite/.db address books, .carddav servers)\n"
    "or a single store. When it is unset: Outlook on Windows; elsewhere\n"
    "$XDG_DATA_HOME/contact-export/profile, by default\n"
    "~/.local/share/contact-export/profile.\n"
    "\n"
    "Exit status (only 0 means that the file holds every contact):\n"
    "  0   every contact exported\n"
    "  51  no contact store could be opened       output file not touched\n"
    "  52  the output file cannot be opened       output file not touched\n"
    "  54  the file could not be written out      whole records, not all of them\n"
    "  55  no contacts folder to export           output file empty\n"
    "  56  the export stopped part-way            whole records, not all of them\n"
    "  57  already running for this user          output file not touched\n"
    "\n"
    "More in the manual page contact-export(1) and the README.\n";

constexpr std::string_view kCheckUsage =
    "Usage: contact-export-check\n"
    "       contact-export-check --help | --version\n"
    "\n"
    "Shows what contact-export would export from the same profile, and why a store\n"
    "or folder fails, without writing anything: the profile's stores (kind, where,\n"
    "the default one, the reason a store fails), the store search when the default\n"
    "contacts folder fails, the folders the export walks with their records and\n"
    "the items it skips, and last the number of records and the exit code the\n"
    "export would end with. Its own exit status is that code (0, 51, 55 or 56);\n"
    "2 for a command line it does not take.\n"
    "\n"
    "More in the manual page contact-export-check(1) and the README.\n";

}  // namespace

std::string CheckInformationText(std::u16string_view commandLine, std::string_view version) {
  if (commandLine == u"--version") return "contact-export-check " + std::string(version) + "\n";
  return commandLine.empty() ? std::string() : std::string(kCheckUsage);
}

void AnswerCheckArguments(std::string_view version) {
  const std::u16string commandLine = ProcessCommandLine();
  const std::string text = CheckInformationText(commandLine, version);
  if (text.empty()) return;
  ProcessShowText(text);
  ProcessEnd(commandLine == u"--help" || commandLine == u"--version" ? 0 : kCheckUsageError);
}

std::string InformationText(std::u16string_view commandLine, std::string_view version) {
  if (commandLine == u"--help") return std::string(kUsage);
  if (commandLine == u"--version") return "contact-export " + std::string(version) + "\n";
  return {};
}

void AnswerInformationRequest(std::string_view version) {
  const std::string text = InformationText(ProcessCommandLine(), version);
  if (text.empty()) return;
  ProcessShowText(text);
  ProcessEnd(0);
}

}  // namespace app
