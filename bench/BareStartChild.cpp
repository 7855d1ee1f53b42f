// The peer of ProcessStartChild.cpp: a bare main linked with the same libraries, which tells the
// parent at once, through the descriptor named by argv[1], that it was reached.
#include <cstdlib>
#include <unistd.h>

int main(int argc, char** argv)
{
    const int reached = argc > 1 ? std::atoi(argv[1]) : -1;
    if (reached >= 0 && write(reached, "r", 1) != 1)
        return 2;
    return 0;
}
