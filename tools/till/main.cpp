// A small POS host: loads the plug-in like a till does and makes one member call.
#include <QApplication>
#include <QLibrary>
#include <QTextStream>

#include <vector>

using VipTrans = void (*)(const char*, char*);

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QTextStream out(stdout);
    QLibrary plugin(QStringLiteral(ZOVORDA_PLUGIN_PATH));
    auto vip = reinterpret_cast<VipTrans>(plugin.resolve("ZoVipTrans"));
    if (!vip) {
        out << "cannot load the plug-in: " << plugin.errorString() << '\n';
        return 1;
    }
    const QByteArray request =
        app.arguments().size() > 1 ? app.arguments().at(1).toUtf8() : QByteArray(R"({"reqtype":"51"})");
    std::vector<char> buffer(64 * 1024);
    vip(request.constData(), buffer.data());
    out << "request: " << QString::fromUtf8(request) << '\n'
        << "result:  " << QString::fromUtf8(buffer.data()) << '\n';
    return 0;
}
