#include "FuzzHost.h"

#include "api/ResultFrame.h"
#include "core/Controller.h"
#include "ui/DialogCashier.h"

#include <QApplication>
#include <QDialog>
#include <QDir>
#include <QJsonDocument>
#include <QKeyEvent>
#include <QLineEdit>
#include <QPointer>
#include <QSettings>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QTimer>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

// Leaks that are not the plug-in's:
// - font configuration that the system library keeps for the life of the process;
// - Qt 5.15's JSON parser drops the earlier value of a duplicated key without
//   freeing it when that value is an array or an object ({"a":[1],"a":[2]} loses
//   80 bytes; fuzz/crashes/fuzz_vip-qt-json-duplicate-key-leak). Debian's Qt has no
//   frame pointers, so the stack of that allocation ends in QtCore itself and only
//   the module can be named: a block that QtCore allocated for itself and nobody
//   freed is not reported. Whatever the plug-in allocates (its records, dialogs,
//   threads, network objects) is allocated from its own code and still counts.
extern "C" const char* __lsan_default_suppressions() {
    return "leak:libfontconfig.so\n"
           "leak:libQt5Core.so\n";
}

namespace fuzzhost {

const LocalMember kLocalMembers[] = {
    {"123456", "13800000001", "1000000000000001", "李雷", "1"},
    {"234567", "13800000002", "1000000000000002", "韩梅梅", "1"},
    // Two members of the same name: the cashier has to pick one.
    {"345678", "13800000003", "1000000000000003", "张三", "1"},
    {"456789", "13800000004", "1000000000000004", "张三", "1"},
    // Quotes in a name must not end the SQL literal.
    {"567890", "13800000005", "1000000000000005", "O'Brien", "1"},
    {"678901", "13800000006", "1000000000000006", "Tom Smith", "1"},
    // A member who left: never found.
    {"999999", "13800000009", "1000000000000009", "停用会员", "0"},
};
const int kLocalMemberCount = int(sizeof(kLocalMembers) / sizeof(kLocalMembers[0]));

namespace {

// Settings that a successful sign-in writes back; put back before every input.
const char* const kRestoredKeys[][2] = {
    {"Config/token", "TK-FUZZ"},
    {"Config/shop_id", "S01"},
};

QString g_workDir;
Controller* g_ctl = nullptr;
Setup g_setup;
unsigned g_inputs = 0;
int g_warnings = 0;

void messageHandler(QtMsgType type, const QMessageLogContext&, const QString& text) {
    if (type == QtFatalMsg) {
        std::fprintf(stderr, "qFatal: %s\n", qPrintable(text));
        std::abort();
    }
    // The dialogs and the network stack talk a lot on the offscreen platform; a few
    // warnings are kept for whoever reads the fuzzer's output, then it goes quiet.
    if (type == QtDebugMsg || type == QtInfoMsg || g_warnings >= 20 ||
        text.startsWith(QLatin1String("This plugin does not support")))
        return;
    ++g_warnings;
    std::fprintf(stderr, "qt: %s\n", qPrintable(text));
}

void key(QWidget* target, int k, const QString& text = QString()) {
    QKeyEvent press(QEvent::KeyPress, k, Qt::NoModifier, text);
    QCoreApplication::sendEvent(target, &press);
}

void typeDigits(QWidget* target, const char* digits) {
    for (const char* p = digits; *p; ++p)
        key(target, Qt::Key_0 + (*p - '0'), QString(QLatin1Char(*p)));
}

// Answers each dialog from inside its own loop, right after it was shown.
class FuzzCashier : public QObject {
public:
    explicit FuzzCashier(CashierMode mode) : m_mode(mode) {}
    unsigned flags = 0;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() != QEvent::Show || !watched->isWidgetType())
            return false;
        auto* widget = static_cast<QWidget*>(watched);
        // The wait screen goes away by itself when the exchange ends.
        if (!widget->isWindow() || widget->objectName() == QLatin1String("WaitWidget"))
            return false;
        QPointer<QWidget> guard = widget;
        QTimer::singleShot(0, this, [this, guard] {
            if (guard && guard->isVisible())
                answer(guard);
        });
        return false;
    }

private:
    void answer(QWidget* dialog) {
        const QString name = dialog->objectName();
        // The message box ignores Escape: the cashier has to answer it.
        if (name == QLatin1String("MessageWidget")) {
            static_cast<QDialog*>(dialog)->accept();
            return;
        }
        if (m_mode == CashierMode::Confirm && goAlong(dialog, name))
            return;
        if (auto* asDialog = qobject_cast<QDialog*>(dialog))
            asDialog->reject();
        else
            QCoreApplication::postEvent(dialog,
                                        new QKeyEvent(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier));
    }

