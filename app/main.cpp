// The updater's entry point.
#include "app/VUpdateEngine.h"

int main(int argc, char** argv)
{
    kova::sProcessCommandLineArgc = argc;
    kova::sProcessCommandLineArgv = argv;
    return kova::_main();
}
