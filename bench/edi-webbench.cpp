// Readers of the web monitor at once: each on a kept-alive connection, in a loop, asks for a mix
// of pages (the overview, timetables, history pages of many spans, jobs, the API, the metrics) for
// a bounded time or number of requests, and the answers' latencies are printed per route and in
// all, with the web process's resident memory over the run and, when a scheduler tells its
// timer's ticks to a socket here, how regularly it ticked before and during the load.
//
//   edi-webbench --port P [--host 127.0.0.1] [--readers 20] [--seconds 30] [--requests N] [--think-ms 0]
//                [--pid PID] [--watchdog-socket PATH] [--baseline-seconds 5] [--seed S]
//                [--max-p99-ms 100] [--max-tick-ms 400] [--max-rss-growth-mib 32]
//
// Readers ask again as soon as an answer is in, unless --think-ms makes them pause (a person
// reading the page). The workstations, centres and highest serial to ask for are read from /api/overview first.
// With --watchdog-socket the socket is bound and the load waits for a scheduler started with
// NOTIFY_SOCKET=PATH to tick (it sends "WATCHDOG=1" at every tick), then measures its ticks for
// the baseline's seconds alone before the readers start. Exit status 1 when an answer was not
// 200, a route's 99th percentile reached the limit, the timer's longest interval during the load
// exceeded its limit, or the resident memory grew by more than its limit after the warm-up
// (the first tenth of the run); 2 for usage errors or a server that cannot be read.

#include "BenchOptions.h"
#include "HttpClient.h"
#include "WatchdogTicks.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <ctime>
#include <fstream>
#include <functional>
#include <limits>
#include <map>
#include <mutex>
#include <random>
#include <set>
#include <string>
#include <thread>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

struct Options {
    std::string host = "127.0.0.1";
    double port = 0;
    int readers = 20;
    double seconds = 30;
    double requests = 0;  // 0: bounded by the seconds alone
    double thinkMs = 0;   // a reader's pause after each answer
    double pid = 0;
    std::string watchdogSocket;
    double baselineSeconds = 5;
    double seed = 1;
    double maxP99Ms = 100;
    double maxTickMs = 400;
    double maxRssGrowthMib = 32;
};

const char* const kUsage =
    "usage: edi-webbench --port P [--host 127.0.0.1] [--readers 20] [--seconds 30] [--requests N] [--think-ms 0]\n"
    "                    [--pid PID]"
    " [--watchdog-socket PATH] [--baseline-seconds 5] [--seed S] [--max-p99-ms 100]\n"
    "                    [--max-tick-ms 400] [--max-rss-growth-mib 32]";

// What there is to ask for, as the overview tells it.
struct Site {
    std::vector<std::string> machines;
    std::vector<std::string> centres;
    long highestSerial = 0;
};

// The values of every "key":"..." (or "key":number) in a JSON text, in order.
std::vector<std::string> jsonValues(const std::string& json, const std::string& key)
{
    std::vector<std::string> values;
    const std::string marker = "\"" + key + "\":";
    for (size_t at = json.find(marker); at != std::string::npos; at = json.find(marker, at + 1)) {
        size_t begin = at + marker.size();
        const bool text = json[begin] == '"';
        begin += text ? 1 : 0;
        const size_t end = text ? json.find('"', begin) : json.find_first_of(",}", begin);
        values.push_back(json.substr(begin, end - begin));
    }
    return values;
}

Site readSite(bench::HttpClient& client)
{
    const bench::HttpAnswer overview = client.get("/api/overview");
    if (overview.status != 200)
        bench::fail("GET /api/overview: " + (overview.status ? std::to_string(overview.status) : overview.problem));
    auto distinct = [](const std::vector<std::string>& values) {
        const std::set<std::string> set(values.begin(), values.end());
        return std::vector<std::string>(set.begin(), set.end());
    };
    Site site;
    site.machines = distinct(jsonValues(overview.body, "machine"));
    site.centres = distinct(jsonValues(overview.body, "centre"));
    for (const std::string& serial : jsonValues(overview.body, "serial"))
        site.highestSerial = std::max(site.highestSerial, std::atol(serial.c_str()));
    if (site.machines.empty() || site.centres.empty() || site.highestSerial == 0)
        bench::fail("the overview lists no workstation, centre or job to ask for");
    return site;
}

