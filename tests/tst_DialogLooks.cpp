// How the dialogs look to the host: frameless full-screen overlays whose parts the
// host's style sheet finds by object name, painted as that style sheet says. Pictures
// of each dialog go to $ZOVORDA_PNG_DIR when it is set.

#include "CashierRobot.h"
#include "ui/CouponWidget.h"
#include "ui/JFPayWidget.h"
#include "ui/MemberLogin.h"
#include "ui/MemberManage.h"
#include "ui/MessageWidget.h"
#include "ui/VipSelection.h"
#include "ui/WaitWidget.h"

#include <QtTest>
#include <QtWidgets>

#include <memory>

namespace {

const QString kTillStyle = QStringLiteral(ZOVORDA_SOURCE_DIR "/tools/till/till.qss");

// Each dialog in the state a cashier meets it, and a bare part of it through which its
// panel shows in the colour the style sheet gives it.
struct Shown {
    std::unique_ptr<QWidget> dialog;
    std::function<void()> run; // blocks until the cashier leaves
    QString bare;
    QColor colour = Qt::white;
};

Shown show(const QString& name, QWidget* parent) {
    if (name == "MemberLogin") {
        auto* d = new MemberLogin(parent);
        return {std::unique_ptr<QWidget>(d), [d] { d->run("会员密码验证", "会员：8800002"); }, "widget_2"};
    }
    if (name == "JFPayWidget") {
        auto* d = new JFPayWidget(parent);
        return {std::unique_ptr<QWidget>(d), [d] { d->run("32.50", "10.00", "【Esc】：返回"); }, "widget_2"};
    }
    if (name == "MessageWidget") {
        auto* d = new MessageWidget(1, false, parent);
        return {std::unique_ptr<QWidget>(d), [d] { d->showMessage("会员卡已过期", 3, true); }, "widget"};
    }
    if (name == "CouponWidget") {
        auto* d = new CouponWidget(parent);
        d->setCoupons({{"Q0001", "满100减10", 1000, CouponUse::Usable, {}}});
        return {std::unique_ptr<QWidget>(d), [d] { d->run(); }, "widget"};
    }
    if (name == "VipSelection") {
        auto* d = new VipSelection(parent);
        MemberRec member;
        member.name = "李四";
        member.cardNo = "8800002";
        return {std::unique_ptr<QWidget>(d), [d, member] { d->run({member, member}); }, "widgetpopback"};
    }
    if (name == "MemberManage") {
        auto* d = new MemberManage(parent);
        return {std::unique_ptr<QWidget>(d), [d] { d->run(); }, "widget"};
    }
    auto* d = new WaitWidget(parent);
    return {std::unique_ptr<QWidget>(d), [d] { d->showFullScreen(); }, "MessageBody"};
}

// The selectors of the style sheet that name a part of one of the dialogs:
// "#MemberLogin QWidget#widgetback QPushButton" and the like.
QList<QStringList> dialogSelectors(const QString& styleSheet, const QStringList& dialogs) {
    QString text = styleSheet;
    text.remove(QRegularExpression(R"(/\*.*?\*/)", QRegularExpression::DotMatchesEverythingOption));
    text.replace(QRegularExpression(R"(\{[^}]*\})"), QStringLiteral(","));
    QList<QStringList> out;
    for (const QString& selector : text.split(',')) {
        const QStringList parts = selector.simplified().split(' ');
        if (dialogs.contains(parts.first().mid(1)))
            out << parts;
    }
    return out;
}

} // namespace

class tst_DialogLooks : public QObject {
    Q_OBJECT

    const QStringList m_dialogs = {"MemberLogin",  "JFPayWidget",  "MessageWidget", "CouponWidget",
                                   "VipSelection", "MemberManage", "WaitWidget"};

private slots:
    void initTestCase() {
        QFile sheet(kTillStyle);
        QVERIFY(sheet.open(QIODevice::ReadOnly));
        qApp->setStyleSheet(QString::fromUtf8(sheet.readAll()));
    }

    void dialog_data() {
        QTest::addColumn<QString>("name");
        for (const QString& name : m_dialogs)
            QTest::newRow(qPrintable(name)) << name;
    }

