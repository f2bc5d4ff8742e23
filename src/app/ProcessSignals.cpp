#include "app/ProcessSignals.h"

#include <atomic>
#include <csignal>

namespace edi {
namespace {

std::atomic<bool> endFlag{false};
std::atomic<bool> reloadFlag{false};

void onEnd(int)
{
    endFlag = true;
}

void onReload(int)
{
    reloadFlag = true;
}

}  // namespace

void catchEndSignals()
{
    std::signal(SIGINT, onEnd);
    std::signal(SIGTERM, onEnd);
}

bool endRequested()
{
    return endFlag;
}

void catchReloadSignal()
{
    std::signal(SIGHUP, onReload);
}

bool takeReloadRequest()
{
    return reloadFlag.exchange(false);
}

}  // namespace edi