std::string daysAgo(int days)
{
    const std::time_t then = std::time(nullptr) - std::time_t(days) * 86400;
    std::tm local{};
    localtime_r(&then, &local);
    char text[16];
    std::strftime(text, sizeof text, "%Y-%m-%d", &local);
    return text;
}

// A route of the mix: its name in the report, its share, and the request it makes.
struct Route {
    std::string name;
    int weight;
    std::function<std::string(const Site&, std::mt19937&)> target;
};

std::vector<Route> routes()
{
    auto pick = [](const std::vector<std::string>& from, std::mt19937& random) {
        return from[std::uniform_int_distribution<size_t>(0, from.size() - 1)(random)];
    };
    auto number = [](int low, int high, std::mt19937& random) {
        return std::to_string(std::uniform_int_distribution<int>(low, high)(random));
    };
    // The spans people look at: today, the week, the month (paged far), a centre's quarter, the
    // month's failures, and a whole year paged deep.
    auto history = [=](std::mt19937& random) {
        const std::string today = daysAgo(0);
        switch (std::uniform_int_distribution<int>(0, 5)(random)) {
        case 0: return std::string();
        case 1: return "?from=" + daysAgo(6) + "&to=" + today + "&page=" + number(1, 5, random);
        case 2: return "?from=" + daysAgo(29) + "&to=" + today + "&page=" + number(1, 20, random);
        case 3: return "?from=" + daysAgo(89) + "&to=" + today + "&centre=";
        case 4: return "?from=" + daysAgo(29) + "&to=" + today + "&failed=1&page=" + number(1, 3, random);
        default: return "?from=" + daysAgo(365) + "&to=" + today + "&page=" + number(1, 100, random);
        }
    };
    auto withCentre = [=](const Site& site, std::string query, std::mt19937& random) {
        return query.ends_with("&centre=") ? query + pick(site.centres, random) : query;
    };
    return {
        {"/", 12, [](const Site&, std::mt19937&) { return std::string("/"); }},
        {"/api/overview", 8, [](const Site&, std::mt19937&) { return std::string("/api/overview"); }},
        {"/timetable", 15,
         [=](const Site& site, std::mt19937& random) { return "/timetable?machine=" + pick(site.machines, random); }},
        {"/history", 25,
         [=](const Site& site, std::mt19937& random) { return "/history" + withCentre(site, history(random), random); }},
        {"/api/history", 10,
         [=](const Site& site, std::mt19937& random) { return "/api/history" + withCentre(site, history(random), random); }},
        {"/job", 20,
         [=](const Site& site, std::mt19937& random) {
             return "/job/" + number(1, int(site.highestSerial), random);
         }},
        {"/metrics", 10, [](const Site&, std::mt19937&) { return std::string("/metrics"); }},
    };
}

// Latencies in microseconds per route, and the failed requests.
struct Results {
    std::map<std::string, std::vector<double>> latencies;
    long errors = 0;
    std::vector<std::string> firstErrors;

    void merge(Results&& other)
    {
        for (auto& [route, values] : other.latencies)
            latencies[route].insert(latencies[route].end(), values.begin(), values.end());
        errors += other.errors;
        for (std::string& error : other.firstErrors) {
            if (firstErrors.size() < 5)
                firstErrors.push_back(std::move(error));
        }
    }
};

Results readLoop(const Options& options, const Site& site, int reader, Clock::time_point end,
                 std::atomic<long>& budget)
{
    const std::vector<Route> mix = routes();
    std::vector<int> weights;
    for (const Route& route : mix)
        weights.push_back(route.weight);
    std::discrete_distribution<size_t> choose(weights.begin(), weights.end());
    std::mt19937 random(unsigned(options.seed) * 1000 + unsigned(reader));
    bench::HttpClient client(options.host, int(options.port));
    Results results;
    while (Clock::now() < end && budget.fetch_sub(1) > 0) {
        const Route& route = mix[choose(random)];
        const std::string target = route.target(site, random);
        const Clock::time_point start = Clock::now();
        const bench::HttpAnswer answer = client.get(target);
        const double micros = std::chrono::duration<double, std::micro>(Clock::now() - start).count();
        results.latencies[route.name].push_back(micros);
        if (answer.status != 200) {
            ++results.errors;
            if (results.firstErrors.size() < 5)
                results.firstErrors.push_back(target + ": "
                                              + (answer.status ? std::to_string(answer.status) + " " + answer.body.substr(0, 200)
                                                               : answer.problem));
        }
        if (options.thinkMs > 0)
            std::this_thread::sleep_for(std::chrono::duration<double, std::milli>(options.thinkMs));
    }
    return results;
}

