#pragma once

// What the fuzz targets on the plug-in's readers share: they call one reader on the
// input's bytes, in process, with no application object, no till directory and no
// state kept from one input to the next.
//
// A finding is reported by abort(): libFuzzer then stores the input as a crash.

#include <QJsonObject>
#include <QList>
#include <QString>

#include <cstddef>
#include <cstdint>
#include <initializer_list>

namespace reader {

[[noreturn]] void Fail(const char* what, const QString& detail = QString());

// The input as the host's C string (or a CRM reply cut where the worker cuts it): UTF-8
// up to the first zero byte.
QString CText(const uint8_t* data, size_t size);
// The input's parts separated by zero bytes; parts that are missing are empty.
QList<QString> CTexts(const uint8_t* data, size_t size, int count);

// The input read independently of the reader under test, as a JSON object (empty when
// it is none).
QJsonObject JsonObject(const QString& text);
// A compact JSON text of an object, as the host or the CRM would write it.
QString Json(const QJsonObject& object);

// An amount or a quantity the reader took: a JSON number or a numeric text that is
// finite and smaller in size than the limit, or a value that counts 0 (missing, null,
// a text that is no number). Anything else must have been refused.
bool AcceptableFigure(const QJsonValue& value, double limit);
// The same for every key named of an object, and for the keys of every element of a
// list (which must itself be a list, missing or null).
bool AcceptableFigures(const QJsonObject& object, std::initializer_list<const char*> keys, double limit);
bool AcceptableLines(const QJsonObject& object, const char* listKey, std::initializer_list<const char*> keys,
                     double limit);

// A refusal's message as the host reads it: one of the fixed texts, or a key's
// "<key>参数传入不全" / "参数<key>格式错误" for a key of keys.
bool KnownMessage(const QString& message, std::initializer_list<const char*> fixed,
                  std::initializer_list<const char*> keys);

} // namespace reader
