#pragma once
// The member every verification in the benchmark finds: signed in today, one
// member, three point accounts.
#include "support/CrmReplies.h"
#include "support/Requests.h"

#include <QByteArray>

namespace bench {

constexpr const char* kMemberKey = "13800000001";

inline QByteArray memberReply() {
    return CrmReplies::members(
        {CrmReplies::member("6000000000000001", "C0001", "张三", QLatin1String(kMemberKey),
                            {CrmReplies::account("A1", 1200, 12), CrmReplies::account("A2", 300, 3),
                             CrmReplies::account("A3", 50, 0.5)})});
}

inline QByteArray memberRequest() {
    return Requests::json(Requests::verifyRequest(QLatin1String(kMemberKey)));
}

// What the host must get back for that member, byte for byte.
inline QByteArray memberResult() {
    return R"({"HasVipRight":"1","JfRecord":[{"BalanceJfTotal":"12","JfTotal":"1200","PrjCode":"A1","PrjName":"积分A1"},)"
           R"({"BalanceJfTotal":"3","JfTotal":"300","PrjCode":"A2","PrjName":"积分A2"},)"
           R"({"BalanceJfTotal":"0.5","JfTotal":"50","PrjCode":"A3","PrjName":"积分A3"}],)"
           R"("address":"深圳市南山区","balance":"15.5","birthday":"1990-01-01","code":"C0001","name":"张三",)"
           R"("phone":"13800000001","rtncode":"111111","rtnmsg":"成功","score":"1550","type_code":"G1",)"
           R"("type_name":"金卡","vipcardid":"6000000000000001"})";
}

} // namespace bench