double percentile(const std::vector<double>& sorted, double fraction)
{
    if (sorted.empty())
        return 0;
    const size_t rank = size_t(std::ceil(fraction * double(sorted.size())));
    return sorted[std::min(sorted.size() - 1, rank == 0 ? 0 : rank - 1)];
}

// Prints the route's line; true when its 99th percentile is below the limit.
bool reportRoute(const std::string& name, std::vector<double> values, double maxP99Ms)
{
    std::sort(values.begin(), values.end());
    const double p99 = percentile(values, 0.99) / 1000;
    std::printf("%-14s %9zu %9.1f %9.1f %9.1f %9.1f\n", name.c_str(), values.size(), percentile(values, 0.5) / 1000,
                percentile(values, 0.9) / 1000, p99, values.empty() ? 0.0 : values.back() / 1000);
    return p99 < maxP99Ms;
}

double residentMib(long pid)
{
    std::ifstream status("/proc/" + std::to_string(pid) + "/status");
    for (std::string line; std::getline(status, line);) {
        if (line.rfind("VmRSS:", 0) == 0)
            return std::atof(line.c_str() + 6) / 1024.0;
    }
    return 0;
}

struct RssSample {
    double seconds;
    double mib;
};

// Prints the resident memory over the run; true when it grew by no more than the limit after the
// warm-up.
bool reportMemory(long pid, const std::vector<RssSample>& samples, double runSeconds, double maxGrowthMib)
{
    if (samples.empty())
        return true;
    const auto warm = std::find_if(samples.begin(), samples.end(),
                                   [&](const RssSample& sample) { return sample.seconds >= runSeconds / 10; });
    const RssSample& warmed = warm == samples.end() ? samples.back() : *warm;
    double highest = 0;
    for (const RssSample& sample : samples)
        highest = std::max(highest, sample.mib);
    const double growth = samples.back().mib - warmed.mib;
    std::printf("web process %ld resident: %.1f MiB at the start, %.1f MiB after %.0f s, %.1f MiB at the end"
                " (highest %.1f MiB; %+.1f MiB after the warm-up)\n",
                pid, samples.front().mib, warmed.mib, warmed.seconds, samples.back().mib, highest, growth);
    const size_t step = std::max<size_t>(1, samples.size() / 12);
    std::printf("  over the run:");
    for (size_t i = 0; i < samples.size(); i += step)
        std::printf(" %.0fs=%.1f", samples[i].seconds, samples[i].mib);
    std::printf("\n");
    return growth <= maxGrowthMib;
}

// The intervals between the ticks that arrived within [from, to], in milliseconds, sorted.
std::vector<double> tickIntervals(const std::vector<bench::SteadyTime>& ticks, Clock::time_point from,
                                  Clock::time_point to)
{
    std::vector<double> intervals;
    for (size_t i = 1; i < ticks.size(); ++i) {
        if (ticks[i - 1] >= from && ticks[i] <= to)
            intervals.push_back(std::chrono::duration<double, std::milli>(ticks[i] - ticks[i - 1]).count());
    }
    std::sort(intervals.begin(), intervals.end());
    return intervals;
}

void reportTicks(const char* when, const std::vector<double>& intervals)
{
    std::printf("scheduler timer %-14s %6zu ticks, interval p50 %.1f ms, p99 %.1f ms, longest %.1f ms\n", when,
                intervals.size(), percentile(intervals, 0.5), percentile(intervals, 0.99),
                intervals.empty() ? 0.0 : intervals.back());
}

}  // namespace

