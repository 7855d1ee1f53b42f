// Test helper shared by the lock tests: lets the test thread wait, without a timed sleep, until
// another thread has reached a state the test can observe (a waiter counted, an event made).
#pragma once

#include <thread>

namespace kova
{

template <class Predicate>
void WaitUntil(Predicate ready)
{
    while (!ready())
        std::this_thread::yield();
}

} // namespace kova
