#!/usr/bin/env python3
"""Writes the hand-made seed inputs into fuzz/corpus/<target>/seed-*, and with
--from-logs FOLDER... the requests and replies of the test suites into suite-* (see
"the suites' own inputs" below).

The committed corpus is these seeds plus what the fuzzer found and kept after
minimisation (fuzz/run.sh --merge). Run this again after changing a seed; files of
the same name are overwritten, nothing else is touched.
"""
import glob
import hashlib
import json
import os
import re
import sys

HERE = os.path.dirname(os.path.abspath(__file__))


def dump(obj):
    return json.dumps(obj, ensure_ascii=False, separators=(",", ":")).encode()


def write(target, items, prefix="seed-"):
    folder = os.path.join(HERE, "corpus", target)
    os.makedirs(folder, exist_ok=True)
    for data in items:
        name = prefix + hashlib.sha1(data).hexdigest()[:16]
        with open(os.path.join(folder, name), "wb") as f:
            f.write(data)
    print(f"{target}: {len(items)} seeds")


# ---------------------------------------------------------------- member requests
HEAD50 = {"reqtype": "50", "store_id": "S001", "station_id": "POS01", "operator_id": "0001",
          "business_date": "2024-05-01", "biztype": "1"}
ORDER63 = {"reqtype": "63", "store_id": "S001", "station_id": "POS01", "operator_id": "0001",
           "business_date": "2024-05-01", "pos_saleno": "100001", "pos_billno": "B100001",
           "pos_salebgntime": "2024-05-01 10:00:00", "code": "123456", "vipcardid": "1000000000000001",
           "sale_type": "sale", "amount": 25.5, "emp_id": "E01", "biztype": "1", "sourcebillno": "",
           "plucounttotal": "2", "shouldtotal": "25.5", "actualtotal": "25.5",
           "products": [{"pi": "P1", "bc": "690001", "pn": "牛奶", "yj": 12.75, "hyj": 12.75, "fsp": 12.75,
                         "sc": 2, "st": 25.5}],
           "pays": [{"code": "01", "extranno": "X1", "payno": "", "pay_amount": 25.5, "zf_amount": 25.5}]}


def vip_seeds():
    out = []
    for key in ["123456", "13800000001", "1000000000000001", "李雷", "张三", "O'Brien", "Tom Smith",
                "999999", "000000", "", "x' or '1'='1", "123456' --", "李雷\\", "李雷\n", "１２３４５６"]:
        out.append(dump(dict(HEAD50, code=key, cardid="")))
    out.append(dump(dict(HEAD50, code="000000", cardid="123456")))
    out.append(dump(dict(HEAD50, code=123456, cardid=1000000000000001)))
    out.append(dump(dict(HEAD50, code="123456", cardid="", biztype="3")))
    out.append(dump(dict(HEAD50, code="123456", cardid="", biztype="6")))
    out.append(dump(dict(HEAD50)))  # the cashier types the code
    out.append(dump(dict(HEAD50, code="123456")))  # no cardid
    for missing in ["store_id", "station_id", "operator_id", "business_date", "biztype"]:
        d = dict(HEAD50, code="123456", cardid="")
        del d[missing]
        out.append(dump(d))
    out.append(dump(dict(HEAD50, reqtype=50, code="123456", cardid="")))
    out.append(dump(dict(HEAD50, reqtype="51")))
    out.append(dump({"store_id": "S001"}))
    out.append(dump(ORDER63))
    out.append(dump(dict(ORDER63, sale_type="return", old_pos_saleno="99", old_pos_billno="B99", amount=-25)))
    out.append(dump(dict(ORDER63, amount=0.004)))
    out.append(dump(dict(ORDER63, amount="abc")))
    out.append(dump(dict(ORDER63, amount=1e308, shouldtotal="-1e308", plucounttotal="9223372036854775807")))
    out.append(dump(dict(ORDER63, biztype="6", products="x", pays={"a": 1})))
    for missing in ["products", "pays", "amount", "sale_type", "actualtotal"]:
        d = dict(ORDER63)
        del d[missing]
        out.append(dump(d))
    out.append(dump({"reqtype": "78", "store_id": "S001"}))
    out.append(dump({"reqtype": "78"}))
    out += [b"", b"{", b"[]", b"null", b"\"50\"", b"{\"reqtype\":\"50\",}", b"[[[[[[[[[[[[[[[[]]]]]]]]]]]]]]]]",
            b'{"reqtype":"50","code":"\\ud800","cardid":""}', b'{"reqtype":"5\xff0"}',
            b'{"reqtype":"50","reqtype":"63"}', b'{"reqtype":{"a":[1,2,{"b":null}]}}']
    return out


