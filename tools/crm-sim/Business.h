#pragma once

// Business mode of the Vorda CRM simulator.
//
// A stand-in CRM with believable rules: stores, devices and their tokens, members with
// point accounts, coupons, settlements, points payments and coupon write-offs, all kept
// in a SQLite file so that a demo till can be stopped and started again without losing
// what it did. It plugs into the server as its fallback:
//
//     crmsim::Business biz;
//     biz.open(QStringLiteral(":memory:"), &error);  // or a file; a new file gets the demo data
//     server.setFallback([&biz](const crmsim::Request& r) { return biz.handle(r); });
//
// Replies follow the CRM's shape, {"data":{"result_code":"1"|"0","result_msg":...,...}},
// every value a JSON string. Requests repeated with the same order number are answered
// as the first time and change nothing, as a till that retries after a time-out needs.
//
// Every public method may be called from any thread; requests are handled one at a time.

#include "CrmSim.h"

#include <QByteArray>
#include <QString>

#include <memory>

namespace crmsim {

class Business {
public:
    // What a transaction code answers instead of its business reply, for the demo, the
    // benchmarks and the tests: a CRM that never answers, one that fails, one behind a
    // broken proxy, and one that applies the request and then hangs up without a reply
    // (a CRM that goes down mid-exchange).
    enum class Fault { None, Hang, Http500, NotJson, Drop };

    Business();
    ~Business();

    Business(const Business&) = delete;
    Business& operator=(const Business&) = delete;

    // Opens (or creates) the state file; a file without our tables gets the demo data.
    // ":memory:" keeps the state private to this object and gone with it.
    bool open(const QString& stateFile, QString* error = nullptr);
    // Drops everything and loads the demo data again.
    bool reset(QString* error = nullptr);

    // One CRM request; runs on the server's threads.
    Reply handle(const Request& req);

    void setLatency(int ms); // every reply waits this long first
    void setFault(const QByteArray& txcode, Fault f);

private:
    struct Impl;
    std::unique_ptr<Impl> d;
};

} // namespace crmsim
