#include "Reader.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QtMath>

#include <cstdio>
#include <cstdlib>

// Qt 5.15's JSON parser drops the earlier value of a duplicated key without freeing it
// when that value is an array or an object (fuzz/crashes/fuzz_vip-qt-json-duplicate-key-leak;
// FuzzHost.cpp says more). Without frame pointers in Debian's Qt the stack of that
// block ends in QtCore, so only the module can be named. The readers allocate nothing
// but Qt's own containers; a block the harness or a reader allocated itself is still
// reported.
extern "C" const char* __lsan_default_suppressions() {
    return "leak:libQt5Core.so\n";
}

namespace reader {

void Fail(const char* what, const QString& detail) {
    // A zero byte in the detail would end the report.
    std::fprintf(stderr, "\n==FINDING== %s\n%s\n", what, detail.toUtf8().replace('\0', "\\0").constData());
    std::fflush(stderr);
    std::abort();
}

QString CText(const uint8_t* data, size_t size) {
    const char* text = reinterpret_cast<const char*>(data);
    return QString::fromUtf8(text, int(qstrnlen(text, uint(size))));
}

QList<QString> CTexts(const uint8_t* data, size_t size, int count) {
    QList<QString> parts;
    size_t at = 0;
    for (int i = 0; i < count; ++i) {
        parts.append(at < size ? CText(data + at, size - at) : QString());
        while (at < size && data[at] != 0)
            ++at;
        ++at;
    }
    return parts;
}

QJsonObject JsonObject(const QString& text) {
    return QJsonDocument::fromJson(text.toUtf8()).object();
}

QString Json(const QJsonObject& object) {
    return QString::fromUtf8(QJsonDocument(object).toJson(QJsonDocument::Compact));
}

bool AcceptableFigure(const QJsonValue& value, double limit) {
    double figure = 0;
    switch (value.type()) {
    case QJsonValue::Undefined:
    case QJsonValue::Null:
        return true;
    case QJsonValue::Bool:
    case QJsonValue::Array:
    case QJsonValue::Object:
        return false;
    case QJsonValue::Double:
        figure = value.toDouble();
        break;
    case QJsonValue::String: {
        bool isNumber = false;
        figure = value.toString().toDouble(&isNumber);
        if (!isNumber)
            return true;
        break;
    }
    }
    return qIsFinite(figure) && qAbs(figure) < limit;
}

bool AcceptableFigures(const QJsonObject& object, std::initializer_list<const char*> keys, double limit) {
    for (const char* key : keys) {
        if (!AcceptableFigure(object.value(QLatin1String(key)), limit))
            return false;
    }
    return true;
}

bool AcceptableLines(const QJsonObject& object, const char* listKey, std::initializer_list<const char*> keys,
                     double limit) {
    const QJsonValue list = object.value(QLatin1String(listKey));
    if (list.isUndefined() || list.isNull())
        return true;
    if (!list.isArray())
        return false;
    for (const QJsonValue& line : list.toArray()) {
        if (!AcceptableFigures(line.toObject(), keys, limit))
            return false;
    }
    return true;
}

bool KnownMessage(const QString& message, std::initializer_list<const char*> fixed,
                  std::initializer_list<const char*> keys) {
    // Read without building the texts to compare with: this runs for every refusal.
    const QString missing = QStringLiteral("参数传入不全");
    const QString malformedHead = QStringLiteral("参数"), malformedTail = QStringLiteral("格式错误");
    QStringRef key;
    if (message.endsWith(missing))
        key = message.leftRef(message.size() - missing.size());
    else if (message.startsWith(malformedHead) && message.endsWith(malformedTail))
        key = message.midRef(malformedHead.size(),
                             message.size() - malformedHead.size() - malformedTail.size());
    for (const char* k : keys) {
        if (!key.isNull() && key == QLatin1String(k))
            return true;
    }
    const QByteArray text = message.toUtf8();
    for (const char* f : fixed) {
        if (text == f)
            return true;
    }
    return false;
}

} // namespace reader
