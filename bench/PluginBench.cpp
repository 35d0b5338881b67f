// The plug-in as a host meets it: loaded with QLibrary and called through its C
// functions. What the load and the first call cost, and whether memory stays flat
// over thousands of calls.
#include "Bench.h"
#include "CashierRobot.h"
#include "CrmSim.h"
#include "Scenario.h"
#include "api/ResultFrame.h"
#include "support/WorkDir.h"

#include <QApplication>
#include <QLabel>
#include <QLibrary>
#include <QVBoxLayout>
#include <QWidget>

#include <vector>

namespace bench {

namespace {

using VipTrans = void (*)(const char*, char*);

// What the first call costs next to a warm one: the controller and every dialog are built then.
// before and afterLoad: resident memory before and after the load.
void firstCall(Report& r, VipTrans vip, double before, double afterLoad) {
    std::vector<char> out(ResultFrame::MaxResultBytes);
    const char* cheap = R"({"reqtype":"51"})";
    const QByteArray refused = R"({"rtncode":"000000","rtnmsg":"交易类型错误"})";
    QElapsedTimer t;
    t.start();
    vip(cheap, out.data()); // builds the controller
    const double firstMs = elapsedMs(t);
    const double afterFirst = residentKb();
    if (QByteArray(out.data()) != refused)
        r.wrong(QStringLiteral("first call answered ") + QString::fromUtf8(out.data()));
    Samples warm;
    for (int i = 0; i < 20; ++i) {
        t.restart();
        vip(cheap, out.data());
        warm.add(elapsedMs(t));
    }

    r.add({QStringLiteral(
               "first call {\"reqtype\":\"51\"} (controller built; each dialog when first needed) vs "
               "the same call warm"),
           duration(firstMs), duration(warm.median()), ratio(firstMs, warm.median()),
           QStringLiteral("< 3 ms"), met(firstMs < 3.0)});
    r.add({QStringLiteral("resident memory added by load + first call (load alone: %1) vs the host before")
               .arg(megabytes(afterLoad - before)),
           megabytes(afterFirst - before), megabytes(before), ratio(afterFirst - before, before),
           QStringLiteral("(info)"), QStringLiteral("–")});
}

// Member verifications against the simulator through the exported call: thread,
// network, busy screen, JSON and log on every call; resident memory must stay flat.
void memoryOverCalls(const Options& o, Report& r, crmsim::Server& crm, VipTrans vip) {
    std::vector<char> out(ResultFrame::MaxResultBytes);
    const int calls = o.pick(10000, 1000);
    progress(QStringLiteral("memory over %1 member verifications through the plug-in").arg(calls));
    const QByteArray request = memberRequest();
    const QByteArray expected = memberResult();
    double after100 = 0.0, afterHalf = 0.0;
    WrongCount wrong(r, QStringLiteral("verification through the plug-in"));
    for (int i = 1; i <= calls; ++i) {
        vip(request.constData(), out.data());
        if (QByteArray(out.data()) != expected)
            wrong.fail(QString::fromUtf8(out.data()));
        // The simulator keeps every request; it must not be what grows.
        if (i % 100 == 0)
            crm.clearRequests();
        if (i == 100)
            after100 = residentKb();
        if (i == calls / 2)
            afterHalf = residentKb();
    }
    const double afterAll = residentKb();

    const double growth = afterAll - after100;
    // A leak grows with the calls; the allocator's own settling does not: the second
    // half of the calls is shown apart.
    r.add({QStringLiteral(
               "resident memory after %1 member verifications vs after 100 (growth %2 KB, of it %3 KB "
               "in calls %4–%1)")
               .arg(calls)
               .arg(QString::number(growth, 'f', 0))
               .arg(QString::number(afterAll - afterHalf, 'f', 0))
               .arg(calls / 2 + 1),
           megabytes(afterAll), megabytes(after100), ratio(afterAll, after100),
           QStringLiteral("growth < 1 MB"), met(growth < 1024.0)});
}

} // namespace

void pluginLoadAndMemory(const Options& o, Report& r) {
    progress(QStringLiteral("plug-in load and first call"));
    crmsim::Server crm;
    if (!crm.start()) {
        r.wrong(QStringLiteral("the CRM simulator did not start"));
        return;
    }
    crm.setFallback([member = memberReply()](const crmsim::Request&) { return crmsim::Reply::json(member); });
    WorkDir dir;
    dir.configureTill(crm.baseUrl(), 5);
    CashierRobot guard;

    // A host has its own window up, fonts and style loaded, before it loads the plug-in.
    QWidget host;
    auto* layout = new QVBoxLayout(&host);
    layout->addWidget(new QLabel(QStringLiteral("收银台 POS host"), &host));
    host.resize(800, 600);
    host.show();
    QApplication::processEvents();

    const double before = residentKb();
    QLibrary plugin(QStringLiteral(ZOVORDA_PLUGIN_PATH));
    QElapsedTimer t;
    t.start();
    const bool loaded = plugin.load();
    auto vip = reinterpret_cast<VipTrans>(plugin.resolve("ZoVipTrans"));
    const double loadMs = elapsedMs(t);
    if (!loaded || !vip) {
        r.wrong(QStringLiteral("loading the plug-in: ") + plugin.errorString());
        return;
    }
    const double afterLoad = residentKb();

    r.add({QStringLiteral("plug-in load (QLibrary::load + resolve)"), duration(loadMs), QStringLiteral("–"),
           QStringLiteral("–"), QStringLiteral("(info)"), QStringLiteral("–")});
    firstCall(r, vip, before, afterLoad);
    memoryOverCalls(o, r, crm, vip);
    if (!guard.allDone())
        r.wrong(QStringLiteral("a dialog opened: ") + guard.failures());
}

} // namespace bench