# ---------------------------------------------------------------- tender requests
HEAD = {"pay_type": "J", "shop_code": "S001", "pos_no": "POS01", "oper_code": "0001",
        "tr_bizdate": "2024-05-01", "bill_no": "B100001", "sale_no": "100001", "txn_type": "SALE",
        "vip_cardno": "123456", "vip_cardid": "1000000000000001", "vip_systype": "1",
        "order_amount": 25.5, "tr_amt": 10, "pay_code": "12", "pay_name": "积分"}
PLU = {"plu": [{"pi": "P1", "bc": "690001", "pn": "牛奶", "yj": 12.75, "hyj": 12.75, "fsp": 12.75, "sc": 2}]}
PAYS = {"pays": [{"code": "12", "name": "券", "pay_amt": "15.5", "payno": "C001", "extranno": "F1"},
                 {"code": "12", "name": "券", "pay_amt": "10", "payno": "C002", "extranno": "F2"},
                 {"code": "01", "name": "现金", "pay_amt": "0", "payno": "", "extranno": ""}],
        "paysnow": [{"code": "12", "name": "券", "pay_amt": "-10", "payno": "C002", "extranno": "F2"}]}


def card(head, plu=PLU, udp=b""):
    parts = [head if isinstance(head, bytes) else dump(head),
             plu if isinstance(plu, bytes) else dump(plu),
             udp if isinstance(udp, bytes) else dump(udp)]
    return b"\0".join(parts)


def card_seeds():
    refund_q = dict(HEAD, pay_type="Q", txn_type="REFUND", oribill_no="B100000", orisale_no="100000")
    out = [card(HEAD), card(dict(HEAD, pay_type="Q")), card(dict(HEAD, txn_type="REFUND", oribill_no="B1",
                                                                 orisale_no="1")),
           card(refund_q, PLU, PAYS),
           card(dict(refund_q, order_amount=-25.5), PLU, PAYS),
           card(dict(refund_q, order_amount=10), PLU, PAYS),  # partial refund
           card(refund_q, PLU, dict(PAYS, paysnow=[])),
           card(refund_q, PLU, {"pays": PAYS["pays"]}),
           card(refund_q, PLU, {"pays": [{"code": "12", "name": "券", "pay_amt": "1"}], "paysnow": []}),
           card(refund_q, PLU, b""), card(refund_q, PLU, b"{"), card(refund_q, PLU, b"[]"),
           card(dict(refund_q, order_amount=1e308), PLU,
                {"pays": [{"code": "12", "name": "a", "pay_amt": "1e308", "payno": "C1", "extranno": "F"}],
                 "paysnow": []}),
           card(dict(refund_q, order_amount=1), PLU,
                {"pays": [{"code": "12", "name": "a", "pay_amt": "nan", "payno": "C1", "extranno": "F"},
                          {"code": "12", "name": "a", "pay_amt": "inf", "payno": "C2", "extranno": "F"}],
                 "paysnow": []}),
           card(dict(HEAD, txn_type="CANCEL")), card(dict(HEAD, txn_type="sale")),
           card(dict(HEAD, pay_type="X")), card(dict(HEAD, pay_type="q")),
           card(dict(HEAD, vip_cardno="")), card(dict(HEAD, order_amount=0.004)),
           card(dict(HEAD, tr_amt="abc")), card(dict(HEAD, order_amount=-100, tr_amt=1e300)),
           card(dict(HEAD, vip_cardid="13800000001")), card(dict(HEAD, vip_cardid="张三")),
           card(dict(HEAD, txn_type="REFUND")),
           card(HEAD, b"{}"), card(HEAD, {"plu": []}), card(HEAD, b"{\"plu\":"), card(HEAD, b"[1,2,3]"),
           card(HEAD, {"goods": []}), card(HEAD, {"plu": "x"}),
           card(b"{"), card(b"[]"), card(b""), b"", b"\0\0",
           card(dict(HEAD, pay_type=1, txn_type=["SALE"], tr_amt={"v": 1}))]
    for missing in HEAD:
        if missing == "vip_systype":
            continue
        d = dict(HEAD)
        del d[missing]
        out.append(card(d))
    return out


