// A framework for the tests, built as a shared object and laid out as
// TestKit.framework/Versions/A/TestKit with the links Versions/Current, TestKit and Resources. Its
// functions need nothing from the program that loads it; one has a name beyond ASCII.
extern "C"
{

    __attribute__((visibility("default"))) int TestKitAnswer()
    {
        return 42;
    }

    __attribute__((visibility("default"))) int TestKit_Größe()
    {
        return 7;
    }

} // extern "C"
