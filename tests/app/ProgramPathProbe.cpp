// Stands in for the program in the test of a program file replaced while it runs: says "ready",
// waits for a line, then prints its own path and writes the automation class's entries with it.
#include "app/VantorelDlgAutoProxy.h"
#include "platform/shell/Places.h"

#include <iostream>
#include <string>

int main()
{
    std::cout << "ready" << std::endl;
    std::string line;
    std::getline(std::cin, line);
    platform::COleObjectFactory factory(CLSID_VantorelApplication, kVantorelProgId, nullptr);
    bool written = factory.UpdateRegistry(platform::GetModuleFileName());
    std::cout << platform::GetModuleFileName() << "\n" << (written ? "written" : "not written") << std::endl;
    return 0;
}
