#pragma once
// "vantorel --record [OPTION]... FILE...": the unattended run, from the words after --record to
// the exit status (RecordStatus). It reads the request, starts the private X and sound servers
// when asked (--headless), brings the program's runtime up as a normal start does, and lets
// CBatchRecorder record the files through the recording window and make the DVD through the burn
// window.
#include <string>
#include <vector>

int RunRecordCommand(const std::vector<std::string>& words);
