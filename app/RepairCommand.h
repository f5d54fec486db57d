#pragma once
// "vantorel --repair FILE...": repairs recordings that a crash, a kill or a power cut left
// unfinished, without a window, and says what became of each file.
#include <cstdio>
#include <string>
#include <vector>

// The program's exit status: 0 when every file is whole now, 1 when one could not be repaired,
// 2 for a command line without files.
int RunRepairCommand(const std::vector<std::string>& files, std::FILE* out, std::FILE* err);
