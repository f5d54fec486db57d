#pragma once
// Recordings left unfinished in the output folder (the program was ended during a recording, or
// the machine went down) are offered for repair before new ones are made there.
#include "platform/ui/Dialog.h"

#include <string>

// Asks once for all the unfinished recordings in the folder, repairs them if the user agrees and
// says how each one came out. Nothing shows when there are none.
void OfferRecordingRepair(platform::CDialog* pParent, const std::string& strFolder);