    bool goAlong(QWidget* dialog, const QString& name) {
        QPointer<QWidget> guard = dialog;
        if (name == QLatin1String("MemberLogin")) {
            // Both the member code and the password: a known card number.
            typeDigits(dialog, "123456");
            key(dialog, Qt::Key_Return);
        } else if (name == QLatin1String("VipSelection")) {
            if (flags & kPickSecondRow)
                key(dialog, Qt::Key_Down);
            key(dialog, Qt::Key_Return);
        } else if (name == QLatin1String("JFPayWidget")) {
            typeDigits(dialog, "5");
            key(dialog, Qt::Key_Return);
        } else if (name == QLatin1String("MemberManage")) {
            key(dialog, Qt::Key_0); // sign in
        } else if (name == QLatin1String("CouponWidget")) {
            enterCoupon(guard, QStringLiteral("C001"));
            if (flags & kSecondCoupon) {
                enterCoupon(guard, QStringLiteral("C002"));
                if (guard && guard->isVisible())
                    key(guard, Qt::Key_F1); // clear the current row
            }
            if (guard && guard->isVisible())
                key(guard, Qt::Key_F2); // confirm the coupons
        } else {
            return false;
        }
        return true;
    }

    // Each coupon is queried and checked before the key returns (nested loops).
    static void enterCoupon(const QPointer<QWidget>& dialog, const QString& couponNo) {
        if (!dialog || !dialog->isVisible())
            return;
        if (auto* edit = dialog->findChild<QLineEdit*>(QStringLiteral("txtCode")))
            edit->setText(couponNo);
        key(dialog, Qt::Key_Return);
    }

    CashierMode m_mode;
};

FuzzCashier* g_cashier = nullptr;

void writeIni(const QString& file, const QVariantMap& values) {
    QSettings ini(WorkPath(file), QSettings::IniFormat);
    ini.setIniCodec("UTF-8");
    for (auto it = values.cbegin(); it != values.cend(); ++it)
        ini.setValue(it.key(), it.value());
    ini.sync();
}

void createMemberTable() {
    const QString connection = QStringLiteral("fuzz-setup");
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), connection);
        db.setDatabaseName(WorkPath(QStringLiteral("members.db")));
        if (!db.open())
            Fail("cannot create the member table");
        QSqlQuery q(db);
        if (!q.exec(QStringLiteral("create table t_member (member_id text, cardno text, grade_level text, "
                                   "grade_name text, member_name text, birthday text, mobile text, "
                                   "address text, status text)")))
            Fail("cannot create the member table");
        q.prepare(QStringLiteral("insert into t_member values (?, ?, 'G1', '金卡', ?, '1990-01-01', ?, "
                                 "'上海市', ?)"));
        for (int i = 0; i < kLocalMemberCount; ++i) {
            const LocalMember& m = kLocalMembers[i];
            q.addBindValue(QString::fromUtf8(m.memberId));
            q.addBindValue(QString::fromUtf8(m.cardno));
            q.addBindValue(QString::fromUtf8(m.name));
            q.addBindValue(QString::fromUtf8(m.mobile));
            q.addBindValue(QString::fromUtf8(m.status));
            if (!q.exec())
                Fail("cannot fill the member table");
        }
        db.close();
    }
    QSqlDatabase::removeDatabase(connection);
}

void removeWorkDir() {
    if (!g_workDir.isEmpty())
        QDir(g_workDir).removeRecursively();
}