    // Parentless, frameless, above everything and application-modal, whatever parent is passed.
    void windowConvention_data() { dialog_data(); }
    void windowConvention() {
        QFETCH(QString, name);
        QWidget host;
        const Shown shown = show(name, name == "VipSelection" || name == "WaitWidget" ? &host : nullptr);
        QWidget* window = shown.dialog.get();
        const Qt::WindowFlags flags = Qt::Tool | Qt::X11BypassWindowManagerHint | Qt::FramelessWindowHint;
        QCOMPARE(window->objectName(), name);
        QCOMPARE(window->parentWidget(), nullptr);
        QCOMPARE(window->windowFlags() & flags, flags);
        QCOMPARE(window->windowModality(), Qt::ApplicationModal);
        QVERIFY(window->testAttribute(Qt::WA_TranslucentBackground));
        QCOMPARE(window->windowOpacity(), 1.0);
    }

    // Every part the host's style sheet addresses in a dialog is there, of the class it
    // names and inside the parts named before it.
    void styleSheetFindsEveryPart() {
        QFile sheet(kTillStyle);
        QVERIFY(sheet.open(QIODevice::ReadOnly));
        QStringList missing, dialogsSeen;
        for (const QStringList& selector : dialogSelectors(QString::fromUtf8(sheet.readAll()), m_dialogs)) {
            const Shown shown = show(selector.first().mid(1), nullptr);
            QList<QWidget*> scope = {shown.dialog.get()};
            for (const QString& part : selector.mid(1)) {
                const QString type = part.section('#', 0, 0).section(':', 0, 0), name = part.section('#', 1);
                QList<QWidget*> found;
                for (QWidget* outer : scope)
                    for (QWidget* widget : outer->findChildren<QWidget*>(name.section(':', 0, 0)))
                        if (widget->inherits(qPrintable(type)))
                            found << widget;
                if (found.isEmpty())
                    missing << selector.join(' ');
                scope = found;
            }
            dialogsSeen << selector.first();
        }
        QCOMPARE(missing, QStringList());
        dialogsSeen.removeDuplicates();
        QCOMPARE(dialogsSeen.size(), m_dialogs.size());
    }

    // The dialog as the cashier sees it: the dimmed screen, and the panel painted in the
    // colour the style sheet gives it wherever none of its parts lies on top.
    void picture_data() { dialog_data(); }
    void picture() {
        QFETCH(QString, name);
        const Shown shown = show(name, nullptr);
        QImage picture;
        QPoint bare(-1, -1);
        const auto look = [&](QWidget* dialog) {
            picture = dialog->grab().toImage();
            QWidget* part = dialog->findChild<QWidget*>(shown.bare);
            const QRect area(part->mapTo(dialog, QPoint()), part->size());
            for (int y = area.top() + 16; y < area.bottom() - 16 && bare.x() < 0; y += 4)
                for (int x = area.left() + 16; x < area.right() - 16 && bare.x() < 0; x += 4)
                    if (dialog->childAt(x, y) == part)
                        bare = QPoint(x, y);
        };
        CashierRobot robot;
        robot.when(name, [&](QWidget* dialog) {
            look(dialog);
            CashierRobot::press(name == "MessageWidget" ? Qt::Key_1 : Qt::Key_Escape)(dialog);
        });
        shown.run();
        if (name == "WaitWidget") // no dialog of the cashier's: it stays up until closed
            look(shown.dialog.get());
        else
            VERIFY_ROBOT(robot);
        QVERIFY(!picture.isNull());
        QCOMPARE(picture.size(), shown.dialog->screen()->size());
        const QString dir = qEnvironmentVariable("ZOVORDA_PNG_DIR");
        if (!dir.isEmpty())
            picture.save(dir + '/' + name + ".png");
        QVERIFY2(bare.x() >= 0, "no bare spot on the panel");
        QCOMPARE(picture.pixelColor(bare).name(), shown.colour.name());
        QVERIFY(picture.pixelColor(2, 2) != shown.colour); // the dimmed till around it
    }
};

QTEST_MAIN(tst_DialogLooks)
#include "tst_DialogLooks.moc"
