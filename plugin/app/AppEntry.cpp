#include "framework/app/IPlugAPP.h"
#include "plugin/Quorrel.h"

#include <mutex>

namespace iplug {

IPlugAPP* CreatePluginInstance(IPlugAPPHost* host)
{
    static std::mutex creationLock;
    const std::lock_guard<std::mutex> lock(creationLock);
    return new Quorrel(host);
}

} // namespace iplug
