#include "crm/CrmReplyTexts.h"

#include <QCoreApplication>

namespace {

// One row per transaction. The member transactions name themselves in front of the
// common words; the tender transactions share the plain words and put the CRM's
// result code before its message. Some texts differ from the pattern ("员密码校验…"
// begins without "会", the password check's broken reply lacks "解析"): hosts compare
// them as they stand, so they are not to be "corrected".
struct TextRow {
    const char* notJson;
    const char* notObject;
    const char* noData;
    const char* noResultCode;
    const char* refusedPrefix;
    const char* refusedSuffix;
    const char* refusedNoMsg;
};

#define TENDER_ROW(noResultCode)                                                                             \
    {                                                                                                        \
        QT_TRANSLATE_NOOP("CrmReply", "解析Vorda返回数据错误，请再次尝试或联系管理员处理"),                  \
            QT_TRANSLATE_NOOP("CrmReply", "解析Vorda返回数据失败，请再次尝试或联系管理员处理"),              \
            QT_TRANSLATE_NOOP("CrmReply", "未获取到Vorda返回数据节点"), noResultCode, "", "",                \
            QT_TRANSLATE_NOOP("CrmReply", "缺少错误信息")                                                    \
    }

const TextRow kRows[] = {
    {QT_TRANSLATE_NOOP("CrmReply", "解析Vorda返回数据错误，请再次尝试或联系管理员处理"),
     QT_TRANSLATE_NOOP("CrmReply", "解析Vorda返回数据失败，请再次尝试或联系管理员处理"),
     QT_TRANSLATE_NOOP("CrmReply", "未获取到Vorda返回数据节点"),
     QT_TRANSLATE_NOOP("CrmReply", "会员签到时未返回result_code"),
     QT_TRANSLATE_NOOP("CrmReply", "签到失败，"),
     QT_TRANSLATE_NOOP("CrmReply", "，请再次尝试或联系管理员处理"),
     QT_TRANSLATE_NOOP("CrmReply", "签到失败，请再次尝试或联系管理员处理")},
    // A member query whose reply is not JSON is no refusal: the till asks its own
    // member table instead, so that case has no words.
    {"", QT_TRANSLATE_NOOP("CrmReply", "会员查询解析Vorda返回数据失败，请再次尝试或联系管理员处理"),
     QT_TRANSLATE_NOOP("CrmReply", "会员查询未获取到Vorda返回数据节点"),
     QT_TRANSLATE_NOOP("CrmReply", "会员查询时未返回result_code"),
     QT_TRANSLATE_NOOP("CrmReply", "会员验证失败，"),
     QT_TRANSLATE_NOOP("CrmReply", "，请再次尝试或联系管理员处理"),
     QT_TRANSLATE_NOOP("CrmReply", "会员验证失败，请再次尝试或联系管理员处理")},
    {QT_TRANSLATE_NOOP("CrmReply", "会员密码校验Vorda返回数据错误，请再次尝试或联系管理员处理"),
     QT_TRANSLATE_NOOP("CrmReply", "会员密码校验解析Vorda返回数据失败，请再次尝试或联系管理员处理"),
     QT_TRANSLATE_NOOP("CrmReply", "会员密码校验未获取到Vorda返回数据节点"),
     QT_TRANSLATE_NOOP("CrmReply", "员密码校验时未返回result_code"),
     QT_TRANSLATE_NOOP("CrmReply", "会员验证失败，"),
     QT_TRANSLATE_NOOP("CrmReply", "，请再次尝试或联系管理员处理"),
     QT_TRANSLATE_NOOP("CrmReply", "会员验证失败，请再次尝试或联系管理员处理")},
    {QT_TRANSLATE_NOOP("CrmReply", "订单结算解析Vorda返回数据错误，请再次尝试或联系管理员处理"),
     QT_TRANSLATE_NOOP("CrmReply", "订单结算解析Vorda返回数据失败，请再次尝试或联系管理员处理"),
     QT_TRANSLATE_NOOP("CrmReply", "订单结算未获取到Vorda返回数据节点"),
     QT_TRANSLATE_NOOP("CrmReply", "订单结算时未返回result_code"),
     QT_TRANSLATE_NOOP("CrmReply", "订单结算失败，"), "", QT_TRANSLATE_NOOP("CrmReply", "订单结算失败。")},
    TENDER_ROW(QT_TRANSLATE_NOOP("CrmReply", "券查询异常")),
    TENDER_ROW(QT_TRANSLATE_NOOP("CrmReply", "券校验异常")),
    TENDER_ROW(QT_TRANSLATE_NOOP("CrmReply", "券核销异常")),
    TENDER_ROW(QT_TRANSLATE_NOOP("CrmReply", "积分支付异常")),
};

QString text(const char* source) {
    return QCoreApplication::translate("CrmReply", source);
}

} // namespace

CrmReplyTexts CrmReplyTexts::of(Of transaction) {
    const TextRow& row = kRows[static_cast<int>(transaction)];
    CrmReplyTexts texts;
    texts.notJson = text(row.notJson);
    texts.notObject = text(row.notObject);
    texts.noData = text(row.noData);
    texts.noResultCode = text(row.noResultCode);
    texts.refusedPrefix = text(row.refusedPrefix);
    texts.refusedSuffix = text(row.refusedSuffix);
    texts.refusedNoMsg = text(row.refusedNoMsg);
    texts.codeFirst = transaction >= Of::CouponQuery;
    return texts;
}
