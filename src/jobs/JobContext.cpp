#include "jobs/JobContext.h"

namespace edi {

JobContext::JobContext(Database& database, const Clock& clock, JobSettings settings, MailReceiver& mail)
    : database_(database)
    , clock_(clock)
    , settings_(std::move(settings))
    , history_(database, clock)
    , masters_(database)
    , ciiXmlLog_(settings_.conversionLogPath)
    , localLog_(settings_.conversionLogPath)
    , mail_(mail)
{
}

}  // namespace edi
