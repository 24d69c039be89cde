// contact-export-check's report: what the export would take from the profile
// and why anything fails, as text for a person. The report hears the export's
// own run (exporter::WalkListener) with its records going nowhere, so the two
// can never disagree; it then describes the profile's stores.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "om/object_model.h"

namespace app {

// The report of one check run, in the order the text gives it.
// CheckBegin starts a report and listens to the export runs that follow;
// CheckEnd stops listening and gives the whole text. In between:
// CheckNoStore when nothing could be attached (51), CheckDescribeStores with
// the namespace after the export's run.
void CheckBegin();
void CheckNoStore(std::string_view reason);
void CheckDescribeStores(const om::Handle& nameSpace);
// The text, its last line "N records; the export would end with exit code X".
std::string CheckEnd(int exitCode);

// A failure as the report words it: its reason, else its number.
std::string FailureText(std::uint32_t number, std::string_view reason);

}  // namespace app
