#include "messaging/response_read.h"

#include <algorithm>

namespace {

constexpr int16_t kStopAtCR = 13;
constexpr int16_t kStopAtLF = 10;
constexpr int16_t kStopAtEoiOnly = 0x100;

int16_t Termination(const Window& w) {
    if (w.ckCRTerm.checked()) {
        return kStopAtCR;
    }
    return w.ckLFTerm.checked() ? kStopAtLF : kStopAtEoiOnly;
}

// Replaces every NUL by '*' in place; true when there was one.
bool ConvertNulls(Text& buffer) {
    bool found = false;
    for (char16_t& c : buffer) {
        if (c == u'\0') {
            c = u'*';
            found = true;
        }
    }
    return found;
}

// Keeps what stands before the first CR; only without any CR, before the
// first LF. A CR therefore wins over an earlier LF.
void CutAtTerminator(Text& buffer) {
    size_t cut = buffer.find(u'\r');
    if (cut == Text::npos) {
        cut = buffer.find(u'\n');
    }
    if (cut != Text::npos) {
        buffer.resize(cut);
    }
}

// Every CR as "<cr>" and every LF as "<lf>", nothing dropped.
void ShowMarkers(Text& buffer) {
    const auto breaks = std::count_if(buffer.begin(), buffer.end(),
                                      [](char16_t c) { return c == u'\r' || c == u'\n'; });
    if (breaks == 0) {
        return;
    }
    Text shown;
    shown.reserve(buffer.size() + 3 * static_cast<size_t>(breaks));
    for (char16_t c : buffer) {
        if (c == u'\r') {
            shown += u"<cr>";
        } else if (c == u'\n') {
            shown += u"<lf>";
        } else {
            shown.push_back(c);
        }
    }
    buffer.swap(shown);
}

void TrimTrailingBlanks(Text& buffer) {
    const size_t last = buffer.find_last_not_of(u' ');
    buffer.resize(last == Text::npos ? 0 : last + 1);
}

}  // namespace

void cmdRead_Click(Window& w) {
    if (!w.deviceGuard()) {
        return;
    }
    w.txtError.setVisible(false);
    const int16_t termination = Termination(w);

    // Every read starts from the 100 blanks of the template, so the driver is
    // always offered exactly 100 bytes and nothing of an earlier answer shows.
    Text buffer = w.RecvBuf;
    w.gpib.Receive(w.gpib.BoardIndex, w.gpib.DevAddr, buffer, termination);
    if (w.failed()) {
        w.reportError(u"Receive Error");
        w.TestHalt = 1;
        return;
    }

    const bool nullFound = ConvertNulls(buffer);
    if (w.ckDispAll.value() != 0) {
        ShowMarkers(buffer);
    } else {
        CutAtTerminator(buffer);
    }
    TrimTrailingBlanks(buffer);
    if (w.ckByteCnt.checked()) {
        buffer += w.NL;
        buffer += u"Byte count= ";
        buffer += NumberText(static_cast<long long>(w.gpib.ibcntl));
    }
    if (nullFound) {
        buffer += w.NL;
        buffer += u"Null found and converted to '*'";
    }
    w.txtError.setVisible(false);
    w.txtResults.setText(buffer);
}

void ckCRTerm_Click(Window& w) {
    w.ckLFTerm.setValueSilently(0);
}

void ckLFTerm_Click(Window& w) {
    w.ckCRTerm.setValueSilently(0);
}
