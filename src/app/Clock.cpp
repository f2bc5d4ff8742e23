#include "app/Clock.h"

using namespace Qt::Literals::StringLiterals;

namespace edi {

std::unique_ptr<Clock> programClock()
{
    const QDateTime start = QDateTime::fromString(qEnvironmentVariable("EDI_CLOCK_START"), Qt::ISODate);
    if (!start.isValid())
        return std::make_unique<SystemClock>();
    bool number = false;
    const int speed = qEnvironmentVariable("EDI_CLOCK_SPEED", u"1"_s).toInt(&number);
    return std::make_unique<AcceleratedClock>(start, number && speed > 0 ? speed : 1);
}

QString programClockNote(const Clock& clock)
{
    if (dynamic_cast<const AcceleratedClock*>(&clock) == nullptr)
        return {};
    return u"試験用の時計で動いています: EDI_CLOCK_START=%1 EDI_CLOCK_SPEED=%2"_s.arg(
        qEnvironmentVariable("EDI_CLOCK_START"), qEnvironmentVariable("EDI_CLOCK_SPEED", u"1"_s));
}

void readLocalTimeZoneOnce()
{
    if (!qEnvironmentVariableIsSet("TZ"))
        qputenv("TZ", ":/etc/localtime");
}

}  // namespace edi
