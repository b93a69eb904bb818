#pragma once
// The system's portmapper (rpcbind), as tm-gateway registers its channels
// with it: one call on loopback, within a short deadline.

#include <string>

#include "gateway/vxi11_args.h"

namespace gateway {

enum class PortmapperAnswer {
    Yes,     // the mapping was made (or dropped)
    No,      // the portmapper said no (a mapping of another server's stands)
    Nobody,  // nothing answers there: no portmapper runs
};

// PMAPPROC_SET (set) or PMAPPROC_UNSET of this mapping at 127.0.0.1:port.
PortmapperAnswer askPortmapper(int port, const Mapping& m, bool set, std::string& why);

}  // namespace gateway
