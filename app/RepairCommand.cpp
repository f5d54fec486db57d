#include "app/RepairCommand.h"

#include "platform/avi/AviRepair.h"

int RunRepairCommand(const std::vector<std::string>& files, std::FILE* out, std::FILE* err)
{
    if (files.empty()) {
        std::fprintf(err, "usage: vantorel --repair FILE...\n"
                          "Repairs AVI recordings cut short by a crash: every whole frame and sound chunk\n"
                          "is kept, the index and the header's sizes are written anew.\n");
        return 2;
    }
    int status = 0;
    for (const std::string& file : files) {
        const AviRepairResult result = RepairAviFile(file);
        std::FILE* to = result.Succeeded() ? out : err;
        std::fprintf(to, "%s: %s\n", file.c_str(), result.Describe().c_str());
        if (!result.Succeeded()) status = 1;
    }
    return status;
}
