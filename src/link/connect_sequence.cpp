#include "connect_sequence.h"

#include "link.h"

namespace plovan {

bool connectSequence(Link& link, const std::string& Amp2FixeD)
{
    for (const char* command : {"=r", "=p", "=D00DF"}) {
        link.RecATFlag = false;
        if (!link.send(command)) return false;
    }
    const std::string& amp = Amp2FixeD;
    return link.sendWait(link.SavString() + amp.substr(0, 2) + "E1") &&
           link.sendWait(link.SavString() + amp.substr(amp.size() >= 2 ? amp.size() - 2 : 0) + "E2");
}

bool shortConnectSequence(Link& link)
{
    return link.sendWait("=r") && link.sendWait("=D00DF");
}

} // namespace plovan
