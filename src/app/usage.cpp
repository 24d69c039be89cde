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

}  // namespace

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