int main(int argc, char* argv[])
{
    bench::programName = "edi-webbench";
    Options options;
    bench::OptionTable table(kUsage);
    table.text("--host", options.host);
    table.number("--port", options.port);
    table.count("--readers", options.readers);
    table.number("--seconds", options.seconds);
    table.number("--requests", options.requests);
    table.number("--think-ms", options.thinkMs);
    table.number("--pid", options.pid);
    table.text("--watchdog-socket", options.watchdogSocket);
    table.number("--baseline-seconds", options.baselineSeconds);
    table.number("--seed", options.seed);
    table.number("--max-p99-ms", options.maxP99Ms);
    table.number("--max-tick-ms", options.maxTickMs);
    table.number("--max-rss-growth-mib", options.maxRssGrowthMib);
    table.parse(argc, argv, 1);
    if (options.port <= 0 || options.port > 65535)
        bench::fail(std::string("--port is required\n") + kUsage);

    bench::WatchdogTicks ticks;
    if (!options.watchdogSocket.empty() && !ticks.listen(options.watchdogSocket))
        bench::fail("cannot bind " + options.watchdogSocket);
    bench::HttpClient first(options.host, int(options.port), 300);  // the first page reads the database
    const Site site = readSite(first);
    std::printf("%zu workstations, %zu centres, serials up to %ld; %d readers for %.0f s%s\n", site.machines.size(),
                site.centres.size(), site.highestSerial, options.readers, options.seconds,
                options.requests > 0 ? (" or " + std::to_string(long(options.requests)) + " requests").c_str() : "");
    std::fflush(stdout);
    Clock::time_point baselineStart{};
    if (!options.watchdogSocket.empty()) {
        if (!ticks.waitForFirst(300))
            bench::fail("no scheduler ticked on " + options.watchdogSocket);
        baselineStart = Clock::now();
        std::this_thread::sleep_for(std::chrono::duration<double>(options.baselineSeconds));
    }

    const long pid = long(options.pid);
    std::vector<RssSample> samples;
    const Clock::time_point start = Clock::now();
    const Clock::time_point end = start + std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(options.seconds));
    const long initialBudget = options.requests > 0 ? long(options.requests) : std::numeric_limits<long>::max();
    std::atomic<long> budget(initialBudget);
    std::vector<Results> perReader(size_t(options.readers));
    std::atomic<int> done(0);
    std::vector<std::thread> readers;
    for (int reader = 0; reader < options.readers; ++reader)
        readers.emplace_back([&, reader] {
            perReader[size_t(reader)] = readLoop(options, site, reader, end, budget);
            ++done;
        });
    for (Clock::time_point next = start; pid > 0 && done.load() < options.readers;) {
        if (Clock::now() >= next) {
            samples.push_back({std::chrono::duration<double>(Clock::now() - start).count(), residentMib(pid)});
            next += std::chrono::seconds(1);
            // A long run tells how it goes once a minute, for whoever watches it.
            if (options.seconds >= 600 && samples.size() % 60 == 1 && samples.size() > 1) {
                std::printf("  %.0f s: %ld requests, web process %.1f MiB\n", samples.back().seconds,
                            initialBudget - budget.load(), samples.back().mib);
                std::fflush(stdout);
            }
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    for (std::thread& reader : readers)
        reader.join();
    const Clock::time_point finished = Clock::now();
    if (pid > 0)
        samples.push_back({std::chrono::duration<double>(finished - start).count(), residentMib(pid)});

    Results all;
    for (Results& results : perReader)
        all.merge(std::move(results));
    const double elapsed = std::chrono::duration<double>(finished - start).count();
    long requests = 0;
    for (const auto& [route, values] : all.latencies)
        requests += long(values.size());
    std::printf("%ld requests in %.1f s (%.0f/s), %ld errors\n", requests, elapsed, double(requests) / elapsed, all.errors);
    for (const std::string& error : all.firstErrors)
        std::printf("  error: %s\n", bench::printable(error).c_str());
    std::printf("%-14s %9s %9s %9s %9s %9s\n", "route", "requests", "p50 ms", "p90 ms", "p99 ms", "max ms");
    bool ok = all.errors == 0;
    std::vector<double> overall;
    for (const auto& [route, values] : all.latencies) {
        ok = reportRoute(route, values, options.maxP99Ms) && ok;
        overall.insert(overall.end(), values.begin(), values.end());
    }
    ok = reportRoute("all", overall, options.maxP99Ms) && ok;
    if (pid > 0)
        ok = reportMemory(pid, samples, elapsed, options.maxRssGrowthMib) && ok;
    if (!options.watchdogSocket.empty()) {
        const std::vector<bench::SteadyTime> moments = ticks.ticks();
        reportTicks("alone:", tickIntervals(moments, baselineStart, start));
        const std::vector<double> loaded = tickIntervals(moments, start, finished);
        reportTicks("under the load:", loaded);
        ok = !loaded.empty() && loaded.back() <= options.maxTickMs && ok;
    }
    std::printf("%s\n", ok ? "PASS" : "FAIL");
    return ok ? 0 : 1;
}
