#include "driver/call_id.h"

#include <array>
#include <utility>

#include "abi/gpib_abi.h"

namespace gpibdrv {

namespace {

constexpr std::array<std::string_view, kCallIdCount> kNames = {
#define TM_GPIB_CALL_NAME(name) #name,
    TM_GPIB_CALLS(TM_GPIB_CALL_NAME)
#undef TM_GPIB_CALL_NAME
};

constexpr std::pair<std::string_view, int> kErrors[] = {
    {"EDVR", GPIB_EDVR}, {"ECIC", GPIB_ECIC}, {"ENOL", GPIB_ENOL}, {"EADR", GPIB_EADR},
    {"EARG", GPIB_EARG}, {"ESAC", GPIB_ESAC}, {"EABO", GPIB_EABO}, {"ENEB", GPIB_ENEB},
    {"EDMA", GPIB_EDMA}, {"EOIP", GPIB_EOIP}, {"ECAP", GPIB_ECAP}, {"EFSO", GPIB_EFSO},
    {"EBUS", GPIB_EBUS}, {"ESTB", GPIB_ESTB}, {"ESRQ", GPIB_ESRQ}, {"ETAB", GPIB_ETAB},
};

constexpr std::pair<std::string_view, int> kBits[] = {
    {"ERR", GPIB_ERR},   {"TIMO", GPIB_TIMO},   {"END", GPIB_END},     {"SRQI", GPIB_SRQI},
    {"RQS", GPIB_RQS},   {"SPOLL", GPIB_SPOLL}, {"EVENT", GPIB_EVENT}, {"CMPL", GPIB_CMPL},
    {"LOK", GPIB_LOK},   {"REM", GPIB_REM},     {"CIC", GPIB_CIC},     {"ATN", GPIB_ATN},
    {"TACS", GPIB_TACS}, {"LACS", GPIB_LACS},   {"DTAS", GPIB_DTAS},   {"DCAS", GPIB_DCAS},
};

}  // namespace

std::string_view callName(CallId id) {
    return kNames[static_cast<size_t>(id)];
}

std::optional<CallId> callByName(std::string_view name) {
    if (name == "ibfindA")
        return CallId::ibfind;
    if (name == "AllSPoll")
        return CallId::AllSpoll;
    for (size_t i = 0; i < kNames.size(); ++i)
        if (kNames[i] == name)
            return static_cast<CallId>(i);
    return std::nullopt;
}

std::optional<int> errorCodeByName(std::string_view name) {
    for (auto& [n, v] : kErrors)
        if (n == name)
            return v;
    return std::nullopt;
}

std::optional<int> statusBitByName(std::string_view name) {
    for (auto& [n, v] : kBits)
        if (n == name)
            return v;
    return std::nullopt;
}

}  // namespace gpibdrv
