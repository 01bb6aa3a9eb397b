#include "connect_sequence.h"

#include "link.h"
#include "unit_commands.h"

#include <span>
#include <vector>

namespace plovan {

bool connectSequence(Link& link, const std::string& Amp2FixeD)
{
    const std::string& amp = Amp2FixeD;
    const std::vector<std::string> commands{cmd::linkStart(), cmd::linkSetup(), cmd::connectRegisterWrite(),
                                            link.SavString() + amp.substr(0, 2) + "E1",
                                            link.SavString() +
                                                amp.substr(amp.size() >= 2 ? amp.size() - 2 : 0) + "E2"};
    // The first three go out back to back. Each later wait counts every "@"
    // since the first write, so a unit that answers only some of the five is
    // never taken for connected.
    const quint64 acksBefore = link.acksReceived();
    for (std::size_t i = 0; i < commands.size(); ++i) {
        link.RecATFlag = false;
        if (!link.send(commands[i])) return false;
        if (i < 3) continue;
        if (!proceeds(link.waitAcks(acksBefore, std::span(commands.data(), i + 1)))) return false;
    }
    return true;
}

bool shortConnectSequence(Link& link)
{
    return link.sendWait(cmd::linkStart()) && link.sendWait(cmd::connectRegisterWrite());
}

} // namespace plovan
