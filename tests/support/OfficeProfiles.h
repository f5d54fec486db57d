#pragma once
// Office tests never run with the user's own office profiles (~/.cache/vantorel/office): unless
// the run names one folder for them all (VANTOREL_OFFICE_PROFILES, as scripts/test.sh does), the
// test process gets a new folder of its own, removed when the process ends.
namespace testsupport {

// Call before the first office starts.
void UsePrivateOfficeProfiles();

} // namespace testsupport
