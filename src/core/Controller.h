#pragma once
#include "model/Kinds.h"
#include "model/Outcome.h"

#include <QCoreApplication>
#include <QString>

#include <memory>

class Cashier;
class PayLogger;
struct CallState;
struct MemberRequest;

// The plug-in's parts, wired once, and the road of one host request through them:
// the request is read, handed to its operation, and the records it leaves behind
// are what the answer to the host is made of.
class Controller {
    Q_DECLARE_TR_FUNCTIONS(Controller)
public:
    // Every question to the person at the till goes to this cashier: the real
    // dialogs in the plug-in, a scripted one in a test.
    explicit Controller(std::unique_ptr<Cashier> cashier);
    ~Controller();
    Controller(const Controller&) = delete;
    Controller& operator=(const Controller&) = delete;

    const PayLogger& log() const;
    const CallState& state() const;

    // Empties the records of the previous call.
    void beginCall();
    // A member request (TranVipIn); type is the request type as far as it was read.
    Outcome memberRequest(const QString& text, RequestType& type);
    // A tender request (TranHead, TranPlu, UdpIn1).
    Outcome tenderRequest(const QString& head, const QString& plu, const QString& udp);

private:
    Outcome verifyMember(const MemberRequest& request);
    Outcome manageMembers(const MemberRequest& request);
    Outcome runTender();

    struct Parts;
    std::unique_ptr<Parts> d;
};
