#include "session/device_address.h"

#include <limits>
#include <optional>

namespace {

constexpr int16_t kSecondaryCodeBase = 96;  // the driver's code for secondary 0
constexpr int16_t kLastPrimary = 30;
constexpr int16_t kFirstSecondaryForm = 100;
constexpr int16_t kLastSecondaryForm = 3030;
constexpr int16_t kEnableEoi = 1;

struct BusAddress {
    int16_t primary = 0;
    int16_t secondary = 0;  // secondary address code: 0, or 96 + secondary
};

void RefuseRange(Window& w) {
    w.platform.beep();
    w.txtResults.setText(u"Device Address outside of 0 to 30 or 100 to 3030 range, please reenter");
}

void ShowError(Window& w, const Text& text) {
    w.txtError.setText(text);
    w.txtError.setVisible(true);
}

// Takes the previous device offline before another is opened. 0 means none
// was opened yet, and a negative value is what a failed ibdev leaves: neither
// is a descriptor of ours, and taking it offline would only fail again at
// every later Set. Once offline, the descriptor is forgotten for the same
// reason.
bool TakeOldDeviceOffline(Window& w) {
    if (w.ud <= 0) {
        return true;
    }
    w.gpib.ibonl(w.ud, 0);
    if (w.failed()) {
        ShowError(w, u"ibonl iberr = " + PlainDecimal(static_cast<long long>(w.gpib.iberr)));
        return false;
    }
    w.ud = 0;
    return true;
}

// Primary x 100 + secondary: the last two characters are the secondary
// address, the one or two before them the primary. Nothing when the text has
// another length (said in txtError) or the secondary part makes no 16-bit
// address word (refused as out of range).
std::optional<BusAddress> SplitSecondaryForm(Window& w) {
    const TextView text = w.txtAddr.text();
    if (text.size() != 3 && text.size() != 4) {
        ShowError(w, u"Length of address is out of range, reenter");
        return std::nullopt;
    }
    const size_t split = text.size() - 2;
    const std::optional<int16_t> primary = ReadInt16(text.substr(0, split));
    const std::optional<int16_t> code =
        RoundToInt16(NumericValue(text.substr(split)) + kSecondaryCodeBase);
    // A secondary part of 32 or more has no place in the high byte.
    const int word = primary && code ? *primary + *code * 256 : std::numeric_limits<int>::max();
    if (word < std::numeric_limits<int16_t>::min() || word > std::numeric_limits<int16_t>::max()) {
        RefuseRange(w);
        return std::nullopt;
    }
    return BusAddress{*primary, *code};
}

void SetDeviceAddress(Window& w) {
    // A value beyond 16 bits is no address at all: refused as out of range.
    const std::optional<int16_t> addr = ReadInt16(w.txtAddr.text());
    if (addr && *addr == w.Ctlraddr) {
        w.platform.beep();
        w.txtResults.setText(u"New Device address same as Controller's address,  please reenter");
        return;
    }
    w.FoundFlg = 0;

    std::optional<BusAddress> address;
    if (addr && *addr >= kFirstSecondaryForm && *addr <= kLastSecondaryForm) {
        if (!TakeOldDeviceOffline(w)) {
            return;
        }
        address = SplitSecondaryForm(w);
    } else if (addr && *addr >= 0 && *addr <= kLastPrimary) {
        if (!TakeOldDeviceOffline(w)) {
            return;
        }
        address = BusAddress{*addr, 0};
    } else {
        RefuseRange(w);
    }
    if (!address) {
        return;
    }
    // DevAddr names the new address before anyone has answered there.
    w.gpib.DevAddr = static_cast<int16_t>(address->primary + address->secondary * 256);
    w.Device = NumericValue(w.txtAddr.text());

    w.gpib.ibdev(w.gpib.BoardIndex, address->primary, address->secondary, w.vtmo, kEnableEoi, w.eos,
                 w.ud);
    if (w.failed()) {
        w.reportError(u"ibdev Error");
        return;
    }
    int16_t listen = 0;
    w.gpib.ibln(w.ud, address->primary, address->secondary, listen);
    if (w.failed()) {
        w.reportError(u"ibln Error");
        return;
    }
    if (listen != 0) {
        w.txtResults.setText(u"Device Address => " + NumberText(w.Device));
        w.FoundFlg = 1;
    } else {
        w.txtResults.setText(u"Device not present at address " + NumberText(w.Device) +
                             u".  Check device address and retry");
        w.platform.beep();
    }
}

}  // namespace

void txtAddr_Change(Window& w) {
    w.cmdSet.setEnabled(true);
}

void cmdSet_Click(Window& w) {
    w.txtError.setVisible(false);
    SetDeviceAddress(w);
    // Whatever came of it, a command typed for the previous device goes.
    w.combCmd.setText(u"");
}
