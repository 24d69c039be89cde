#include "app/run_sequence.h"

#include "app/check_report.h"
#include "app/create_object.h"
#include "app/process.h"
#include "om/result_codes.h"
#include "csv/csv_file.h"
#include "export/export_contacts.h"
#include "om/resume_next.h"

namespace app {
namespace {

std::u16string gOutputPath;
om::Handle gOutlookApp;
om::Handle gNamespace;
SleepFunction gSleep = ProcessSleep;
InstanceCheck gInstanceCheck = ProcessAcquireSingleInstance;
om::ObjectFactory gObjectFactory = CreatePlatformObject;

}  // namespace

void SetSleepFunction(SleepFunction sleep) { gSleep = sleep ? sleep : ProcessSleep; }
void SetInstanceCheck(InstanceCheck check) {
  gInstanceCheck = check ? check : ProcessAcquireSingleInstance;
}
void SetObjectFactory(om::ObjectFactory factory) {
  gObjectFactory = factory ? factory : CreatePlatformObject;
}

int ConnectOutlook() {
  om::ResumeNext([] {
    gOutlookApp = om::CreateObject(gObjectFactory, u"Outlook.Application");
  });
  if (!gOutlookApp) return 1;
  // A namespace request that fails outright is as unusable as one that
  // returns nothing: both end the run with 51 and still detach.
  om::ResumeNext([] {
    gNamespace = om::AsObject(om::Get(gOutlookApp, "GetNamespace", std::u16string(u"MAPI")));
  });
  if (!gNamespace) {
    gOutlookApp.reset();
    return 1;
  }
  return 0;
}

void DisconnectOutlook() {
  gNamespace.reset();
  // Give the store time to settle before the application object goes.
  gSleep(kDisconnectPauseMs);
  gOutlookApp.reset();
}

int RunSequence(const std::u16string& commandLine) {
  gOutputPath = commandLine;
  int result;
  if (!gInstanceCheck()) {
    result = om::RC_ALREADY_RUNNING;
  } else if (ConnectOutlook() != 0) {
    result = om::RC_OUTLOOK_UNAVAILABLE;
  } else {
    result = exporter::ExportContacts(gOutputPath, gNamespace);
  }
  DisconnectOutlook();
  return result;
}

int CheckSequence(std::string& report) {
  CheckBegin();
  int result;
  // No single-instance lock: the check writes nothing and may run beside an
  // export.
  if (ConnectOutlook() != 0) {
    CheckNoStore(FailureText(om::ErrNumber(), om::ErrReason()));
    result = om::RC_OUTLOOK_UNAVAILABLE;
  } else {
    result = exporter::ExportContactsNowhere(gNamespace);
    CheckDescribeStores(gNamespace);
  }
  DisconnectOutlook();
  report = CheckEnd(result);
  return result;
}

void CheckMain() {
  ProcessStart();
  std::string report;
  const int result = CheckSequence(report);
  ProcessShowText(report);
  ProcessEnd(result);
}

void Main() {
  ProcessStart();
  const int result = RunSequence(ProcessCommandLine());
  // The file may still be open (55, 56); what was written must reach it
  // before the process ends without any teardown.
  csv::CsvFlush();
  ProcessEnd(result);
}

}  // namespace app
