#include "app/RepairCommand.h"

#include "platform/avi/AviRepair.h"

#include <cstring>

bool IsRepairCommand(int argc, const char* const* argv)
{
    return argc >= 2 && std::strcmp(argv[1], "--repair") == 0;
}

int RunRepairCommand(int argc, const char* const* argv, std::FILE* out, std::FILE* err)
{
    if (argc < 3) {
        std::fprintf(err, "usage: vantorel --repair FILE...\n"
                          "Repairs AVI recordings cut short by a crash: every whole frame and sound chunk\n"
                          "is kept, the index and the header's sizes are written anew.\n");
        return 2;
    }
    int status = 0;
    for (int i = 2; i < argc; ++i) {
        const AviRepairResult result = RepairAviFile(argv[i]);
        std::FILE* to = result.Succeeded() ? out : err;
        std::fprintf(to, "%s: %s\n", argv[i], result.Describe().c_str());
        if (!result.Succeeded()) status = 1;
    }
    return status;
}
