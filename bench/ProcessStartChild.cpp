// The smallest program of a process object, spawned by process_bench.cpp: the memory manager as
// the entry point makes it, then Run (which starts the toolbox with the flags 0x50) and an empty
// run operation that tells the parent, through the descriptor named by argv[1], that it was
// reached. The toolbox is taken down when the object goes.
#include "kernel/tasks/VProcess.h"
#include "kernel/values/VCppMemMgr.h"
#include "kernel/values/VObject.h"

#include <cstdlib>
#include <unistd.h>

namespace
{

class VMinimalProcess : public kova::VProcess
{
public:
    explicit VMinimalProcess(int inReached) : fReached(inReached) {}

protected:
    void DoRun() override
    {
        if (fReached >= 0 && write(fReached, "r", 1) != 1)
            std::_Exit(2);
    }

private:
    int fReached;
};

} // namespace

int main(int argc, char** argv)
{
    const int reached = argc > 1 ? std::atoi(argv[1]) : -1;
    kova::VObject::sCppMemMgr = new kova::VCppMemMgr(kova::VCppMemMgr::eAllocatorFromBundle);
    {
        VMinimalProcess process(reached);
        process.Run();
    }
    return 0;
}
