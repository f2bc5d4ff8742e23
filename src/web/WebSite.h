#pragma once

#include "app/config/Configuration.h"
#include "web/HttpExchange.h"

#include <QString>
#include <functional>
#include <memory>
#include <vector>

namespace edi {

class Clock;
class Database;
class SnapshotCache;
class WebUsers;

// What the site reads from the configuration: the window's state colours ([COLOR]), the centres
// expected to send every time ([ALERT] NODATA), and how late a reception may still run
// ([動作環境] CATCHUP) before its line shows it was missed.
struct SiteSettings {
    StatusColours colours;
    QStringList noDataCentres;
    int catchupMinutes = 0;
};

// The monitor's site: which page a request asks for, who may read it, and the page. It reads the
// database and never writes to it.
class WebSite {
public:
    // users: the readers who may log in; none on a loopback address, where no login is asked.
    WebSite(Database& database, const Clock& clock, const SiteSettings& settings, WebUsers* users);
    ~WebSite();

    WebResponse answer(const WebRequest& request);

private:
    using Handler = std::function<WebResponse(const WebRequest&)>;
    struct Route {
        QString path;
        bool prefix;  // the path begins with it; the rest is the page's argument
        Handler handler;
    };

    WebResponse checkedAnswer(const WebRequest& request);
    WebResponse route(const WebRequest& request);
    WebResponse overview(const WebRequest& request, bool json);
    WebResponse timetable(const WebRequest& request, bool json);
    WebResponse history(const WebRequest& request, const QString& format);
    WebResponse job(const WebRequest& request, bool json);
    WebResponse health();

    Database& database_;
    const Clock& clock_;
    SiteSettings settings_;
    WebUsers* users_;
    std::unique_ptr<SnapshotCache> snapshots_;
    std::vector<Route> routes_;
};

}  // namespace edi
