#include "reliability/window_snapshot.h"

namespace {

std::string flag(bool value) {
    return value ? "1" : "0";
}

std::string joined(const std::vector<std::u16string>& items) {
    std::string out;
    for (const auto& item : items) out += (out.empty() ? "" : "|") + ToUtf8(item);
    return out;
}

void addControl(Snapshot& s, const Control& c) {
    std::string name = c.name();
    if (c.kind() == ControlKind::OptionButton) {
        name += "(" + std::to_string(c.spec().index) + ")";
    }
    s[name + ".enabled"] = flag(c.enabled());
    s[name + ".visible"] = flag(c.visible());
    switch (c.kind()) {
        case ControlKind::TextBox:
            s[name + ".text"] = ToUtf8(static_cast<const TextBox&>(c).text());
            break;
        case ControlKind::ComboBox: {
            const auto& box = static_cast<const ComboBox&>(c);
            s[name + ".text"] = ToUtf8(box.text());
            s[name + ".items"] = joined(box.items());
            s[name + ".listIndex"] = std::to_string(box.listIndex());
            break;
        }
        case ControlKind::CheckBox:
            s[name + ".value"] = std::to_string(static_cast<const CheckBox&>(c).value());
            break;
        case ControlKind::OptionButton:
            s[name + ".value"] = flag(static_cast<const OptionButton&>(c).value());
            break;
        default:
            break;
    }
}

}  // namespace

std::string FoundListText(const Window& w) {
    std::string out;
    for (int16_t word : w.FoundList) {
        if (word == kEndOfList) {
            break;
        }
        out += (out.empty() ? "" : ",") + std::to_string(word);
    }
    return out;
}

Snapshot TakeSnapshot(const Window& w) {
    Snapshot s;
    for (const Control* c : w.all()) addControl(s, *c);
    s["bud"] = std::to_string(w.bud);
    s["Ctlraddr"] = std::to_string(w.Ctlraddr);
    s["ud"] = std::to_string(w.ud);
    s["eos"] = std::to_string(w.eos);
    s["vtmo"] = std::to_string(w.vtmo);
    s["Device"] = ToUtf8(PlainDecimal(w.Device));
    s["FoundFlg"] = std::to_string(w.FoundFlg);
    s["founddev"] = std::to_string(w.founddev);
    s["FoundNum"] = std::to_string(w.FoundNum);
    s["FoundList"] = FoundListText(w);
    s["IDNTestFlg"] = std::to_string(w.IDNTestFlg);
    s["CMDloopFlg"] = std::to_string(w.CMDloopFlg);
    s["TestHalt"] = std::to_string(w.TestHalt);
    s["LpCount"] = std::to_string(w.LpCount);
    s["HelpFile"] = ToUtf8(w.HelpFile);
    s["HelpContextID"] = std::to_string(w.HelpContextID);
    s["RecvBuf"] = ToUtf8(w.RecvBuf);
    s["NL"] = ToUtf8(w.NL);
    s["BoardIndex"] = std::to_string(w.gpib.BoardIndex);
    s["DevAddr"] = std::to_string(w.gpib.DevAddr);
    return s;
}

std::string CompareSnapshots(const Snapshot& before, const Snapshot& after,
                             const Changes& changes) {
    std::string out;
    // A later change of the same field overrides an earlier one, so a row can
    // start from a shared set and correct it.
    std::map<std::string, std::string> expected;
    for (const Change& c : changes) expected[c.field] = c.value;
    for (const auto& [field, value] : expected) {
        auto it = after.find(field);
        if (it == after.end()) {
            out += "  no field " + field + "\n";
        } else if (value != "?" && it->second != value) {
            out += "  " + field + " is \"" + it->second + "\", expected \"" + value + "\"\n";
        }
    }
    for (const auto& [field, value] : after) {
        if (expected.count(field)) {
            continue;
        }
        auto it = before.find(field);
        const std::string was = it == before.end() ? "(none)" : it->second;
        if (was != value) {
            out += "  " + field + " changed from \"" + was + "\" to \"" + value + "\"\n";
        }
    }
    return out;
}
