// Link decisions: the named profiles and each datagram's fate, free of sockets and clocks.
#include "link/link.h"

#include <algorithm>

namespace netduel {

bool linkProfileFind(std::string_view name, LinkImpairment& out)
{
    for (const LinkProfile& profile : LINK_PROFILES) {
        if (profile.name != name) continue;
        out = profile.impairment;
        return true;
    }
    return false;
}

LinkFate linkFate(const LinkImpairment& impairment, std::mt19937_64& random, double now,
                  double& lastDue)
{
    std::uniform_real_distribution<double> unit(0.0, 1.0);
    LinkFate fate;
    if (unit(random) < impairment.loss) return fate;
    fate.copies = unit(random) < impairment.duplicate ? 2 : 1;
    for (int copy = 0; copy < fate.copies; ++copy) {
        const double delay = impairment.delay + impairment.jitter * (2.0 * unit(random) - 1.0);
        double due = now + std::max(delay, 0.0);
        if (impairment.keepOrder) due = std::max(due, lastDue);
        lastDue = std::max(lastDue, due);
        fate.due[copy] = due;
    }
    return fate;
}

}  // namespace netduel