// The till's working directory becomes the current directory, so every path the
// fuzzer is given (corpus, inputs, artifacts) is made absolute first, and crashes
// land where the fuzzer was started rather than in the throw-away directory.
std::string absolute(const std::string& path) {
    if (path.empty() || path[0] == '/')
        return path;
    return std::filesystem::current_path().string() + '/' + path;
}

void absolutePaths(int* argc, char*** argv) {
    static const char* const kPathFlags[] = {
        "-artifact_prefix=", "-exact_artifact_path=", "-dict=",           "-merge_control_file=",
        "-features_dir=",    "-mutation_graph_file=", "-data_flow_trace="};
    static std::vector<std::string> args;
    bool hasPrefix = false;
    for (int i = 0; i < *argc; ++i) {
        std::string arg = (*argv)[i];
        if (i == 0 || arg.empty()) {
            args.push_back(arg);
            continue;
        }
        if (arg[0] != '-') {
            args.push_back(absolute(arg));
            continue;
        }
        for (const char* flag : kPathFlags) {
            const std::string f = flag;
            if (arg.compare(0, f.size(), f) == 0) {
                hasPrefix = hasPrefix || f == "-artifact_prefix=" || f == "-exact_artifact_path=";
                arg = f + absolute(arg.substr(f.size()));
            }
        }
        args.push_back(arg);
    }
    if (!hasPrefix)
        args.push_back("-artifact_prefix=" + std::filesystem::current_path().string() + '/');
    static std::vector<char*> pointers;
    for (std::string& a : args)
        pointers.push_back(&a[0]);
    pointers.push_back(nullptr);
    *argc = int(args.size());
    *argv = pointers.data();
}

} // namespace

void Start(int* argc, char*** argv, const Setup& setup) {
    absolutePaths(argc, argv);
    qputenv("QT_QPA_PLATFORM", "offscreen");
    qInstallMessageHandler(messageHandler);

    // The fuzzer's own flags are no business of Qt's, so it gets an argument list of its own.
    static int qtArgc = 1;
    static char programName[] = "zovorda-fuzz";
    static char* qtArgv[] = {programName, nullptr};
    new QApplication(qtArgc, qtArgv); // lives as long as the process, as in a host
    g_setup = setup;
}

namespace {

// The till is set up at the first input, not at start: its working directory becomes
// the process's current directory, and with -jobs the parent process, which runs no
// input, keeps writing its job logs where it was started.
// Directories of runs that ended without cleaning up (a crash, a kill) name a
// process that no longer exists.
void removeStaleWorkDirs() {
    const QDir temp(QDir::tempPath());
    for (const QString& name : temp.entryList({QStringLiteral("zovorda-fuzz-*")}, QDir::Dirs)) {
        bool isPid = false;
        const qint64 pid = name.section(QLatin1Char('-'), 2, 2).toLongLong(&isPid);
        if (isPid && !QDir(QStringLiteral("/proc/%1").arg(pid)).exists())
            QDir(temp.filePath(name)).removeRecursively();
    }
}

void setUpTill() {
    removeStaleWorkDirs();
    QTemporaryDir dir(QDir::tempPath() +
                      QStringLiteral("/zovorda-fuzz-%1-XXXXXX").arg(QCoreApplication::applicationPid()));
    dir.setAutoRemove(false);
    if (!dir.isValid())
        Fail("no temporary directory");
    g_workDir = dir.path();
    std::atexit(removeWorkDir);
    QDir::setCurrent(g_workDir);

    writeIni(QStringLiteral("ZoVORDA.ini"), {{QStringLiteral("Config/HttpAddress"), g_setup.crmAddress},
                                             {QStringLiteral("Config/company_id"), QStringLiteral("C001")},
                                             {QStringLiteral("Config/TimeOut"), QStringLiteral("1")},
                                             {QStringLiteral("Config/password"), QStringLiteral("pw")},
                                             {QStringLiteral("Config/SigninTime"), g_setup.signinTime},
                                             {QStringLiteral("Config/dbname"), WorkPath("members.db")}});
    QVariantMap restored;
    for (const auto& kv : kRestoredKeys)
        restored.insert(QLatin1String(kv[0]), QLatin1String(kv[1]));
    writeIni(QStringLiteral("ZoVORDA.ini"), restored);
    writeIni(QStringLiteral("RVX_Config.ini"), {{QStringLiteral("NAV/pointcode"), QStringLiteral("POS01")}});
    writeIni(QStringLiteral("config.ini"), {{QStringLiteral("DataBase/DbType"), QStringLiteral("SQLITE")}});
    createMemberTable();

    // Built after the settings files: the database object reads them when it is made.
    g_ctl = new Controller(std::make_unique<DialogCashier>());
    g_cashier = new FuzzCashier(g_setup.cashier);
    qApp->installEventFilter(g_cashier);
}

} // namespace

