#include "bus/listener_search.h"

#include <algorithm>
#include <array>

namespace {

constexpr int kProbeCells = 33;
constexpr int16_t kProbeLimit = 32;
// The highest count the found list can hold with its end marker after it.
constexpr int kMaxListed = kFoundListCells - 1;
// Entries above this carry a secondary address in their high byte.
constexpr int16_t kSecondaryWord = 0x6000;

// Every address 0-30 except the controller's own, ascending, then -1.
std::array<int16_t, kProbeCells> probeList(int16_t ctlrAddr) {
    std::array<int16_t, kProbeCells> probe{};
    for (int i = 0; i < 30; ++i) {
        probe[static_cast<size_t>(i)] =
            static_cast<int16_t>(ctlrAddr == 0 || i >= ctlrAddr ? i + 1 : i);
    }
    probe[30] = kEndOfList;
    return probe;
}

struct Decoded {
    int16_t primary = 0;
    int16_t secondary = 0;  // secondary address code: 0, or 0x60 + secondary
    int16_t display = 0;    // primary, or primary x 100 + secondary
};

Decoded decode(int16_t entry) {
    if (entry <= kSecondaryWord) {
        return {entry, 0, entry};
    }
    const auto code = static_cast<int16_t>(entry / 256);
    const auto primary = static_cast<int16_t>(entry - code * 256);
    return {primary, code, static_cast<int16_t>(primary * 100 + (code - 96))};
}

}  // namespace

void TerminateFoundList(Window& w) {
    if (std::find(w.FoundList.begin(), w.FoundList.end(), kEndOfList) == w.FoundList.end()) {
        w.FoundList.back() = kEndOfList;
    }
}

void cmdFindLstn_Click(Window& w) {
    w.txtError.setVisible(false);
    w.combCmd.setText(u"");
    int16_t firstWord = 0;

    w.txtResults.setText(u"FindLstn: Wait while looking for devices");
    w.platform.repaint(w.txtResults);

    std::array<int16_t, kProbeCells> probe = probeList(w.Ctlraddr);
    w.gpib.FindLstn(w.gpib.BoardIndex, probe, w.FoundList, kProbeLimit);

    if (w.failed() && w.gpib.iberr == 0) {
        w.reportError(u"FindLstn error");
    } else {
        // Any other error code still leaves a count worth decoding.
        const int n = w.gpib.ibcnt;
        // A count beyond the list is decoded as far as the list holds entries.
        const int listed = std::min(n, kMaxListed);
        Text addresses;
        Decoded last;
        for (int i = 0; i < listed; ++i) {
            const int16_t entry = w.FoundList[static_cast<size_t>(i)];
            last = decode(entry);
            addresses += NumberText(static_cast<long long>(last.display)) + u" ";
            if (i == 0) {
                w.founddev = last.display;
                w.foundAddrWord = entry;
                firstWord = entry;
                w.FoundFlg = 1;
            }
            w.FoundNum = n;
        }
        if (n >= 0) {
            w.FoundList[static_cast<size_t>(listed)] = kEndOfList;
        }

        const Text count = NumberText(static_cast<long long>(n));
        if (n >= kMaxListed) {
            w.platform.beep();
            w.txtError.setText(u"Found " + NumberText(static_cast<long long>(w.FoundNum)) +
                               u" devices, check system and retry");
            w.txtError.setVisible(true);
            w.txtResults.setText(u"FindLstn: Found" + count + u" devices at addresses = " +
                                 addresses);
            w.txtResults.setText(
                w.txtResults.text() + w.NL +
                u"CAUTION - Not all found devices listed - Check system and retry.");
        } else if (n >= 2) {
            w.txtResults.setText(u"FindLstn: Found" + count + u" devices at addresses = " +
                                 addresses);
            w.txtResults.setText(
                w.txtResults.text() + w.NL +
                u"Multiple devices found! Enter correct device address and press SET button.");
        } else if (n == 1) {
            w.txtResults.setText(u"FindLstn: Found" + count + u" device at address = " + addresses);
            w.gpib.ibdev(w.gpib.BoardIndex, last.primary, last.secondary, w.vtmo, 1, w.eos, w.ud);
            if (w.failed()) {
                w.reportError(u"ibdev Error");
                TerminateFoundList(w);
                return;
            }
        } else {
            w.platform.beep();
            if (n == 0) {
                w.txtResults.setText(u"FindLstn: No devices found");
            } else {
                w.txtResults.setText(u"FindLstn: Undetermined results - ibcnt = " + count);
            }
            w.FoundFlg = 0;
            w.founddev = 0;
            w.foundAddrWord = 0;
        }
    }

    TerminateFoundList(w);
    w.txtAddr.setText(NumberText(static_cast<long long>(w.founddev)));
    w.gpib.DevAddr = firstWord;
    w.Device = firstWord;
}
