// The device address action for any text in the address box, on a window over
// the simulated bench (built-in bench, instant timing): a refusal, a report
// or a selected device, and a selected device always has a bus address word
// the driver can take.

#include <cstdlib>
#include <memory>

#include "fuzz_input.h"
#include "gpib/driver_library.h"
#include "gpib/gpib32.h"
#include "ui/form1.h"

namespace {

class QuietPlatform : public Platform {
  public:
    void beep() override {}
    void repaint(const TextBox&) override {}
    void showHelp(const HelpRequest&) override {}
    void quit() override {}
    Text programFolder() const override { return u"/fuzz"; }
};

Window& window() {
    static struct Session {
        Session() {
            setenv("GPIB_SIM_INSTANT", "1", 1);
            unsetenv("GPIB_SIM_BENCH");
            unsetenv("GPIB_SIM_TRACE");
            library = DriverLibrary::Open(FUZZ_SIM_LIBRARY);
            gpib = std::make_unique<GPIB32>(*library);
            form = std::make_unique<Form1>(*gpib, platform);
            form->load();
        }
        QuietPlatform platform;
        std::unique_ptr<DriverLibrary> library;
        std::unique_ptr<GPIB32> gpib;
        std::unique_ptr<Form1> form;
    } session;
    return session.form->window();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    Window& w = window();
    FuzzInput input(data, size);
    const bool wide = input.number<uint8_t>() & 1;
    w.txtAddr.setText(wide ? input.restAsText() : input.restAsLatin1());
    w.cmdSet.press();
    const Text& results = w.txtResults.text();
    // The controller's own address is refused and leaves the selection alone;
    // every other outcome decides it anew.
    const bool refusedAsController =
        results == u"New Device address same as Controller's address,  please reenter";
    if (w.FoundFlg == 1 && !refusedAsController) {
        FUZZ_CHECK(results.rfind(u"Device Address => ", 0) == 0);
        const int primary = w.gpib.DevAddr & 0xFF;
        const int secondary = (w.gpib.DevAddr >> 8) & 0xFF;
        FUZZ_CHECK(primary <= 30);
        FUZZ_CHECK(secondary == 0 || (secondary >= 0x60 && secondary <= 0x7E));
    }
    if (w.txtError.visible()) {
        FUZZ_CHECK(!w.txtError.text().empty());
    }
    FUZZ_CHECK(w.txtCount.visible() == false);
    return 0;
}
