#pragma once
// "vantorel --repair FILE...": repairs recordings that a crash, a kill or a power cut left
// unfinished, without a window, and says what became of each file.
#include <cstdio>

// Whether the command line asks for it ("--repair" as the first argument).
bool IsRepairCommand(int argc, const char* const* argv);
// The program's exit status: 0 when every file is whole now, 1 when one could not be repaired,
// 2 for a command line without files.
int RunRepairCommand(int argc, const char* const* argv, std::FILE* out, std::FILE* err);
