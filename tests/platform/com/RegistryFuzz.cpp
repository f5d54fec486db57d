// Fuzz target for the registry file reader: any text must parse without a fault, and what it
// keeps must write out as a file that reads back to the same tree (the writer's output is a
// fixed point of reading and writing).
#include "platform/com/Registry.h"

#include <cstdint>
#include <cstdlib>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const RegTree tree = RegTree::Parse(std::string(reinterpret_cast<const char*>(data), size));
    const std::string written = tree.Serialize();
    if (RegTree::Parse(written).Serialize() != written) std::abort();
    return 0;
}