Controller& Ctl() {
    return *g_ctl;
}

QString WorkPath(const QString& name) {
    return g_workDir + QLatin1Char('/') + name;
}

void NextInput() {
    if (!g_ctl)
        setUpTill();
    // The day's log grows with every call; a long run would fill the disk.
    if (++g_inputs % 64 == 0)
        QDir(WorkPath(QStringLiteral("LOG"))).removeRecursively();

    QSettings ini(WorkPath(QStringLiteral("ZoVORDA.ini")), QSettings::IniFormat);
    ini.setIniCodec("UTF-8");
    bool changed = false;
    for (const auto& kv : kRestoredKeys) {
        if (ini.value(QLatin1String(kv[0])).toString() != QLatin1String(kv[1])) {
            ini.setValue(QLatin1String(kv[0]), QLatin1String(kv[1]));
            changed = true;
        }
    }
    if (ini.value(QStringLiteral("Config/SigninTime")).toString() != g_setup.signinTime) {
        ini.setValue(QStringLiteral("Config/SigninTime"), g_setup.signinTime);
        changed = true;
    }
    if (changed)
        ini.sync();
    SetCashierChoices(0);
}

void Trace(const QByteArray& json) {
    static const bool on = qEnvironmentVariableIsSet("ZOVORDA_FUZZ_TRACE");
    if (on)
        std::fprintf(stderr, "result: %s\n", json.constData());
}

void SetCashierChoices(unsigned flags) {
    g_cashier->flags = flags;
}

void Fail(const char* what, const QString& detail) {
    std::fprintf(stderr, "\n==FINDING== %s\n%s\n", what, detail.toUtf8().constData());
    std::fflush(stderr);
    std::abort();
}

QJsonObject CheckResult(const QByteArray& json, const char* codeKey, const char* msgKey) {
    const QString text = QString::fromUtf8(json);
    if (json.contains('\0'))
        Fail("result holds a zero byte", text);
    QJsonParseError error;
    const QJsonDocument doc = QJsonDocument::fromJson(json, &error);
    if (error.error != QJsonParseError::NoError || !doc.isObject())
        Fail("result is not a JSON object", text);
    // Re-serialising must give the same bytes: compact, keys in order.
    if (doc.toJson(QJsonDocument::Compact) != json)
        Fail("result is not compact JSON with sorted keys", text);
    const QJsonObject result = doc.object();
    const QJsonValue code = result.value(QLatin1String(codeKey));
    if (!code.isString() ||
        (code.toString() != QLatin1String("000000") && code.toString() != QLatin1String("111111")))
        Fail("result code is neither 000000 nor 111111", text);
    if (!result.value(QLatin1String(msgKey)).isString())
        Fail("result message missing", text);
    for (auto it = result.constBegin(); it != result.constEnd(); ++it) {
        const bool isList = it.key() == QLatin1String("JfRecord") || it.key() == QLatin1String("PayDetails");
        if (isList ? !it.value().isArray() : !it.value().isString())
            Fail("result value of the wrong JSON type", it.key() + QLatin1String(" in ") + text);
    }
    if (json.size() + 1 > ResultFrame::MaxResultBytes)
        Fail("result longer than the host's buffer", QString::number(json.size()));
    return result;
}

void CheckNoDialogOpen() {
    const QList<QWidget*> windows = QApplication::topLevelWidgets();
    for (QWidget* w : windows) {
        if (w->isVisible())
            Fail("a window is still open after the call returned", w->objectName());
    }
}

} // namespace fuzzhost