# ---------------------------------------------------------------- CRM replies
def ok(**fields):
    return {"data": dict({"result_code": "1", "result_msg": ""}, **fields)}


MEMBER = {"member_id": "1000000000000001", "cardno": "123456", "grade_level": "G1", "grade_name": "金卡",
          "member_name": "李雷", "birthday": "1990-01-01", "mobile": "13800000001", "address": "上海市",
          "actionlist": [{"score_value": "10", "score_cash": "1.5", "action_no": "A1", "action_name": "积分"},
                         {"score_value": 5, "score_cash": 0.25, "action_no": "A2", "action_name": "活动"}]}
MEMBER2 = dict(MEMBER, member_id="1000000000000002", cardno="234567", member_name="韩梅梅", actionlist=[])
COUPONS = [{"coupon_no": "C001", "useflag": "1", "pay_value": 10, "payflow": "PF1"},
           {"coupon_no": "C002", "useflag": 1, "pay_value": "5.5", "payflow": "PF2"}]
EVERYTHING = ok(status="1", token="TK2", shop_id="S02", memberinfo=[MEMBER], score="12", score_value="112",
                couponInfo={"ticket_name": "满100减10"}, coupon_list=COUPONS)


def reply(op, flags, body):
    return f"{op}{flags}".encode() + (body if isinstance(body, bytes) else dump(body))


