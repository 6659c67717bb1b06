// main() of every test binary.  The leak check runs here, once all tests of
// the process have passed, and not when a process ends: the test environment
// sets leak_check_at_exit=0, because the processes that end through exit() --
// the programs under test and the children of death tests -- keep their
// records to the end by design, and checking each of them would only cost
// time.
#include <gtest/gtest.h>

#if defined(__SANITIZE_ADDRESS__)
#include <sanitizer/lsan_interface.h>
#endif

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    const int status = RUN_ALL_TESTS();
#if defined(__SANITIZE_ADDRESS__)
    __lsan_do_leak_check();   // reports and ends the process when memory leaked
#endif
    return status;
}
