// The status report for any heading and any driver status: the heading comes
// first, unchanged, then the fixed parts in order; a copy lands in
// StatusReport.

#include "fuzz_input.h"
#include "gpib/gpib32.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    // No driver is needed: the report reads only the status variables.
    static std::unique_ptr<DriverLibrary> library = DriverLibrary::Open("/nonexistent/libnone.so");
    static GPIB32 gpib(*library);
    FuzzInput input(data, size);
    gpib.ibsta = input.number<int16_t>();
    gpib.iberr = input.number<int16_t>();
    gpib.ibcntl = input.number<int32_t>();
    const Text heading = input.restAsText();
    Text report = heading;
    gpib.FormatStatusReport(report);
    FUZZ_CHECK(report == gpib.StatusReport);
    FUZZ_CHECK(report.compare(0, heading.size(), heading) == 0);
    const Text rest = report.substr(heading.size());
    FUZZ_CHECK(rest.rfind(u",  ibsta = &H" + Hex16(gpib.ibsta) + u" <  ", 0) == 0);
    FUZZ_CHECK(rest.find(u" >, iberr = " + NumberText(static_cast<long long>(gpib.iberr))) !=
               Text::npos);
    const Text tail = u", ibcnt = " + NumberText(static_cast<long long>(gpib.ibcntl));
    FUZZ_CHECK(rest.size() >= tail.size() &&
               rest.compare(rest.size() - tail.size(), tail.size(), tail) == 0);
    return 0;
}