def reply_seeds():
    common = [b"", b"not json", b"[]", b"{}", b"{\"result_code\":\"1\"}", dump({"data": {}}),
              dump({"data": {"result_code": "0"}}), dump({"data": {"result_code": "0", "result_msg": "拒绝"}}),
              dump({"data": {"result_code": 1}}), dump({"data": "x"}), dump({"data": {"result_code": None}})]
    out = []
    for op in range(10):
        for body in common:
            out.append(reply(op, 0, body))
    out += [reply(0, 0, ok(status="1", token="TK2", shop_id="S02")), reply(0, 0, ok(status="0")),
            reply(0, 0, ok(status="1")), reply(0, 0, ok(status="1", token="TK2")),
            reply(0, 0, ok(status=1, token=["x"], shop_id={"a": 1})),
            reply(0, 0, ok(status="1", token="a\r\nX-Injected: 1", shop_id="S\u0000\u2028"))]
    out += [reply(1, 0, ok(memberinfo=[MEMBER])), reply(1, 0, ok(memberinfo=[MEMBER, MEMBER2])),
            reply(1, 2, ok(memberinfo=[MEMBER, MEMBER2])), reply(1, 0, ok(memberinfo=[])),
            reply(1, 0, ok(memberinfo=[MEMBER, {k: v for k, v in MEMBER2.items() if k != "grade_name"}])),
            reply(1, 0, ok(memberinfo=[dict(MEMBER, actionlist=[{"score_value": "12.5", "score_cash": "x"}])])),
            reply(1, 0, ok(memberinfo=[dict(MEMBER, actionlist=[{"score_value": "9223372036854775807"},
                                                                 {"score_value": "9223372036854775807"}])])),
            reply(1, 0, ok(memberinfo=[dict(MEMBER, actionlist=[{"score_value": 1e300, "score_cash": 1e308},
                                                                 {"score_cash": 1e308}])])),
            reply(1, 0, ok(memberinfo=[MEMBER, dict(MEMBER, member_name="Twin")])),
            reply(1, 0, ok(memberinfo={"a": MEMBER})), reply(1, 0, ok(memberinfo="x")),
            reply(1, 1, ok(memberinfo=[MEMBER])), reply(1, 1, b"<html>Bad Request</html>"),
            reply(1, 0, dump(ok(memberinfo=[MEMBER])) + b"\0trailing")]
    out += [reply(2, 0, ok()), reply(2, 1, {"data": {"result_code": "0", "result_msg": "密码错误"}})]
    out += [reply(3, 0, ok(score="12", score_value="112")), reply(3, 0, ok(score="12")),
            reply(3, 0, ok(score=12, score_value=112.5, couponInfo=[
                {"ticket_name": "满100减10", "ticket_value": "10", "coupon_no": "C9", "begin_date": "2024-05-01",
                 "end_date": "2024-06-01", "remark": "限本店"},
                {"ticket_name": "赠品券", "ticket_value": "", "coupon_no": "C10"}])),
            reply(3, 0, ok(score="1", score_value="2", couponInfo={"a": 1})),
            reply(3, 0, ok(score="1", score_value="2", couponInfo=[[], None, "x", 1]))]
    out += [reply(4, 0, ok(couponInfo={"ticket_name": "满100减10"})), reply(4, 0, ok(couponInfo={})),
            reply(4, 0, ok(couponInfo=[{"ticket_name": "x"}]))]
    out += [reply(5, 0, ok(coupon_list=COUPONS)), reply(5, 0, ok(coupon_list=[])),
            reply(5, 0, ok(coupon_list=[{"coupon_no": "C001", "useflag": "1"}])),
            reply(5, 0, ok(coupon_list=[{"coupon_no": "C001"}])), reply(5, 0, ok(coupon_list=[{}])),
            reply(5, 0, ok(coupon_list=[{"coupon_no": "C001", "useflag": "1", "pay_value": 1e308},
                                        {"coupon_no": "C001", "useflag": "9", "pay_value": "-1"}]))]
    out += [reply(6, 0, ok()), reply(6, 8, ok()), reply(6, 0, {"data": {"result_code": "0", "result_msg": "积分不足"}})]
    out += [reply(7, 0, EVERYTHING), reply(7, 4, EVERYTHING),
            reply(7, 4, ok(couponInfo={"ticket_name": "x"}, coupon_list=[{"coupon_no": "C002"}])),
            reply(7, 0, ok(couponInfo={"ticket_name": "x"}))]
    out += [reply(8, 0, EVERYTHING), reply(8, 2, ok(status="1", token="T", shop_id="S",
                                                    memberinfo=[MEMBER, MEMBER2])),
            reply(8, 8, EVERYTHING), reply(8, 8, dict(EVERYTHING, data=dict(EVERYTHING["data"], score_value=None)))]
    out += [reply(9, 0, EVERYTHING), reply(9, 4, EVERYTHING), reply(9, 8, EVERYTHING),
            reply(9, 0, ok(couponInfo={"ticket_name": "x"}, coupon_list=[{"coupon_no": "C001", "useflag": "1",
                                                                          "pay_value": 3}])),
            reply(9, 0, ok(couponInfo={"ticket_name": "x"},
                           coupon_list=[{"coupon_no": "C001", "useflag": "0", "pay_value": 3, "payflow": "P"}]))]
    return out


