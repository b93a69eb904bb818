// A platform library loaded into a process that already exports the same
// names, as our own libgpib.so.0 face does in a program that uses it: the
// library must keep its status in its own globals, where the board reads it.
#include <gtest/gtest.h>

#include "platform/platform_library.h"
#include "support/fake_platform.h"

// This executable exports its own ibsta (ENABLE_EXPORTS), first in the
// process's symbol scope.
extern "C" {
GPIB_EXPORT volatile int ibsta = 0;
}

#if defined(__SANITIZE_ADDRESS__)
#define TM_ASAN 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define TM_ASAN 1
#endif
#endif

namespace {

TEST(PlatformLibraryTest, KeepsItsOwnStatusBesideAnotherDriversGlobals) {
#ifdef TM_ASAN
    GTEST_SKIP() << "the address sanitizer refuses RTLD_DEEPBIND, so this build loads without it";
#endif
    // The board loads the library first, as it does in a program; the
    // control handle only opens the loaded library again.
    std::string problem;
    auto library = platform::PlatformLibrary::open(FAKE_PLATFORM_BARE_LIBRARY, problem);
    ASSERT_TRUE(library) << problem;
    fakeplatform::Control bare{FAKE_PLATFORM_BARE_LIBRARY};
    bare.reset();
    bare.push("ibwrt", {.ibsta = GPIB_ERR | GPIB_TIMO, .iberr = GPIB_EABO, .count = 3});
    library->api().ibwrt(16, "ABCD", 4);
    platform::CallResult r = library->status();
    EXPECT_EQ(r.ibsta, GPIB_ERR | GPIB_TIMO);
    EXPECT_EQ(r.iberr, GPIB_EABO);
    EXPECT_EQ(r.count, 3);
    EXPECT_EQ(ibsta, 0);                                 // untouched by the library
    EXPECT_EQ(library->family(), platform::Family::Ni);  // ibfindA alone
}

}  // namespace
