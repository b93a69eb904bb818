#pragma once
// The status page's files (page/), built into the program so that the page
// is served from nowhere but the gateway itself.

namespace gateway::page {

extern const char kHtml[];
extern const char kScript[];
extern const char kStyle[];

}  // namespace gateway::page