# ---------------------------------------------------------------- the readers on their own
NOT_MONEY = ["nan", "-inf", "inf", 1e10, -1e10, "1e308", True, False, {"v": 1}, [1], None, "", "abc", "0.004",
             "0.006", " 12.5 ", "1e2", 2.5, "2.5", -0.0]


def member_request_seeds():
    out = vip_seeds()
    for key in ["amount", "plucounttotal", "shouldtotal", "actualtotal"]:
        for value in NOT_MONEY:
            out.append(dump(dict(ORDER63, **{key: value})))
    for key in ["yj", "hyj", "fsp", "st", "sc"]:
        for value in NOT_MONEY:
            out.append(dump(dict(ORDER63, products=[dict(ORDER63["products"][0], **{key: value})])))
    for key in ["pay_amount", "zf_amount"]:
        for value in NOT_MONEY:
            out.append(dump(dict(ORDER63, pays=[dict(ORDER63["pays"][0], **{key: value})])))
    for value in [None, {}, "x", 1, True, [], [None], [1, "x"]]:
        out.append(dump(dict(ORDER63, products=value)))
        out.append(dump(dict(ORDER63, pays=value)))
    out.append(dump({"reqtype": "78"}))
    out.append(dump({"reqtype": 78, "store_id": 1}))
    return out


def tender_request_seeds():
    out = card_seeds()
    refund_q = dict(HEAD, pay_type="Q", txn_type="REFUND", oribill_no="B100000", orisale_no="100000")
    for key in ["order_amount", "tr_amt"]:
        for value in NOT_MONEY:
            out.append(card(dict(HEAD, **{key: value})))
    for key in ["yj", "hyj", "fsp", "st", "sc"]:
        for value in NOT_MONEY:
            out.append(card(HEAD, {"plu": [dict(PLU["plu"][0], **{key: value})]}))
    for value in NOT_MONEY:
        pays = [dict(PAYS["pays"][0], pay_amt=value)]
        out.append(card(refund_q, PLU, {"pays": pays, "paysnow": []}))
        out.append(card(refund_q, PLU, {"pays": PAYS["pays"], "paysnow": pays}))
    for value in [None, {}, "x", 1, [None]]:
        out.append(card(refund_q, PLU, {"pays": value, "paysnow": []}))
        out.append(card(HEAD, {"plu": value}))
    return out


TRANSACTIONS = 8  # sign-in, member query, password, settlement, coupon query, check, write-off, points


def crm_reply_seeds():
    """Every reply body of fuzz_reply's seeds, for every transaction."""
    bodies = sorted({item[2:] for item in reply_seeds()})
    return [str(t).encode() + body for body in bodies for t in range(TRANSACTIONS)]


# ---------------------------------------------------------------- settings files
SIGNIN = b"TK2\0S02\x002024-05-01 08:00:00\0"  # token, shop id, sign-in time; then the file
INI = ("; 会员接口设置，由安装程序写入\n"
       "[Config]\n"
       "HttpAddress=http://127.0.0.1:8080\n"
       "company_id=C001\n"
       "password=pw\n"
       "token=TK1\n"
       "shop_id=S01\n"
       "SigninTime=2024-04-30 08:00:00\n"
       "shop_name=一号店\n"
       "TimeOut=20\n"
       "\n"
       "# 同步程序\n"
       "ExePath=/opt/会员/同步程序\n")


def settings_seeds():
    utf8 = INI.encode()
    gbk = INI.replace("/opt/会员/同步程序", "C:\\Tools\\sync.exe").encode("gbk")
    texts = [utf8, gbk, utf8.replace(b"\n", b"\r\n"), b"\xef\xbb\xbf" + utf8, utf8.rstrip(b"\n"), gbk.rstrip(b"\n"),
             b"", b"\n", b"; only a comment", b"[Config]", b"[Config]\r\n", b"[config]\ntoken=a",
             b"[Other]\ntoken=x\nshop_id=y\n", b"token=before any section\n[Config]\nTOKEN = T\n",
             b"[Config]\ntoken=1\n[Other]\na=b\n[CONFIG]\ntoken=2\nSigninTime=\n",
             b"[Config]\nshop_id=\"  quoted  \"\nname=C:\\x\\y\\x4e00\\\ntail=\\\n",
             b"[ Config ]x\n  token\t=\t old\nshop_id=\xff\xfe\n", b"[Config\ntoken=x\n=value\n[]\nk=v\n",
             b"a\rb=c\r\n[Config]\rtoken=x\n", b"\xef\xbb\xbftoken=x\n", b"\xef\xbb\xbf[Config]\ntoken=x",
             b"[Config]\nshop_name=" + "全".encode("gbk") + b"\ntoken=\xff\n"]
    values = [SIGNIN, b"\0\0\0", b"  blank around  \0\"quoted\"\0back\\slash\\x41\0",
              "一号店\0\U0001F600\0\t\r\n\x01\x7f\u3000\0".encode(), b"\xff\xfe\0\xc3\0\xe4\xb8\0"]
    return [v + t for v in values for t in texts]


# ---------------------------------------------------------------- the suites' own inputs
# Run the suites with ZOVORDA_KEEP_WORKDIR=1 (and TMPDIR pointing at an empty folder):
# each keeps its till directory, whose LOG/PayLog*.txt holds every request the suite
# made and every reply the simulator gave (the log masks passwords and tokens), and
# whose *.ini are the settings files as the suite and the sign-in left them.
RECORD = re.compile(r"时间：[^\n]*\n方式：[^\n]*\n位置：([^\n]*)\n内容：(.*?)\n\n(?=时间：|\Z)", re.S)
CALLS = {"会员签到": 0, "会员验证": 1, "会员密码校验": 2, "订单结算": 3, "券查询报文": 4, "券检验报文": 5,
         "券核销报文": 6, "积分支付报文": 7}


def from_logs(folders):
    vip, tender, replies, settings = [], [], [], []
    for folder in folders:
        for ini in glob.glob(os.path.join(folder, "**", "*.ini"), recursive=True):
            if os.path.isfile(ini):
                with open(ini, "rb") as f:
                    settings.append(SIGNIN + f.read())
        for log in glob.glob(os.path.join(folder, "**", "LOG", "PayLog*.txt"), recursive=True):
            if not os.path.isfile(log):
                continue
            with open(log, encoding="utf-8", errors="surrogateescape") as f:
                text = f.read()
            call, parts = None, {}
            for step, content in RECORD.findall(text):
                data = content.encode("utf-8", errors="surrogateescape")
                if step == "传入参数":
                    vip.append(data)
                elif step.startswith("传入参数"):
                    parts[step[4:]] = data
                    if step == "传入参数UdpIn1":
                        tender.append(card(parts.get("TranHead", b""), parts.get("TranPlu", b""), data))
                        parts = {}
                elif step in CALLS:
                    call = CALLS[step]
                elif step == "调用成功" and call is not None:
                    replies.append(str(call).encode() + data)
    return [sorted(set(items)) for items in (vip, tender, replies, settings)]


if __name__ == "__main__":
    if sys.argv[1:2] == ["--from-logs"]:
        vip, tender, replies, settings = from_logs(sys.argv[2:])
        write("fuzz_member_request", vip, "suite-")
        write("fuzz_tender_request", tender, "suite-")
        write("fuzz_crm_reply", replies, "suite-")
        write("fuzz_settings_file", settings, "suite-")
        sys.exit(0)
    write("fuzz_vip", vip_seeds())
    write("fuzz_card", card_seeds())
    write("fuzz_reply", reply_seeds())
    write("fuzz_member_request", member_request_seeds())
    write("fuzz_tender_request", tender_request_seeds())
    write("fuzz_crm_reply", crm_reply_seeds())
    write("fuzz_settings_file", settings_seeds())
    sys.exit(0)
